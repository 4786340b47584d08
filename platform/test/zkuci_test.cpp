#include "platform/zkuci.h"
#include "platform/uci_store.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string read_all(const std::string &path)
{
    std::string out;
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) return "<missing>";
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    std::fclose(f);
    return out;
}

void write_file(const std::string &path, const std::string &text, mode_t mode = 0644)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, mode);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    ::close(fd);
}

class Zkuci : public ::testing::Test {
protected:
    void SetUp() override
    {
        // tmpfs where there is one: thousands of fsyncs on a busy disk would
        // make the concurrency test slow without making it stronger.
        std::string tmpl = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm/zkuciXXXXXX" : "/tmp/zkuciXXXXXX";
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        dir_ = tmpl;
        zkuci_set_config_dir(dir_.c_str());
    }
    void TearDown() override
    {
        zkuci_set_config_dir(nullptr);
        std::string cmd = "rm -rf '" + dir_ + "'";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
    }
    std::string path(const char *pkg) const { return dir_ + "/" + pkg; }
    std::string get(const char *pkg, const char *sec, const char *opt)
    {
        char buf[8192] = "untouched";
        if (zkuci_get(pkg, sec, opt, buf, sizeof buf) != 0) return std::string("<absent:") + buf + ">";
        return buf;
    }

    std::string dir_;
};

const char *kRpcd =
    "\n"
    "config rpcd\n"
    "\toption socket '/var/run/ubus/ubus.sock'\n"
    "\n"
    "config login\n"
    "\toption username 'root'\n"
    "\toption password '$p$root'\n"
    "\tlist read '*'\n"
    "\tlist write '*'\n"
    "\n"
    "config login\n"
    "\toption username 'admin'\n"
    "\n";

}  // namespace

TEST_F(Zkuci, GetsOptionsByNameAndExtendedReference)
{
    write_file(path("rpcd"), kRpcd);
    struct Case {
        const char *sec, *opt, *want;
    } cases[] = {
        {"@login[0]", "username", "root"},
        {"@login[1]", "username", "admin"},
        {"@login[-1]", "username", "admin"},
        {"@rpcd[0]", "socket", "/var/run/ubus/ubus.sock"},
        {"@login[0]", "read", "*"},
        {"@login[2]", "username", "<absent:untouched>"},
        {"@login[0]", "nothing", "<absent:untouched>"},
        {"nosuch", "username", "<absent:untouched>"},
        {"@login", "username", "<absent:untouched>"},
    };
    for (const Case &c : cases) EXPECT_EQ(get("rpcd", c.sec, c.opt), c.want) << c.sec << "." << c.opt;
    EXPECT_EQ(get("nopackage", "a", "b"), "<absent:untouched>");
    EXPECT_EQ(get("../rpcd", "@login[0]", "username"), "<absent:untouched>");

    char small[4] = "xyz";
    EXPECT_EQ(zkuci_get("rpcd", "@login[0]", "username", small, sizeof small), 0);
    EXPECT_STREQ(small, "roo");
    EXPECT_NE(zkuci_get("rpcd", "@login[0]", "username", small, 0), 0);
}

