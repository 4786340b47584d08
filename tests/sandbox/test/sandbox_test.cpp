// The sandboxed router itself: isolation from the host, the stand-ins, the
// ubus client's output, forwarding to daemons, clean-up, and the helpers.
#include "tests/sandbox/sandbox.h"

#include <fcntl.h>
#include <net/if.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/json.h"
#include "platform/runner.h"
#include "platform/syswan.h"

namespace {

namespace fs = std::filesystem;

bool exists(const std::string &p)
{
    struct stat st;
    return ::lstat(p.c_str(), &st) == 0;
}

std::string ns_of(pid_t pid, const char *kind)
{
    std::error_code ec;
    auto target = fs::read_symlink("/proc/" + std::to_string(pid) + "/ns/" + kind, ec);
    return ec ? std::string() : target.string();
}

// A process that exited counts as gone even before its parent reaped it.
bool alive(pid_t pid)
{
    std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    auto paren = stat.rfind(')');
    return paren != std::string::npos && paren + 2 < stat.size() && stat[paren + 2] != 'Z';
}

// Live processes a sandbox of this test process set up (they inherit
// RT_SANDBOX_OWNER=<our pid> from the launcher).
std::vector<pid_t> set_up_by_us()
{
    const std::string mark = "RT_SANDBOX_OWNER=" + std::to_string(::getpid());
    std::vector<pid_t> out;
    std::error_code ec;
    for (const auto &e : fs::directory_iterator("/proc", ec)) {
        const std::string name = e.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream f(e.path() / "environ", std::ios::binary);
        std::string env((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        pid_t pid = static_cast<pid_t>(std::stol(name));
        if (pid != ::getpid() && (std::string(1, '\0') + env).find(std::string(1, '\0') + mark + '\0') != std::string::npos &&
            alive(pid))
            out.push_back(pid);
    }
    return out;
}

// Processes whose network namespace is `net`.
std::vector<pid_t> members_of(const std::string &net)
{
    std::vector<pid_t> out;
    std::error_code ec;
    for (const auto &e : fs::directory_iterator("/proc", ec)) {
        const std::string name = e.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        pid_t pid = static_cast<pid_t>(std::stol(name));
        if (ns_of(pid, "net") == net) out.push_back(pid);
    }
    return out;
}

class SandboxTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RT_SANDBOX_REQUIRE();
        ASSERT_TRUE(sb.up());
    }

    // Runs argv inside with stderr folded into the output.
    int exec_all(std::vector<std::string> argv, std::string *out)
    {
        argv.insert(argv.begin(), {"sh", "-c", "\"$@\" 2>&1", "sh"});
        return sb.exec(argv, out);
    }

    rt::Sandbox sb;
};

// ------------------------------------------------------------------ isolation

TEST_F(SandboxTest, WritesLandInTheStateDirectoryNotOnTheHost)
{
    const std::string tag = "rt_probe_" + std::to_string(::getpid());
    ASSERT_EQ(sb.exec({"sh", "-c",
                       "echo c > /etc/config/" + tag + " && echo t > /tmp/" + tag + " && echo r > /root/" + tag +
                           " && echo v > /var/run/" + tag + " && echo e > /etc/" + tag}),
              0);
    EXPECT_EQ(sb.read("config/" + tag), "c\n");
    EXPECT_EQ(sb.read("tmp/" + tag), "t\n");
    EXPECT_EQ(sb.read("root/" + tag), "r\n");
    EXPECT_EQ(sb.read("run/" + tag), "v\n");
    EXPECT_EQ(sb.read("etc/" + tag), "e\n");
    for (const char *dir : {"/etc/config/", "/tmp/", "/root/", "/run/", "/etc/"})
        EXPECT_FALSE(exists(dir + tag)) << dir << tag << " appeared on the host";

    // The router's ports exist inside only.
    std::string links;
    ASSERT_EQ(sb.exec({"ip", "-br", "link"}, &links), 0);
    for (std::string port : {"eth0", "eth1", "eth2", "eth3", "wan1_4096"}) {
        EXPECT_NE(links.find(port + "@p-" + port), std::string::npos) << port;
        EXPECT_NE(links.find("p-" + port + "@" + port), std::string::npos) << port;
    }
    EXPECT_NE(links.find("\nbr-lan "), std::string::npos);
    for (const char *name : {"p-eth0", "wan1_4096", "p-wan1_4096", "br-lan"})
        EXPECT_EQ(::if_nametoindex(name), 0u) << name << " exists on the host";

    // What programs log reaches the receiver on /dev/log, priority included.
    ASSERT_EQ(sb.exec({"logger", "-p", "daemon.err", "-t", "glowctl", "led_brightness: 50"}), 0);
    std::string syslog;
    for (int i = 0; i < 250 && syslog.find("led_brightness") == std::string::npos; ++i) {
        if (i) std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the receiver writes on its own
        syslog = sb.read("syslog.log");
    }
    EXPECT_EQ(syslog.rfind("<27>", 0), 0u) << syslog;
    EXPECT_NE(syslog.find("glowctl: led_brightness: 50\n"), std::string::npos) << syslog;

    // Its own host name, too.
    std::string name;
    ASSERT_EQ(sb.exec({"hostname"}, &name), 0);
    EXPECT_EQ(name, "OpenWrt\n");
    ASSERT_EQ(sb.exec({"hostname", "changed-inside"}), 0);
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    EXPECT_STRNE(host, "changed-inside");

    // The fixture configuration is in place.
    std::string wireless;
    ASSERT_EQ(sb.exec({"cat", "/etc/config/wireless"}, &wireless), 0);
    EXPECT_NE(wireless.find("config wifi-iface 'default_radio1'"), std::string::npos);
}

TEST_F(SandboxTest, HarmfulCommandsAreStandInsAtEveryPath)
{
    const char *names[] = {
        "chpasswd", "/usr/sbin/chpasswd", "/sbin/chpasswd", "/bin/chpasswd",
        "reboot",   "/sbin/reboot",       "/usr/sbin/reboot", "/bin/reboot",
        "firstboot", "/sbin/firstboot",   "/sbin/halt", "/sbin/poweroff", "/sbin/shutdown",
        "/etc/init.d/dnsmasq", "/etc/init.d/firewall",
    };
    for (const char *name : names) {
        SCOPED_TRACE(name);
        std::size_t before = sb.calls().size();
        ASSERT_EQ(sb.exec({name}, nullptr, "admin:secret\n"), 0);
        auto calls = sb.calls();
        ASSERT_EQ(calls.size(), before + 1);
        EXPECT_EQ(calls.back().prog, name);
    }
    // chpasswd is the one that reads its input.
    auto calls = sb.calls();
    ASSERT_TRUE(calls.front().stdin_text.has_value());
    EXPECT_EQ(*calls.front().stdin_text, "admin:secret\n");
    EXPECT_FALSE(calls[4].stdin_text.has_value());

    // Dropping the page cache would reach the whole host: it lands in the state.
    ASSERT_EQ(sb.exec({"sh", "-c", "echo 3 > /proc/sys/vm/drop_caches"}), 0);
    EXPECT_EQ(sb.read("proc/sys/vm/drop_caches"), "3\n");

    std::string found;
    ASSERT_EQ(sb.exec({"sh", "-c", "for c in reboot chpasswd ubus wifi; do command -v $c; done"}, &found), 0);
    EXPECT_EQ(found,
              "/var/run/.sandbox/bin/reboot\n/var/run/.sandbox/bin/chpasswd\n"
              "/var/run/.sandbox/bin/ubus\n/var/run/.sandbox/bin/wifi\n");
}

TEST_F(SandboxTest, ExitFixturesAreConsumedOnePerCall)
{
    // "wifi reload || /sbin/wifi reload": the first fails, the fallback runs.
    ASSERT_TRUE(sb.write("fix/exit/wifi.reload", "1 0"));
    EXPECT_EQ(sb.exec({"sh", "-c", "wifi reload || /sbin/wifi reload"}), 0);
    EXPECT_EQ(sb.exec({"wifi", "reload"}), 0);
    auto calls = sb.calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].prog, "wifi");
    EXPECT_EQ(calls[1].prog, "/sbin/wifi");

    ASSERT_TRUE(sb.write("fix/out/hi_cfm.get.board.wlan58", "0\n"));
    std::string out;
    ASSERT_EQ(sb.exec({"hi_cfm", "get", "board.wlan58"}, &out), 0);
    EXPECT_EQ(out, "0\n");
}

