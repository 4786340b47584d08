#include "glowctl/sys.h"

#include "platform/runner.h"

#include <atomic>
#include <cstdio>
#include <cstring>

namespace {
char g_root[256] = "";
std::atomic<glow_shell_hook> g_shell_hook{nullptr};
}  // namespace

void glow_set_root(const char *root)
{
    snprintf(g_root, sizeof g_root, "%s", root ? root : "");
}

const char *glow_root() { return g_root; }

bool glow_path(char *buf, std::size_t size, const char *path)
{
    int n = snprintf(buf, size, "%s%s", g_root, path);
    return n >= 0 && static_cast<std::size_t>(n) < size;
}

void glow_set_shell_hook(glow_shell_hook hook) { g_shell_hook.store(hook); }

int run_shell(const char *command)
{
    if (!command) return -1;
    if (glow_shell_hook hook = g_shell_hook.load()) return hook(command, nullptr);
    // The commands' own output goes where the daemon's goes, as with system().
    platform::RunOptions opt;
    opt.discard_stdout = false;
    opt.keep_stderr = true;
    platform::RunResult res;
    platform::run_shell(command, opt, &res);
    return res.signal ? -1 : res.status;
}

bool run_shell_output(const char *command, std::string &output)
{
    output.clear();
    if (!command) return false;
    if (glow_shell_hook hook = g_shell_hook.load()) return hook(command, &output) >= 0;

    platform::RunOptions opt;
    opt.capture = true;
    platform::RunResult res;
    platform::run_shell(command, opt, &res);
    if (res.status < 0) return false;
    output = std::move(res.output);
    return true;
}
