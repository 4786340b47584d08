// Every way to the usage text: exact text on standard output, status 255.
// No lookup happens on these paths, so no namespace is needed.

#include "platform/runner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const char kUsage[] = "Usage:\n"
                      "\thostaddr -h\n"
                      "\thostaddr [-t timeout] hostname\n"
                      "\thostaddr -4 [-t timeout] hostname\n"
                      "\thostaddr -6 [-t timeout] hostname\n";

TEST(HostaddrUsage, EveryUsagePath)
{
    const std::vector<std::vector<std::string>> cases = {
        {},                        // no host name
        {"-4"},                    // options only
        {"-6", "-t", "2"},
        {"-t"},                    // -t without its value, then no host name
        {"-x"},                    // unknown option is reported, then no host name
        {"-h"},
        {"-h", "example.org"},     // -h wins over a host name
        {"-4", "-h", "example.org"},
        {"-t", "0", "example.org"},
        {"-t", "-3", "example.org"},
        {"-t", "abc", "example.org"},
        {"-t", "3s", "example.org"},
        {"-t", "", "example.org"},
    };
    for (const auto &args : cases) {
        std::vector<const char *> argv{HOSTADDR_BIN};
        for (const auto &a : args) argv.push_back(a.c_str());
        platform::RunOptions opt;
        opt.capture = true;
        platform::RunResult res;
        platform::run(argv, opt, &res);
        EXPECT_EQ(res.status, 255) << ::testing::PrintToString(args);
        EXPECT_EQ(res.output, kUsage) << ::testing::PrintToString(args);
    }
}

}  // namespace