TEST(SandboxFixtures, AddFilesRemoveStandInsAndRunHooks)
{
    RT_SANDBOX_REQUIRE();
    char tmpl[] = "/tmp/rt-fixture.XXXXXX";
    ASSERT_TRUE(::mkdtemp(tmpl));
    const std::string fixture = tmpl;
    fs::create_directories(fixture + "/config");
    fs::create_directories(fixture + "/up.d");
    std::ofstream(fixture + "/config/extra") << "config extra 'x'\n";
    fs::create_directories(fixture + "/sys/class/leds/led_power");
    std::ofstream(fixture + "/sys/class/leds/led_power/brightness") << "0\n";
    std::ofstream(fixture + "/absent") << "reset-keep-wan\ninit.d/TMgr\n";
    // A hook that mounts something of its own and leaves a daemon running.
    std::ofstream(fixture + "/up.d/devices")
        << "#!/bin/sh\nmount -t tmpfs hook /root && echo mounted > /root/flag\n"
           "sleep 1000 </dev/null >/dev/null 2>&1 &\necho $! > /tmp/hook.pid\n";
    pid_t daemon = -1;
    {
        rt::Sandbox sb;
        ASSERT_TRUE(sb.up({fixture}));
        EXPECT_EQ(sb.read("config/extra"), "config extra 'x'\n");
        EXPECT_EQ(sb.exec({"sh", "-c", "[ ! -e /usr/bin/reset-keep-wan ] && [ ! -e /etc/init.d/TMgr ]"}), 0);
        EXPECT_EQ(sb.exec({"sh", "-c", "[ -x /usr/bin/sysconf ] && [ -x /etc/init.d/swanctl ]"}), 0);
        // A fake LED beside the real network class; writes land in the state.
        ASSERT_EQ(sb.exec({"sh", "-c", "echo 255 > /sys/class/leds/led_power/brightness"}), 0);
        EXPECT_EQ(sb.read("sys/class/leds/led_power/brightness"), "255\n");
        std::string carrier;
        EXPECT_EQ(sb.exec({"cat", "/sys/class/net/eth3/carrier"}, &carrier), 0);
        EXPECT_EQ(carrier, "1\n");
        std::string flag;
        EXPECT_EQ(sb.exec({"cat", "/root/flag"}, &flag), 0);
        EXPECT_EQ(flag, "mounted\n");
        EXPECT_FALSE(exists(sb.path("root/flag"))) << "the hook's mount is the sandbox's own";
        daemon = static_cast<pid_t>(std::atoi(sb.read("tmp/hook.pid").c_str()));
        ASSERT_GT(daemon, 0);
        EXPECT_TRUE(alive(daemon));
    }
    EXPECT_FALSE(alive(daemon)) << "down must stop what a hook started";

    // Taking away the stand-in of a command the host has would uncover the
    // host's; a failing hook fails the whole set-up.
    for (const char *bad : {"absent", "up.d/devices"}) {
        SCOPED_TRACE(bad);
        fs::remove(fixture + "/absent");
        std::ofstream(fixture + "/up.d/devices") << "#!/bin/sh\nexit 0\n";
        if (std::string(bad) == "absent") std::ofstream(fixture + "/absent") << "reboot\n";
        else std::ofstream(fixture + "/up.d/devices") << "#!/bin/sh\nexit 3\n";
        rt::Sandbox sb;
        EXPECT_FALSE(sb.up({fixture}));
        EXPECT_EQ(sb.holder_pid(), -1);
        EXPECT_TRUE(set_up_by_us().empty()) << "a failed set-up left processes behind";
    }
    fs::remove_all(fixture);
}

