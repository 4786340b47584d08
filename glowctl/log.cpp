#include "glowctl/log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace {
std::atomic<glow_log_sink> g_sink{nullptr};
}

void glow_set_log_sink(glow_log_sink sink) { g_sink.store(sink); }

void glow_log(int priority, const char *fmt, ...)
{
    char line[512];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(line, sizeof line, fmt, ap);
    va_end(ap);
    if (glow_log_sink sink = g_sink.load()) {
        sink(priority, line);
        return;
    }
    syslog(priority, "%s", line);
}
