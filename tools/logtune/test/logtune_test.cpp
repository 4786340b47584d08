// Runs the built logtune against the local log-configuration library, each
// run in a fresh process as on the router, and compares its whole output.

#include "platform/runner.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const char kUsage[] =
    "\nusage: logtune MODNAME:DBG_LVL:SYSTRACE\n"
    "modules: sys cfm log pon gpon epon omci oam eth switch qos wifi mesh led voip\n";

struct Result {
    std::string out;
    int status = -1;
};

class LogtuneTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char dir[] = "/tmp/logtune_test.XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
        state_ = dir_ + "/state";
        // The library keeps its state where this names; the tool inherits it.
        setenv("HI_OWAL_SSF_STATE", state_.c_str(), 1);
    }
    void TearDown() override
    {
        unsetenv("HI_OWAL_SSF_STATE");
        std::remove(state_.c_str());
        rmdir(dir_.c_str());
    }

    Result logtune(const std::vector<std::string> &args)
    {
        std::vector<const char *> argv{LOGTUNE_BIN};
        for (const auto &a : args) argv.push_back(a.c_str());
        platform::RunOptions opt;
        opt.capture = true;
        platform::RunResult res;
        platform::run(argv, opt, &res);
        return Result{std::move(res.output), res.status};
    }

    std::string dir_, state_;
};

TEST_F(LogtuneTest, UsageWhenNoModuleIsUsable)
{
    const std::vector<std::vector<std::string>> cases = {
        {},             // no argument
        {"nosuch"},     // unknown module
        {"nosuch:3:1"}, // unknown module with settings: nothing is set
        {":"},          // a bare colon names no module
        {":5"},
    };
    for (const auto &args : cases) {
        Result r = logtune(args);
        EXPECT_EQ(r.status, 0) << ::testing::PrintToString(args);
        EXPECT_EQ(r.out, kUsage) << ::testing::PrintToString(args);
    }
    EXPECT_NE(access(state_.c_str(), F_OK), 0) << "usage runs must not store anything";
}

// One state file through a session: every set is seen by the next show, in
// a later process, and leaves the other modules alone.
TEST_F(LogtuneTest, ArgumentFormsSetAndShow)
{
    struct Step {
        std::string arg;
        std::string out;
    };
    const Step steps[] = {
        {"omci", "Now : module=00020300, print=0000 trace=0\n"},
        {"omci:", "Now : module=00020300, print=0000 trace=0\n"},
        {"omci:0x10:1", "cfg mod 00020300 print=0010 trace=1\n"},
        {"omci", "Now : module=00020300, print=0010 trace=1\n"},
        {"oam", "Now : module=00020400, print=0000 trace=0\n"},
        {"omci:7", "cfg mod 00020300 print=0007 trace=0\n"},  // trace not given: 0
        {"omci:", "Now : module=00020300, print=0007 trace=0\n"},
        {"omci:010:011", "cfg mod 00020300 print=0008 trace=9\n"},  // octal
        {"omci:300:257", "cfg mod 00020300 print=002c trace=1\n"},  // low 8 bits
        {"omci:0XfF:0x2", "cfg mod 00020300 print=00ff trace=2\n"},
        {"omci:3x12", "cfg mod 00020300 print=0003 trace=12\n"},  // any one separator
        {"omci:3:", "cfg mod 00020300 print=0003 trace=0\n"},
        {"omci::5", "cfg mod 00020300 print=0000 trace=5\n"},   // empty level is 0
        {"omci", "Now : module=00020300, print=0000 trace=5\n"},
        {"wifi:2:1", "cfg mod 00040000 print=0002 trace=1\n"},
        {"omci", "Now : module=00020300, print=0000 trace=5\n"},
        {"wifi", "Now : module=00040000, print=0002 trace=1\n"},
    };
    for (const Step &s : steps) {
        Result r = logtune({s.arg});
        EXPECT_EQ(r.status, 0) << s.arg;
        EXPECT_EQ(r.out, s.out) << s.arg;
    }
}

TEST_F(LogtuneTest, FurtherArgumentsAreIgnored)
{
    Result r = logtune({"led:4:1", "nosuch", "sys:9"});
    EXPECT_EQ(r.out, "cfg mod 00050000 print=0004 trace=1\n");
    r = logtune({"led", "sys:9"});
    EXPECT_EQ(r.out, "Now : module=00050000, print=0004 trace=1\n");
    r = logtune({"sys"});
    EXPECT_EQ(r.out, "Now : module=00010000, print=0000 trace=0\n");
}

}  // namespace
