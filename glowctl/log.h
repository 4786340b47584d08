// Logging to syslog with the default identity. Unit tests may divert the
// lines to a sink to check what an operation reported.
#pragma once

#include <syslog.h>

void glow_log(int priority, const char *fmt, ...) __attribute__((format(printf, 2, 3)));

// nullptr restores syslog.
using glow_log_sink = void (*)(int priority, const char *line);
void glow_set_log_sink(glow_log_sink sink);