// ------------------------------------------------------------------ WAN service

// Texts a caller can be handed by the ONT, a script or the cloud agent.
const std::vector<std::string> kHostile = {
    "plain",
    "dq\"uote",
    "sq'uote",
    "back\\slash\\",
    "new\nline",
    "$(touch /tmp/pwned1)",
    "`touch /tmp/pwned2`",
    "'; touch /tmp/pwned3; echo '",
    "\"}' ; touch /tmp/pwned4 #",
    "a/b\tc\x01z",
};

TEST_F(SandboxTest, HostileTextsReachTheWanStateIntactThroughTheClient)
{
    for (const auto &text : kHostile) {
        SCOPED_TRACE(text);
        int rc = sb.run_inside([&] {
            std::string doc = platform::JsonObject()
                                  .num("wanId", 1)
                                  .num("wanMode", 1)
                                  .str("pppUser", text)
                                  .str("pppPwd", text)
                                  .str("ipv6Addr", text)
                                  .text();
            if (platform::syswan::modify(doc) != 0) return 1;
            std::string got;
            if (platform::syswan::get(1, &got) != 0) return 2;
            std::ofstream("/tmp/get.out") << got;
            return 0;
        });
        ASSERT_EQ(rc, 0);

        auto state = rt::json::parse(sb.read("syswan.json"));
        ASSERT_TRUE(state);
        const auto *conn = state->get("1");
        ASSERT_TRUE(conn);
        ASSERT_TRUE(conn->get("pppUser"));
        EXPECT_EQ(conn->get("pppUser")->text, text);
        EXPECT_EQ(conn->get("pppPwd")->text, text);
        EXPECT_EQ(conn->members.front().first, "wanId");
        // Read-only keys of the service survive a modify.
        ASSERT_TRUE(conn->get("mac"));

        // What the client prints parses back to the same text.
        auto printed = rt::json::parse(sb.read("tmp/get.out"));
        ASSERT_TRUE(printed);
        ASSERT_TRUE(printed->get("ipv6Addr"));
        EXPECT_EQ(printed->get("ipv6Addr")->text, text);
    }

    // add, maxId and del with a hostile text.
    int rc = sb.run_inside([&] {
        if (platform::syswan::add(platform::JsonObject().str("pppUser", kHostile[6]).text()) != 0) return 1;
        unsigned id = 0;
        if (platform::syswan::max_id(&id) != 0 || id != 2) return 2;
        if (platform::syswan::del(2) != 0) return 3;
        if (platform::syswan::max_id(&id) != 0 || id != 1) return 4;
        return platform::syswan::del(7) == 4 ? 0 : 5;
    });
    EXPECT_EQ(rc, 0);

    for (int i = 1; i <= 4; ++i) {
        std::string f = "pwned" + std::to_string(i);
        EXPECT_FALSE(exists(sb.path("tmp/" + f))) << f << ": a text was executed";
        EXPECT_FALSE(exists("/tmp/" + f)) << f << ": a text was executed on the host";
    }
}

