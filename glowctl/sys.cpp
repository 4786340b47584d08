#include "glowctl/sys.h"

#include "platform/runner.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <spawn.h>
#include <sys/wait.h>

extern char **environ;

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

    char *const argv[] = {const_cast<char *>("sh"), const_cast<char *>("-c"), const_cast<char *>(command),
                          nullptr};
    // The daemon ignores SIGPIPE; "ps | grep -q ..." needs it back to end ps.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, "/bin/sh", nullptr, &attr, argv, environ);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    if (WIFSIGNALED(status)) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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
