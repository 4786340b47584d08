#include "glowctl/sys.h"

#include <gtest/gtest.h>

#include <csignal>

namespace {

TEST(RunShell, ExitStatusOrMinusOne)
{
    glow_set_shell_hook(nullptr);
    struct Case {
        const char *command;
        int want;
    } cases[] = {
        {"true", 0},
        {"exit 3", 3},
        {"kill -TERM $$", -1},  // ended by a signal
        {"exit 130", 130},      // an exit status that merely looks like a signal
        {"no-such-command-here 2>/dev/null", 127},
    };
    for (const Case &c : cases) EXPECT_EQ(run_shell(c.command), c.want) << c.command;
    EXPECT_EQ(run_shell(nullptr), -1);
}

TEST(RunShell, ChildGetsSigpipeBackEvenWhenTheDaemonIgnoresIt)
{
    glow_set_shell_hook(nullptr);
    auto old = signal(SIGPIPE, SIG_IGN);
    // With SIGPIPE still ignored the shell would live on and exit 0.
    EXPECT_EQ(run_shell("kill -PIPE $$; exit 0"), -1);
    signal(SIGPIPE, old);
}

TEST(RunShell, OutputOfAFixedCommand)
{
    glow_set_shell_hook(nullptr);
    std::string out;
    EXPECT_TRUE(run_shell_output("printf 'PBC Status: Active\\nx\\n'", out));
    EXPECT_EQ(out, "PBC Status: Active\nx\n");
}

}  // namespace