// ------------------------------------------------------------------ ubus client format

constexpr const char *kFormatState = R"({
 "1": {"wanId": 1, "name": "a/b \"q\" back\\slash\ttab\u0001", "on": true, "off": false,
       "neg": -5, "ipv6Addr": "2001:db8::1/56", "none": null},
 "2": {"wanId": 2}
})";

TEST_F(SandboxTest, UbusPrintsAnswersAsTheRealClient)
{
    struct Case {
        const char *what;
        std::vector<std::string> argv;
        bool plain_slash;
        const char *expected;
    };
    const Case cases[] = {
        {"one connection",
         {"ubus", "call", "syswan", "get", R"({"wanId": 1})"},
         false,
         "{\n\t\"wanId\": 1,\n\t\"name\": \"a\\/b \\\"q\\\" back\\\\slash\\ttab\\u0001\",\n\t\"on\": true,\n"
         "\t\"off\": false,\n\t\"neg\": -5,\n\t\"ipv6Addr\": \"2001:db8::1\\/56\",\n\t\"none\": null\n}\n"},
        {"plain slash switch",
         {"ubus", "call", "syswan", "get", R"({"wanId":2})"},
         true,
         "{\n\t\"wanId\": 2\n}\n"},
        {"nested levels",
         {"ubus", "call", "syswan", "all"},
         true,
         "{\n\t\"1\": {\n\t\t\"wanId\": 1,\n\t\t\"name\": \"a/b \\\"q\\\" back\\\\slash\\ttab\\u0001\",\n"
         "\t\t\"on\": true,\n\t\t\"off\": false,\n\t\t\"neg\": -5,\n\t\t\"ipv6Addr\": \"2001:db8::1/56\",\n"
         "\t\t\"none\": null\n\t},\n\t\"2\": {\n\t\t\"wanId\": 2\n\t}\n}\n"},
        {"simple output",
         {"ubus", "-S", "call", "syswan", "get", R"({"wanId":2})"},
         false,
         "{\"wanId\":2}\n"},
        {"maxId", {"ubus", "call", "syswan", "maxId"}, false, "{\n\t\"maxId\": 2\n}\n"},
        {"no answer", {"ubus", "call", "em.web_info", "set", R"({"mesh_switch":1,"mesh_mode":0})"}, false, ""},
        {"list one path", {"ubus", "list", "network.interface.lan"}, false, "network.interface.lan\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(sb.write("syswan.json", kFormatState));
        if (c.plain_slash) ASSERT_TRUE(sb.write("fix/ubus/plain_slash", ""));
        else fs::remove(sb.path("fix/ubus/plain_slash"));
        std::string out;
        EXPECT_EQ(sb.exec(c.argv, &out), 0);
        EXPECT_EQ(out, c.expected);
    }
}

TEST_F(SandboxTest, UbusRejectsBadCallsWithTheRealClientsMessagesAndStatuses)
{
    struct Case {
        std::vector<std::string> argv;
        int status;
        const char *output;
    };
    const Case cases[] = {
        {{"ubus", "call", "syswan", "get", "{bad"}, 255, "Failed to parse message data\n"},
        {{"ubus", "call", "syswan", "get", "[1]"}, 255, "Failed to parse message data\n"},
        {{"ubus", "call", "syswan", "get", R"({"wanId": NaN})"}, 255, "Failed to parse message data\n"},
        {{"ubus", "call", "syswan", "get", R"({'wanId': 1})"}, 255, "Failed to parse message data\n"},
        {{"ubus", "-S", "call", "syswan", "get", "{bad"}, 255, ""},
        {{"ubus", "call", "nosuch", "get"}, 4, "Command failed: Not found\n"},
        {{"ubus", "-S", "call", "nosuch", "get"}, 4, ""},
        {{"ubus", "call", "syswan", "get", R"({"wanId": 9})"}, 4, "Command failed: Not found\n"},
        {{"ubus", "call", "syswan", "get", R"({"wanId": "1"})"}, 2, "Command failed: Invalid argument\n"},
        {{"ubus", "call", "syswan", "modify", R"({"vid": 1, "wanId": 1})"}, 2, "Command failed: Invalid argument\n"},
        {{"ubus", "call", "syswan", "add", R"({"wanId": 3})"}, 2, "Command failed: Invalid argument\n"},
        {{"ubus", "call", "syswan", "frob"}, 3, "Command failed: Method not found\n"},
        {{"ubus", "call", "em.web_info", "frob"}, 3, "Command failed: Method not found\n"},
        {{"ubus", "-S", "list", "network.interface.MESH"}, 4, ""},
        {{"ubus", "call", "network.interface", "up", R"({"interface":"MESH"})"}, 4, "Command failed: Not found\n"},
    };
    const std::string before = sb.read("syswan.json");
    for (const auto &c : cases) {
        std::string what;
        for (const auto &a : c.argv) what += a + " ";
        SCOPED_TRACE(what);
        std::string out;
        EXPECT_EQ(exec_all(c.argv, &out), c.status);
        EXPECT_EQ(out, c.output);
    }
    EXPECT_EQ(sb.read("syswan.json"), before) << "a rejected call changed the WAN state";

    // A forced failure leaves the state alone; the sequence then lets the next call through.
    ASSERT_TRUE(sb.write("fix/exit/ubus.syswan.modify", "1 0"));
    const std::string doc = R"({"wanId":1,"mtu":1400})";
    std::string out;
    EXPECT_EQ(exec_all({"ubus", "call", "syswan", "modify", doc}, &out), 1);
    EXPECT_EQ(out, "Command failed: Invalid command\n");
    EXPECT_EQ(sb.read("syswan.json"), before);
    EXPECT_EQ(sb.exec({"ubus", "call", "syswan", "modify", doc}), 0);
    auto state = rt::json::parse(sb.read("syswan.json"));
    ASSERT_TRUE(state && state->get("1") && state->get("1")->get("mtu"));
    EXPECT_EQ(state->get("1")->get("mtu")->number, 1400);
}

TEST_F(SandboxTest, NetworkInterfacesKeepTheirUpDownState)
{
    ASSERT_EQ(sb.exec({"ubus", "call", "network.interface", "down", R"({"interface":"lan"})"}), 0);
    std::string out;
    ASSERT_EQ(sb.exec({"ubus", "call", "network.interface.lan", "status"}, &out), 0);
    EXPECT_NE(out.find("\"up\": false"), std::string::npos) << out;
    ASSERT_EQ(sb.exec({"ubus", "call", "network.interface", "up", R"({"interface":"lan"})"}), 0);
    ASSERT_EQ(sb.exec({"ubus", "call", "network.interface.lan", "status"}, &out), 0);
    EXPECT_NE(out.find("\"up\": true"), std::string::npos) << out;
}

// ------------------------------------------------------------------ forwarding to daemons

// A daemon's ubus object as the stand-in reaches it: one connection per call,
// one JSON line each way.
class HostObject {
public:
    HostObject(const std::string &path, std::string reply) : reply_(std::move(reply))
    {
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
        ::unlink(path.c_str());
        ok_ = fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0 &&
              ::listen(fd_, 4) == 0;
        thread_ = std::thread([this] { serve(); });
    }
    ~HostObject()
    {
        finish();
        if (fd_ >= 0) ::close(fd_);
    }
    bool ok() const { return ok_; }
    // Waits for the one call to be served; what the stand-in sent.
    const std::string &finish()
    {
        if (thread_.joinable()) thread_.join();
        return request_;
    }

private:
    void serve()
    {
        pollfd p{fd_, POLLIN, 0};
        if (!ok_ || ::poll(&p, 1, 10000) != 1) return;
        int c = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (c < 0) return;
        char buf[4096];
        while (request_.find('\n') == std::string::npos) {
            pollfd q{c, POLLIN, 0};
            if (::poll(&q, 1, 10000) != 1) break;
            ssize_t n = ::read(c, buf, sizeof buf);
            if (n <= 0) break;
            request_.append(buf, static_cast<std::size_t>(n));
        }
        if (!reply_.empty()) {
            ssize_t w = ::write(c, reply_.data(), reply_.size());
            (void)w;
        }
        ::close(c);
    }

    int fd_ = -1;
    bool ok_ = false;
    std::string reply_;
    std::string request_;
    std::thread thread_;
};

TEST_F(SandboxTest, UbusForwardsOtherObjectsToDaemonSockets)
{
    struct Case {
        const char *what;
        std::vector<std::string> argv;
        const char *reply;  // empty: the daemon hangs up without answering
        const char *request;
        int status;
        const char *output;
    };
    const Case cases[] = {
        {"reply printed",
         {"ubus", "call", "glowctl", "get_dim"},
         "{\"status\":0,\"reply\":{\"on_ns\":500,\"level\":\"custom\",\"mode\":\"pwm\"}}\n",
         "{\"method\":\"get_dim\",\"args\":{}}\n",
         0,
         "{\n\t\"on_ns\": 500,\n\t\"level\": \"custom\",\n\t\"mode\": \"pwm\"\n}\n"},
        {"arguments passed, no reply",
         {"ubus", "call", "glowctl", "set_dim", R"({"level": 50, "note": "a\"b/c"})"},
         "{\"status\":0}\n",
         "{\"method\":\"set_dim\",\"args\":{\"level\":50,\"note\":\"a\\\"b/c\"}}\n",
         0,
         ""},
        {"status passed on",
         {"ubus", "call", "glowctl", "set_dim", R"({"level": 7})"},
         "{\"status\":2}\n",
         "{\"method\":\"set_dim\",\"args\":{\"level\":7}}\n",
         2,
         "Command failed: Invalid argument\n"},
        {"unknown error",
         {"ubus", "call", "glowctl", "get_dim"},
         "{\"status\":9}\n",
         "{\"method\":\"get_dim\",\"args\":{}}\n",
         9,
         "Command failed: Unknown error\n"},
        {"daemon hangs up",
         {"ubus", "call", "glowctl", "get_dim"},
         "",
         "{\"method\":\"get_dim\",\"args\":{}}\n",
         5,
         "Command failed: No response\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        HostObject obj(sb.path("run/ubus-host/glowctl.sock"), c.reply);
        ASSERT_TRUE(obj.ok());
        std::string out;
        EXPECT_EQ(exec_all(c.argv, &out), c.status);
        EXPECT_EQ(out, c.output);
        EXPECT_EQ(obj.finish(), c.request);
    }

    std::string out;
    EXPECT_EQ(exec_all({"ubus", "call", "night_mode", "get_night_mode"}, &out), 4);
    EXPECT_EQ(out, "Command failed: Not found\n");
    ASSERT_EQ(sb.exec({"ubus", "list"}, &out), 0);
    EXPECT_NE(out.find("\nglowctl\n"), std::string::npos) << out;
}

// ------------------------------------------------------------------ helpers

TEST_F(SandboxTest, SpawnedProgramsAreWatchedThroughTheCallLog)
{
    std::size_t from = sb.calls().size();
    pid_t pid = sb.spawn({"sh", "-c", "echo started; sleep 0.3; wifi reload; exec sleep 1000"}, "worker.log");
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(sb.wait_for_call("wifi", "reload", 10000, from));
    EXPECT_FALSE(sb.wait_for_call("wifi", "down", 0, from));
    EXPECT_EQ(sb.read("worker.log"), "started\n");
    EXPECT_TRUE(rt::Sandbox::stop(pid));
}

TEST_F(SandboxTest, FramesCrossBetweenARouterPortAndItsPeer)
{
    rt::PacketSocket router = sb.packet_socket("eth3");
    rt::PacketSocket peer = sb.peer_socket("eth3");
    rt::PacketSocket other = sb.peer_socket("eth2");
    ASSERT_TRUE(router.valid());
    ASSERT_TRUE(peer.valid());
    ASSERT_TRUE(other.valid());

    rt::Frame frame = {0x01, 0x80, 0xC2, 0x00, 0x00, 0x0E, 0x02, 0x00, 0x00, 0x00, 0x00, 0x01, 0x88, 0xCC};
    frame.resize(60, 0xA5);
    ASSERT_TRUE(peer.send_frame(frame));
    auto got = router.recv_frame(5000);
    ASSERT_TRUE(got);
    EXPECT_EQ(*got, frame);

    frame[11] = 0x02;
    ASSERT_TRUE(router.send_frame(frame));
    got = peer.recv_frame(5000);
    ASSERT_TRUE(got);
    EXPECT_EQ(*got, frame);
    EXPECT_FALSE(other.recv_frame(100)) << "a frame leaked onto another port";

    // The same through the sandbox's own peer sockets.
    ASSERT_TRUE(sb.recv_frame("eth0", 0) == std::nullopt);  // opens it
    rt::PacketSocket port0 = sb.packet_socket("eth0");
    ASSERT_TRUE(port0.send_frame(frame));
    got = sb.recv_frame("eth0", 5000);
    ASSERT_TRUE(got);
    EXPECT_EQ(*got, frame);
    ASSERT_TRUE(sb.send_frame("eth0", frame));
    EXPECT_EQ(port0.recv_frame(5000), frame);
}

TEST_F(SandboxTest, UciCommandsWorkOnTheRoutersConfiguration)
{
    // The stand-in and the programs share one store: a set through the
    // command is a change of STATE/config/<pkg>, and uci_get reads it back.
    EXPECT_EQ(sb.uci_get("wireless.radio0.channel"), "auto");
    EXPECT_EQ(sb.uci_get("easycwmp.@acs[0].periodic_interval"), "3600");
    EXPECT_EQ(sb.uci_get("wireless.radio9.channel"), std::nullopt);
    const std::string hostile = "it's \"$(touch /tmp/pwned5)\"";
    ASSERT_EQ(sb.exec({"uci", "set", "mqtt_kpsm.mqtt_kpsm.password=" + hostile}), 0);
    ASSERT_EQ(sb.exec({"uci", "commit", "mqtt_kpsm"}), 0);
    EXPECT_EQ(sb.uci_get("mqtt_kpsm.mqtt_kpsm.password"), hostile);
    EXPECT_NE(sb.read("config/mqtt_kpsm").find("password"), std::string::npos);
    EXPECT_FALSE(exists(sb.path("tmp/pwned5")));
    auto calls = sb.calls();
    ASSERT_EQ(calls.size(), 2u) << "uci_get must not be logged";
    EXPECT_EQ(calls[1].args(), "commit mqtt_kpsm");
}

TEST(SandboxUci, StandInRunsTheProjectsUciToolAndLogsTheCall)
{
    RT_SANDBOX_REQUIRE();
    // A stand-in for the build tree, under /tmp on purpose: the sandbox covers
    // /tmp, and the build tree must stay reachable at its real path anyway.
    char tmpl[] = "/tmp/rt-fake-build.XXXXXX";
    ASSERT_TRUE(::mkdtemp(tmpl));
    const std::string bindir = tmpl;
    fs::create_directories(bindir + "/bin");
    {
        std::ofstream f(bindir + "/bin/uci");
        f << "#!/bin/sh\n[ \"$1 $2\" = \"get a.b.c\" ] || exit 1\necho \"value of $2 in $(ls /etc/config | wc -l) packages\"\n";
    }
    fs::permissions(bindir + "/bin/uci", fs::perms::owner_all);

    {
        rt::Sandbox sb;
        sb.set_binary_dir(bindir);
        ASSERT_TRUE(sb.up());
        std::string out;
        ASSERT_EQ(sb.exec({"uci", "get", "a.b.c"}, &out), 0);
        EXPECT_EQ(out, "value of a.b.c in 11 packages\n");
        ASSERT_EQ(sb.calls().size(), 1u);
        EXPECT_EQ(sb.calls()[0].args(), "get a.b.c");

        EXPECT_EQ(sb.uci_get("a.b.c"), "value of a.b.c in 11 packages");
        EXPECT_EQ(sb.uci_get("x.y.z"), std::nullopt);
        EXPECT_EQ(sb.calls().size(), 1u) << "uci_get must not show up as a call";
    }
    {
        rt::Sandbox sb;
        sb.set_binary_dir(bindir + "/empty");
        fs::create_directories(bindir + "/empty");
        ASSERT_TRUE(sb.up());
        std::string out;
        EXPECT_EQ(sb.exec({"sh", "-c", "uci commit wireless 2>&1"}, &out), 1);
        EXPECT_NE(out.find("not built"), std::string::npos) << out;
    }
    fs::remove_all(bindir);
}

// ------------------------------------------------------------------ clean-up

TEST(SandboxDown, LeavesNoProcessBehindAndReapsOrphans)
{
    RT_SANDBOX_REQUIRE();
    // Namespace numbers are reused at once by other sandboxes, so what is
    // checked afterwards is the processes that were inside.
    std::vector<pid_t> inside;
    {
        rt::Sandbox sb;
        ASSERT_TRUE(sb.up());
        pid_t holder = sb.holder_pid();
        ASSERT_GT(holder, 0);
        ASSERT_NE(ns_of(holder, "net"), ns_of(::getpid(), "net"));
        pid_t worker = sb.spawn({"sh", "-c", "trap '' TERM; exec sleep 1000"}, "w.log");
        ASSERT_GT(worker, 0);
        inside = members_of(ns_of(holder, "net"));
        ASSERT_GE(inside.size(), 2u) << "holder and syslog receiver";
        inside.push_back(worker);  // may not have entered yet
        ASSERT_TRUE(sb.down());
        EXPECT_TRUE(sb.down()) << "a second down must be harmless";
        EXPECT_EQ(sb.holder_pid(), -1);
    }
    for (pid_t pid : inside) EXPECT_FALSE(alive(pid)) << pid << " left running";
    EXPECT_TRUE(set_up_by_us().empty());

    // A holder killed on its own: down still stops what ran inside.
    {
        rt::Sandbox sb;
        ASSERT_TRUE(sb.up());
        pid_t holder = sb.holder_pid();
        ASSERT_GT(holder, 0);
        inside = members_of(ns_of(holder, "net"));
        pid_t worker = sb.spawn({"sleep", "1000"}, "w.log");
        ASSERT_GT(worker, 0);
        inside.push_back(worker);
        ASSERT_EQ(::kill(holder, SIGKILL), 0);
        ASSERT_TRUE(sb.down());
        for (pid_t pid : inside) EXPECT_FALSE(alive(pid)) << pid << " left running";
    }

    // Namespace numbers are reused: a dead sandbox whose record names the
    // namespaces another one now has must not take that one down with it.
    {
        rt::Sandbox live;
        ASSERT_TRUE(live.up());
        pid_t holder = live.holder_pid();
        rt::Sandbox dead;
        ASSERT_TRUE(dead.write(".rt-sandbox", ""));
        ASSERT_TRUE(dead.write("ns.pid", "999999999\n"));
        ASSERT_TRUE(dead.write("ns.id", "net " + ns_of(holder, "net") + "\nmnt " + ns_of(holder, "mnt") + "\n"));
        EXPECT_EQ(platform::run({rt::Sandbox::launcher().c_str(), "down", dead.state().c_str()}), 0);
        EXPECT_EQ(live.holder_pid(), holder);
        EXPECT_EQ(live.exec({"true"}), 0);
    }

    // A sandbox whose owner died (a test killed half-way) is taken down by
    // the next `reap`.
    pid_t owner = ::fork();
    if (owner == 0) _exit(0);
    ASSERT_GT(owner, 0);
    ::waitpid(owner, nullptr, 0);
    char tmpl[] = "/tmp/rt-orphan.XXXXXX";
    ASSERT_TRUE(::mkdtemp(tmpl));
    const std::string state = tmpl;
    ::setenv("RT_SANDBOX_OWNER", std::to_string(owner).c_str(), 1);
    int up = platform::run({rt::Sandbox::launcher().c_str(), "up", state.c_str()});
    ::unsetenv("RT_SANDBOX_OWNER");
    ASSERT_EQ(up, 0);
    rt::Sandbox orphan(state);
    pid_t holder = orphan.holder_pid();
    ASSERT_GT(holder, 0);
    inside = members_of(ns_of(holder, "net"));
    EXPECT_EQ(platform::run({rt::Sandbox::launcher().c_str(), "reap"}), 0);
    EXPECT_EQ(orphan.holder_pid(), -1);
    for (pid_t pid : inside) EXPECT_FALSE(alive(pid)) << pid << " left running";
    fs::remove_all(state);
}

}  // namespace