TEST_F(Zkuci, SetDeleteAndSectionsChangeTheFileAtOnce)
{
    write_file(path("rpcd"), kRpcd);
    EXPECT_EQ(zkuci_set("rpcd", "@login[1]", "clear_password", "pw"), 0);
    EXPECT_EQ(zkuci_set("rpcd", "@login[0]", "username", "root2"), 0);
    EXPECT_EQ(zkuci_delete("rpcd", "@login[0]", "password"), 0);
    EXPECT_EQ(zkuci_delete("rpcd", "@login[0]", "password"), 0) << "absence is no error";
    EXPECT_EQ(zkuci_delete("rpcd", "nosuch", "password"), 0);
    EXPECT_NE(zkuci_set("rpcd", "nosuch", "a", "1"), 0) << "the section must exist";
    EXPECT_NE(zkuci_set("nopackage", "s", "a", "1"), 0);
    EXPECT_NE(zkuci_set("rpcd", "@login[0]", "bad.option", "1"), 0);
    EXPECT_EQ(read_all(path("rpcd")),
              "\nconfig rpcd\n\toption socket '/var/run/ubus/ubus.sock'\n"
              "\nconfig login\n\toption username 'root2'\n\tlist read '*'\n\tlist write '*'\n"
              "\nconfig login\n\toption username 'admin'\n\toption clear_password 'pw'\n\n");

    EXPECT_EQ(zkuci_add_section("custom", "olt", "olt_config"), 0) << "creates the package";
    EXPECT_EQ(zkuci_set("custom", "olt_config", "enable", "1"), 0);
    EXPECT_EQ(zkuci_add_section("custom", "olt", "olt_config"), 0) << "an existing section is kept";
    EXPECT_EQ(get("custom", "olt_config", "enable"), "1");
    EXPECT_NE(zkuci_add_section("custom", "olt", "bad name"), 0);
    EXPECT_EQ(zkuci_del_section("custom", "olt_config"), 0);
    EXPECT_EQ(zkuci_del_section("custom", "olt_config"), 0);
    EXPECT_EQ(zkuci_del_section("nopackage", "x"), 0);
    EXPECT_EQ(read_all(path("custom")), "\n");
    EXPECT_EQ(::access((dir_ + "/nopackage").c_str(), F_OK), -1) << "deleting created nothing";
}

TEST_F(Zkuci, HostileValuesRoundTripAndRunNothing)
{
    write_file(path("mqtt_kpsm"), "config mqtt_kpsm 'mqtt_kpsm'\n");
    const std::string marker = dir_ + "/pwned";
    const std::string values[] = {
        "'; touch " + marker + "; '",
        "\"$(touch " + marker + ")\"",
        "`touch " + marker + "`",
        "back\\slash \\' \\\" \\n",
        "two\nlines\n\toption injected 'x'",
        "config evil 'x'",
        "# not a comment",
    };
    for (const std::string &v : values) {
        ASSERT_EQ(zkuci_set("mqtt_kpsm", "mqtt_kpsm", "password", v.c_str()), 0) << v;
        EXPECT_EQ(get("mqtt_kpsm", "mqtt_kpsm", "password"), v);
        EXPECT_EQ(get("mqtt_kpsm", "mqtt_kpsm", "injected"), "<absent:untouched>");
        platform::uci::Package p;
        ASSERT_EQ(platform::uci::Store(dir_).load("mqtt_kpsm", p), platform::uci::Err::ok);
        EXPECT_EQ(p.sections.size(), 1u) << v;
    }
    EXPECT_NE(::access(marker.c_str(), F_OK), 0) << "a value was executed";
}

TEST_F(Zkuci, EmptyValueDeletesAsUciSetDoes)
{
    write_file(path("p"), "config t 's'\n\toption a 'x'\n");
    EXPECT_EQ(zkuci_set("p", "s", "a", ""), 0);
    EXPECT_EQ(get("p", "s", "a"), "<absent:untouched>");
    EXPECT_EQ(read_all(path("p")), "\nconfig t 's'\n\n");
}

TEST_F(Zkuci, Int32ReadsOnlyWholeNumbers)
{
    write_file(path("p"), "config t 's'\n");
    struct Case {
        const char *text;
        int want;
    } cases[] = {
        {"1", 1}, {"0", 0}, {"-7", -7}, {"2147483647", 2147483647}, {"2147483648", -1},
        {"1abc", -1}, {"", -1}, {"abc", -1}, {" 1", 1},
    };
    for (const Case &c : cases) {
        ASSERT_EQ(zkuci_set("p", "s", "v", c.text), 0);
        EXPECT_EQ(zkuci_get_int32("p", "s", "v"), c.want) << "'" << c.text << "'";
    }
    EXPECT_EQ(zkuci_get_int32("p", "s", "missing"), -1);
    EXPECT_EQ(zkuci_set_int32(-42, "p", "s", "n"), 0);
    EXPECT_EQ(get("p", "s", "n"), "-42");
    EXPECT_EQ(zkuci_get_int32("p", "s", "n"), -42);
}

