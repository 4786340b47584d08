#include "platform/runner.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

extern char **environ;

namespace platform {
namespace {

class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    ~Fd() { reset(); }
    int get() const { return fd_; }
    void reset(int fd = -1)
    {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

bool make_pipe(Fd &rd, Fd &wr)
{
    int p[2];
    if (::pipe2(p, O_CLOEXEC) != 0) return false;
    rd.reset(p[0]);
    wr.reset(p[1]);
    return true;
}

long long now_ms()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

int decode_status(int wstatus)
{
    if (WIFEXITED(wstatus)) return WEXITSTATUS(wstatus);
    if (WIFSIGNALED(wstatus)) return 128 + WTERMSIG(wstatus);
    return -1;
}

}  // namespace

int run(std::span<const char *const> args, const RunOptions &opt, RunResult *result)
{
    RunResult local;
    RunResult &res = result ? *result : local;
    res = RunResult{};
    if (args.empty() || args[0] == nullptr) return res.status = -1;

    // posix_spawn wants a NULL-terminated, non-const vector.
    std::vector<char *> argv;
    argv.reserve(args.size() + 1);
    for (const char *a : args) {
        if (a == nullptr) return res.status = -1;
        argv.push_back(const_cast<char *>(a));
    }
    argv.push_back(nullptr);

    Fd in_rd, in_wr, out_rd, out_wr;
    const bool feed = !opt.input.empty();
    if (feed && !make_pipe(in_rd, in_wr)) return res.status = -1;
    if (opt.capture && !make_pipe(out_rd, out_wr)) return res.status = -1;

    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    if (feed)
        posix_spawn_file_actions_adddup2(&fa, in_rd.get(), STDIN_FILENO);
    else
        posix_spawn_file_actions_addopen(&fa, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (opt.capture)
        posix_spawn_file_actions_adddup2(&fa, out_wr.get(), STDOUT_FILENO);
    else if (opt.discard_stdout)
        posix_spawn_file_actions_addopen(&fa, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    if (!opt.keep_stderr)
        posix_spawn_file_actions_addopen(&fa, STDERR_FILENO, "/dev/null", O_WRONLY, 0);

    // The child starts with default signal handling and an empty mask even
    // when the caller (a daemon) blocks or catches signals.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = -1;
    int rc = posix_spawnp(&pid, argv[0], &fa, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    posix_spawnattr_destroy(&attr);
    in_rd.reset();
    out_wr.reset();
    if (rc != 0) return res.status = -1;

    // Feed standard input and drain standard output together, so neither
    // side can block the other on a full pipe.
    const long long deadline = opt.timeout_ms > 0 ? now_ms() + opt.timeout_ms : 0;
    std::size_t fed = 0;
    if (feed) ::fcntl(in_wr.get(), F_SETFL, O_NONBLOCK);
    char buf[4096];
    while (in_wr.get() >= 0 || out_rd.get() >= 0) {
        pollfd pfd[2];
        int n = 0;
        if (in_wr.get() >= 0) pfd[n++] = {in_wr.get(), POLLOUT, 0};
        if (out_rd.get() >= 0) pfd[n++] = {out_rd.get(), POLLIN, 0};
        int wait = -1;
        if (deadline) {
            long long left = deadline - now_ms();
            if (left <= 0) {
                res.timed_out = true;
                break;
            }
            wait = static_cast<int>(left);
        }
        int pr = ::poll(pfd, n, wait);
        if (pr < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (int i = 0; i < n; ++i) {
            if (pfd[i].revents == 0) continue;
            if (pfd[i].fd == in_wr.get()) {
                ssize_t w = ::write(in_wr.get(), opt.input.data() + fed, opt.input.size() - fed);
                if (w > 0) fed += static_cast<std::size_t>(w);
                if ((w < 0 && errno != EAGAIN && errno != EINTR) || fed == opt.input.size()) in_wr.reset();
            } else {
                ssize_t r = ::read(out_rd.get(), buf, sizeof buf);
                if (r > 0) {
                    std::size_t room = opt.max_output > res.output.size() ? opt.max_output - res.output.size() : 0;
                    std::size_t keep = static_cast<std::size_t>(r) < room ? static_cast<std::size_t>(r) : room;
                    res.output.append(buf, keep);
                    if (keep < static_cast<std::size_t>(r)) res.truncated = true;
                } else if (r == 0 || (errno != EINTR && errno != EAGAIN)) {
                    out_rd.reset();
                }
            }
        }
    }
    in_wr.reset();
    out_rd.reset();

    int wstatus = 0;
    if (deadline && !res.timed_out) {
        // The child closed its output but may still be running.
        while (::waitpid(pid, &wstatus, WNOHANG) == 0) {
            if (now_ms() >= deadline) {
                res.timed_out = true;
                break;
            }
            struct timespec ts = {0, 5 * 1000 * 1000};
            nanosleep(&ts, nullptr);
        }
        if (!res.timed_out) {
            res.status = decode_status(wstatus);
            if (WIFSIGNALED(wstatus)) res.signal = WTERMSIG(wstatus);
            return res.status;
        }
    }
    if (res.timed_out) ::kill(pid, SIGKILL);
    while (::waitpid(pid, &wstatus, 0) < 0) {
        if (errno != EINTR) return res.status = -1;
    }
    res.status = decode_status(wstatus);
    if (WIFSIGNALED(wstatus)) res.signal = WTERMSIG(wstatus);
    return res.status;
}

int run(std::initializer_list<const char *> argv, const RunOptions &opt, RunResult *result)
{
    return run(std::span<const char *const>(argv.begin(), argv.size()), opt, result);
}

int run_shell(const char *command, const RunOptions &opt, RunResult *result)
{
    return run({"/bin/sh", "-c", command}, opt, result);
}

}  // namespace platform
