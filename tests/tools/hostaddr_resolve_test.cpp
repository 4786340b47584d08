// hostaddr against the real system resolver, in a private mount and network
// namespace where fixture files lie over /etc/hosts, /etc/resolv.conf and
// /etc/nsswitch.conf and the only name server is on the namespace's loopback.
// Nothing outside the namespace is touched.

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

const char kHosts[] = "127.0.0.1 localhost\n"
                      "::1 localhost\n"
                      "192.0.2.10 dual.example\n"
                      "2001:db8::10 dual.example\n"
                      "198.51.100.7 v4only.example\n"
                      "2001:db8::7 v6only.example\n"
                      "fd00:ffff:ffff:ffff:ffff:ffff:ffff:ffff long.example\n";
const char kResolv[] = "nameserver 127.0.0.1\n";
const char kNsswitch[] = "hosts: files dns\n";

enum class Dns { refused, silent };

struct Outcome {
    int status = -1;
    std::vector<std::string> lines;
};

bool write_file(const std::string &path, const char *text)
{
    FILE *f = std::fopen(path.c_str(), "w");
    if (!f) return false;
    std::fputs(text, f);
    return std::fclose(f) == 0;
}

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "namespace set-up failed at %s: %s\n", what, std::strerror(errno));
    _exit(120);
}

// Runs in the forked child only.
[[noreturn]] void child(const std::string &dir, Dns dns, const std::vector<std::string> &args, int out_fd)
{
    if (unshare(CLONE_NEWNS | CLONE_NEWNET) != 0) fail("unshare");
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) fail("private mounts");
    for (const char *name : {"hosts", "resolv.conf", "nsswitch.conf"}) {
        std::string src = dir + "/" + name, dst = std::string("/etc/") + name;
        if (mount(src.c_str(), dst.c_str(), nullptr, MS_BIND, nullptr) != 0) fail(name);
    }
    int s = socket(AF_INET, SOCK_DGRAM, 0);
    ifreq ifr{};
    std::strcpy(ifr.ifr_name, "lo");
    if (s < 0 || ioctl(s, SIOCGIFFLAGS, &ifr) != 0) fail("lo flags");
    ifr.ifr_flags |= IFF_UP;
    if (ioctl(s, SIOCSIFFLAGS, &ifr) != 0) fail("lo up");
    if (dns == Dns::silent) {
        // A name server that takes every query and never answers. The
        // socket stays open across exec, in the tool's own process.
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(53);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) fail("bind :53");
    } else {
        close(s);
    }
    dup2(out_fd, STDOUT_FILENO);
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(HOSTADDR_BIN));
    for (const auto &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    execv(HOSTADDR_BIN, argv.data());
    fail("exec");
}

class HostaddrResolve : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (geteuid() != 0) GTEST_SKIP() << "needs root for a private mount and network namespace";
        char d[] = "/tmp/hostaddr_test.XXXXXX";
        ASSERT_NE(mkdtemp(d), nullptr);
        dir_ = d;
        ASSERT_TRUE(write_file(dir_ + "/hosts", kHosts));
        ASSERT_TRUE(write_file(dir_ + "/resolv.conf", kResolv));
        ASSERT_TRUE(write_file(dir_ + "/nsswitch.conf", kNsswitch));
    }
    void TearDown() override
    {
        if (dir_.empty()) return;
        for (const char *name : {"hosts", "resolv.conf", "nsswitch.conf"}) std::remove((dir_ + "/" + name).c_str());
        rmdir(dir_.c_str());
    }

    Outcome hostaddr(const std::vector<std::string> &args, Dns dns = Dns::refused)
    {
        Outcome o;
        int p[2];
        if (pipe(p) != 0) return o;
        pid_t pid = fork();
        if (pid == 0) {
            close(p[0]);
            child(dir_, dns, args, p[1]);
        }
        close(p[1]);
        std::string out;
        char buf[512];
        ssize_t n;
        while ((n = read(p[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
        close(p[0]);
        int w = 0;
        waitpid(pid, &w, 0);
        o.status = WIFEXITED(w) ? WEXITSTATUS(w) : -1;
        size_t pos = 0, nl;
        while ((nl = out.find('\n', pos)) != std::string::npos) {
            o.lines.push_back(out.substr(pos, nl - pos));
            pos = nl + 1;
        }
        if (pos < out.size()) o.lines.push_back(out.substr(pos) + "<no newline>");
        return o;
    }

    std::string dir_;
};

std::vector<std::string> sorted(std::vector<std::string> v)
{
    std::sort(v.begin(), v.end());
    return v;
}

TEST_F(HostaddrResolve, NamesFromHostsFile)
{
    const struct {
        std::vector<std::string> args;
        std::vector<std::string> addrs;  // sorted; the resolver chooses the order
    } cases[] = {
        {{"dual.example"}, {"192.0.2.10", "2001:db8::10"}},
        {{"-4", "dual.example"}, {"192.0.2.10"}},
        {{"-6", "dual.example"}, {"2001:db8::10"}},
        {{"-6", "-4", "dual.example"}, {"192.0.2.10"}},  // the later filter wins
        {{"-4", "-6", "dual.example"}, {"2001:db8::10"}},
        {{"-t", "5", "v4only.example"}, {"198.51.100.7"}},
        {{"v6only.example"}, {"2001:db8::7"}},
        {{"-x", "v6only.example"}, {"2001:db8::7"}},  // unknown options are ignored
        {{"long.example"}, {"fd00:ffff:ffff:ffff:ffff:ffff:ffff:ffff"}},
    };
    for (const auto &c : cases) {
        Outcome o = hostaddr(c.args);
        EXPECT_EQ(o.status, 0) << ::testing::PrintToString(c.args);
        EXPECT_EQ(sorted(o.lines), c.addrs) << ::testing::PrintToString(c.args);
    }
}

TEST_F(HostaddrResolve, ResolverErrorsEndWithTwo)
{
    const std::vector<std::vector<std::string>> cases = {
        {"unknown.example"},
        {"-4", "v6only.example"},
        {"-6", "v4only.example"},
    };
    for (const auto &args : cases) {
        Outcome o = hostaddr(args);
        EXPECT_EQ(o.status, 2) << ::testing::PrintToString(args);
        EXPECT_TRUE(o.lines.empty()) << ::testing::PrintToString(args);
    }
}

TEST_F(HostaddrResolve, SilentNameServerEndsWithOneAfterTheLimit)
{
    Outcome o = hostaddr({"-t", "1", "nowhere.example"}, Dns::silent);
    EXPECT_EQ(o.status, 1);
    EXPECT_TRUE(o.lines.empty());
    // The hosts file still answers at once with the same server present.
    o = hostaddr({"-t", "1", "-4", "dual.example"}, Dns::silent);
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.lines, std::vector<std::string>{"192.0.2.10"});
}

}  // namespace