TEST_F(Zkuci, MoreOptionsFillsWhatExists)
{
    write_file(path("mqtt_kpsm"), "config mqtt_kpsm 'mqtt_kpsm'\n\toption bind_status 'online'\n");
    char status[32] = "s", group[64] = "g";
    EXPECT_EQ(zkuci_get_more_options(1, "mqtt_kpsm", "mqtt_kpsm", 6, "bind_status", status, sizeof status,
                                     "groupname", group, sizeof group),
              0);
    EXPECT_STREQ(status, "online");
    EXPECT_STREQ(group, "g");
    EXPECT_NE(zkuci_get_more_options(1, "mqtt_kpsm", "nosuch", 3, "bind_status", status, sizeof status), 0);
    EXPECT_NE(zkuci_get_more_options(2, "mqtt_kpsm", "mqtt_kpsm", 3, "bind_status", status, sizeof status), 0);
}

TEST_F(Zkuci, MalformedFileIsReportedAndNeverRewritten)
{
    const std::string bad = "config t 's'\n\toption a '1'\n\tbogus line\n\toption b '2'\n";
    write_file(path("p"), bad);
    testing::internal::CaptureStderr();
    EXPECT_EQ(get("p", "s", "a"), "<absent:untouched>");
    EXPECT_NE(zkuci_set("p", "s", "c", "3"), 0);
    EXPECT_NE(zkuci_delete("p", "s", "a"), 0);
    EXPECT_NE(zkuci_del_section("p", "s"), 0);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(path("p") + ": Parse error (invalid command) at line 3"), std::string::npos) << err;
    EXPECT_EQ(read_all(path("p")), bad);
}

