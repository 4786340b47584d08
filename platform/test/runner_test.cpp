#include "platform/runner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>
#include <unistd.h>

using platform::run;
using platform::run_shell;
using platform::RunOptions;
using platform::RunResult;

TEST(Runner, ArgumentsReachTheProgramVerbatimWithoutAShell)
{
    char dir[] = "/tmp/runnerXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string marker = std::string(dir) + "/pwned";
    const std::string hostile = "$(touch " + marker + ") `touch " + marker + "`; ' \" \\ \n end";
    RunOptions opt;
    opt.capture = true;
    RunResult res;
    EXPECT_EQ(run({"printf", "%s", hostile.c_str()}, opt, &res), 0);
    EXPECT_EQ(res.output, hostile);
    EXPECT_NE(access(marker.c_str(), F_OK), 0) << "something ran through a shell";
    rmdir(dir);
}

TEST(Runner, LongArgumentVectorsArriveWhole)
{
    std::vector<std::string> words;
    std::vector<const char *> argv{"printf", "%s,"};
    for (int i = 0; i < 300; ++i) words.push_back(std::to_string(i));
    for (const auto &w : words) argv.push_back(w.c_str());
    RunOptions opt;
    opt.capture = true;
    RunResult res;
    EXPECT_EQ(run(argv, opt, &res), 0);
    EXPECT_EQ(res.output.size(), 1090u);  // "0," .. "299,"
    EXPECT_EQ(res.output.substr(res.output.size() - 4), "299,");
}

TEST(Runner, FeedsStandardInputAndCapturesOutput)
{
    RunOptions opt;
    opt.capture = true;
    opt.input = "user:secret\n";
    RunResult res;
    EXPECT_EQ(run({"cat"}, opt, &res), 0);
    EXPECT_EQ(res.output, "user:secret\n");
}

TEST(Runner, LargeInputAndOutputDoNotDeadlock)
{
    std::string big(1 << 20, 'x');
    RunOptions opt;
    opt.capture = true;
    opt.input = big;
    opt.max_output = 1000;
    RunResult res;
    EXPECT_EQ(run({"cat"}, opt, &res), 0);
    EXPECT_EQ(res.output.size(), 1000u);
    EXPECT_TRUE(res.truncated);
}

TEST(Runner, ReportsExitCodesSignalsAndSpawnFailure)
{
    struct Case {
        const char *cmd;
        int status;
    } cases[] = {
        {"exit 0", 0},
        {"exit 3", 3},
        {"exit 255", 255},
        {"kill -TERM $$", 128 + 15},
    };
    for (const auto &c : cases) EXPECT_EQ(run_shell(c.cmd), c.status) << c.cmd;
    RunResult res;
    run_shell("kill -TERM $$", {}, &res);
    EXPECT_EQ(res.signal, 15);
    run_shell("exit 143", {}, &res);  // looks like a signal, is not one
    EXPECT_EQ(res.signal, 0);
    EXPECT_EQ(run({"/nonexistent/program"}), -1);
    EXPECT_EQ(run({"no-such-program-anywhere-xyz"}), -1);
}

TEST(Runner, TimeOutKillsTheChild)
{
    RunOptions opt;
    opt.timeout_ms = 200;
    RunResult res;
    run({"sleep", "5"}, opt, &res);
    EXPECT_TRUE(res.timed_out);
    EXPECT_EQ(res.status, 128 + 9);

    opt.capture = true;  // also when the output pipe stays open
    run_shell("echo started; sleep 5", opt, &res);
    EXPECT_TRUE(res.timed_out);
    EXPECT_EQ(res.output, "started\n");
}
