// meshwatch daemon: no arguments, settings from UCI, never leaves its loop.

#include "apps/meshwatch/meshwatch.h"

#include "platform/runner.h"
#include "platform/zkuci.h"

#include <cerrno>
#include <ctime>
#include <unistd.h>

namespace {

class system_host final : public meshwatch_host {
public:
    int run(std::span<const char *const> argv, std::string *out) override
    {
        platform::RunOptions opt;
        opt.capture = out != nullptr;
        platform::RunResult res;
        int status = platform::run(argv, opt, &res);
        if (out) *out = std::move(res.output);
        return status;
    }
    int uci_get(const char *package, const char *section, const char *option, char *buf, std::size_t size) override
    {
        return zkuci_get(package, section, option, buf, size);
    }
    int sleep_precise(unsigned seconds) override
    {
        timespec ts{static_cast<time_t>(seconds), 0};
        return ::nanosleep(&ts, nullptr) == 0 ? 0 : -1;
    }
    void sleep_coarse(unsigned seconds) override { ::sleep(seconds); }
    bool local_time(std::tm &out) override
    {
        time_t now = ::time(nullptr);
        return ::localtime_r(&now, &out) != nullptr;
    }
};

}  // namespace

int main()
{
    system_host host;
    meshwatch_ctx ctx;
    ctx.host = &host;
    meshwatch_init(ctx);
    for (;;) meshwatch_pass(ctx);
}