TEST_F(Zkuci, WritesKeepTheFileModeAndNewFilesArePrivate)
{
    write_file(path("p"), "config t 's'\n", 0640);
    ::chmod(path("p").c_str(), 0640);
    ASSERT_EQ(zkuci_set("p", "s", "a", "1"), 0);
    struct stat st{};
    ASSERT_EQ(::stat(path("p").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    ASSERT_EQ(zkuci_add_section("fresh", "t", "s"), 0);
    ASSERT_EQ(::stat(path("fresh").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
}

// Each process adds its own options; a read-modify-write that ran on a stale
// copy would drop the other's latest option.
TEST_F(Zkuci, ConcurrentWritersLoseNoWrite)
{
    write_file(path("easymesh"), "config easymesh 'easymesh_default'\n");
    constexpr int kWrites = 1000;
    pid_t kids[2];
    for (int k = 0; k < 2; ++k) {
        kids[k] = ::fork();
        ASSERT_GE(kids[k], 0);
        if (kids[k] == 0) {
            char opt[32], val[32];
            int failures = 0;
            for (int i = 0; i < kWrites; ++i) {
                std::snprintf(opt, sizeof opt, "%c%d", k ? 'b' : 'a', i);
                std::snprintf(val, sizeof val, "%d", i);
                failures += zkuci_set("easymesh", "easymesh_default", opt, val) != 0;
            }
            ::_exit(failures ? 1 : 0);
        }
    }
    for (pid_t kid : kids) {
        int status = 0;
        ASSERT_EQ(::waitpid(kid, &status, 0), kid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    platform::uci::Package p;
    ASSERT_EQ(platform::uci::Store(dir_).load("easymesh", p), platform::uci::Err::ok);
    ASSERT_EQ(p.sections.size(), 1u);
    EXPECT_EQ(p.sections[0].options.size(), 2u * kWrites);
    for (int i = 0; i < kWrites; i += 97) {
        const std::string n = std::to_string(i);
        EXPECT_EQ(get("easymesh", "easymesh_default", ("a" + n).c_str()), n);
        EXPECT_EQ(get("easymesh", "easymesh_default", ("b" + n).c_str()), n);
    }
}

// Readers running beside a writer, and whatever a writer killed at any
// moment leaves behind, see one whole version of the file.
TEST_F(Zkuci, ReadersAndKilledWritersNeverSeeAPartialFile)
{
    const std::string big_x(300000, 'x'), big_y(300000, 'y');
    write_file(path("p"), "config t 's'\n");
    ASSERT_EQ(zkuci_set("p", "s", "v", big_x.c_str()), 0);
    const platform::uci::Store store(dir_);
    auto whole = [&](const char *when, int round) {
        platform::uci::Package p;
        const platform::uci::Err e = store.load("p", p);
        const platform::uci::Option *o = e == platform::uci::Err::ok && p.sections.size() == 1 ? p.sections[0].find("v") : nullptr;
        const bool ok = o && (o->value == big_x || o->value == big_y);
        EXPECT_TRUE(ok) << when << " round " << round << " load " << static_cast<int>(e);
        return ok;
    };
    for (int round = 0; round < 6; ++round) {
        pid_t kid = ::fork();
        ASSERT_GE(kid, 0);
        if (kid == 0) {
            for (int i = 0;; ++i) zkuci_set("p", "s", "v", (i & 1 ? big_x : big_y).c_str());
        }
        for (int r = 0; r < 10 + round * 4; ++r)
            if (!whole("while writing", round)) break;
        ::kill(kid, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(kid, &status, 0), kid);
        whole("after the kill", round);
    }
    // The lock dies with its holder and a stale temporary is no obstacle.
    EXPECT_EQ(zkuci_set("p", "s", "after", "1"), 0);
    EXPECT_EQ(get("p", "s", "after"), "1");
}

TEST_F(Zkuci, HiCfmValueComesFromTheConfigurationManager)
{
    const std::string bin = dir_ + "/bin";
    ASSERT_EQ(::mkdir(bin.c_str(), 0755), 0);
    // Stand-in: answers by key, logs its arguments.
    write_file(bin + "/hi_cfm",
               "#!/bin/sh\n"
               "printf '%s\\n' \"$*\" >> \"$(dirname \"$0\")/calls\"\n"
               "case \"$2\" in\n"
               "  sysinfo.zkt_device_pn_type) printf 'ZK-1234\\r\\nsecond line\\n' ;;\n"
               "  sysinfo.unknown_one) echo unknown ;;\n"
               "  sysinfo.empty_one) echo ;;\n"
               "  *) exit 1 ;;\n"
               "esac\n",
               0755);
    const char *old = std::getenv("PATH");
    const std::string saved = old ? old : "";
    ::setenv("PATH", (bin + ":" + saved).c_str(), 1);
    char buf[64];
    struct Case {
        const char *option;
        const char *want;
    } cases[] = {
        {"zkt_device_pn_type", "ZK-1234"},
        {"unknown_one", nullptr},
        {"empty_one", nullptr},
        {"missing", nullptr},
    };
    for (const Case &c : cases) {
        std::strcpy(buf, "untouched");
        const int rc = zkuci_get_hi_cfm("sysinfo", "sysinfo", c.option, buf, sizeof buf);
        if (c.want) {
            EXPECT_EQ(rc, 0) << c.option;
            EXPECT_STREQ(buf, c.want);
        } else {
            EXPECT_NE(rc, 0) << c.option;
            EXPECT_STREQ(buf, "untouched") << c.option;
        }
    }
    EXPECT_NE(zkuci_get_hi_cfm("sysinfo", "sysinfo", "x;touch y", buf, sizeof buf), 0);
    ::setenv("PATH", saved.c_str(), 1);
    EXPECT_EQ(read_all(bin + "/calls"),
              "get sysinfo.zkt_device_pn_type\nget sysinfo.unknown_one\nget sysinfo.empty_one\nget sysinfo.missing\n");
}
