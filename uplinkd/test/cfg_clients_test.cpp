#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "uplinkd/test/cfg_store_fixture.h"

using cfgtest::StoreTest;

namespace {

const char kEasycwmp[] =
    "config acs\n"
    "\toption enablecwmp '1'\n"
    "\toption periodic_enable '1'\n"
    "\toption periodic_interval '3600'\n"
    "\toption certificate_enable '0'\n"
    "\toption url 'http://acs.example:7547/'\n"
    "\toption username 'acsuser'\n"
    "\toption password 'acspass'\n"
    "\n"
    "config local\n"
    "\toption username 'cruser'\n"
    "\toption password 'crpass'\n";

const char kMqtt[] =
    "config mqtt_kpsm 'mqtt_kpsm'\n"
    "\toption enable '1'\n"
    "\toption addr 'mqtt.example'\n"
    "\toption username 'mu'\n"
    "\toption password 'mp'\n"
    "\toption project_id 'proj-7'\n";

const char kStun[] =
    "config stun\n"
    "\toption stun_enable '1'\n"
    "\toption serveraddress 'stun.example'\n"
    "\toption serverport '3478'\n"
    "\toption username 'su'\n"
    "\toption password 'sp'\n";

}  // namespace

class CfgClients : public StoreTest {};

TEST_F(CfgClients, Tr069ReadAndWriteBack)
{
    write("easycwmp", kEasycwmp);
    write("mqtt_kpsm", kMqtt);
    lldp_tr069_config r;
    std::memset(&r, 0x55, sizeof r);
    ASSERT_EQ(platform_tr069_config_status_get(&r), 0);
    EXPECT_EQ(r.cwmp_enable, 1);
    EXPECT_EQ(r.inform_enable, 1);
    EXPECT_EQ(+r.inform_interval, 3600u);
    EXPECT_EQ(r.certificate_enable, 0);
    EXPECT_STREQ(r.acs_url, "http://acs.example:7547/");
    EXPECT_STREQ(r.acs_username, "acsuser");
    EXPECT_STREQ(r.acs_password, "acspass");
    EXPECT_STREQ(r.conn_req_username, "cruser");
    EXPECT_STREQ(r.conn_req_password, "crpass");
    EXPECT_STREQ(r.project_id, "proj-7");
    EXPECT_EQ(+r.conn_req_port, 0);
    EXPECT_TRUE(commands().empty());

    // Writing the record as read changes no option.
    const std::string cwmp = file("easycwmp");
    ASSERT_EQ(platform_tr069_config_status_set(&r), 0);
    lldp_tr069_config back;
    ASSERT_EQ(platform_tr069_config_status_get(&back), 0);
    EXPECT_EQ(std::memcmp(&back, &r, sizeof r), 0);
    // The project id lives in the cloud agent's package, which must be
    // committed too or a reboot loses it.
    EXPECT_EQ(command_lines(), (std::vector<std::string>{"uci commit easycwmp", "uci commit mqtt_kpsm",
                                                         "/etc/init.d/easycwmpd reload"}));
}

TEST_F(CfgClients, Tr069EmptyTextsKeepTheRouters)
{
    write("easycwmp",
          "config acs\n\toption url 'http://old/'\n\toption password 'keep'\n\toption periodic_enable '1'\n"
          "config local\n\toption password 'crkeep'\n");
    write("mqtt_kpsm", kMqtt);
    lldp_tr069_config r;
    ASSERT_EQ(platform_tr069_config_status_get(&r), 0);
    EXPECT_EQ(+r.inform_interval, 0u);  // missing
    std::strcpy(r.acs_url, "https://new/");
    r.acs_password[0] = '\0';
    r.conn_req_password[0] = '\0';
    r.project_id[0] = '\0';
    r.inform_enable = 0;
    ASSERT_EQ(platform_tr069_config_status_set(&r), 0);
    EXPECT_EQ(get("easycwmp", "@acs[0]", "url"), "https://new/");
    EXPECT_EQ(get("easycwmp", "@acs[0]", "password"), "keep");
    EXPECT_EQ(get("easycwmp", "@local[0]", "password"), "crkeep");
    EXPECT_EQ(get("easycwmp", "@acs[0]", "username"), "<missing>");
    EXPECT_EQ(get("easycwmp", "@acs[0]", "periodic_interval"), "0");
    EXPECT_EQ(get("easycwmp", "@acs[0]", "periodic_enable"), "0");
    EXPECT_EQ(get("mqtt_kpsm", "mqtt_kpsm", "project_id"), "proj-7");
    // No project id set: the agent's package is not committed.
    EXPECT_EQ(command_lines(), (std::vector<std::string>{"uci commit easycwmp", "/etc/init.d/easycwmpd reload"}));
}

TEST_F(CfgClients, StunRoundTripAndPortModulo)
{
    write("stun", kStun);
    lldp_stun_config r;
    ASSERT_EQ(platform_stun_config_status_get(&r), 0);
    EXPECT_EQ(r.stun_enable, 1);
    EXPECT_STREQ(r.server_addr, "stun.example");
    EXPECT_EQ(+r.server_port, 3478);
    EXPECT_STREQ(r.username, "su");
    EXPECT_STREQ(r.password, "sp");

    // Empty texts are written too: the old values are gone.
    r.server_addr[0] = '\0';
    r.password[0] = '\0';
    r.server_port = 65535;
    ASSERT_EQ(platform_stun_config_status_set(&r), 0);
    EXPECT_EQ(get("stun", "@stun[0]", "serverport"), "65535");
    EXPECT_EQ(get("stun", "@stun[0]", "username"), "su");
    lldp_stun_config back;
    ASSERT_EQ(platform_stun_config_status_get(&back), 0);
    EXPECT_EQ(+back.server_port, 65535);
    EXPECT_STREQ(back.server_addr, "");
    EXPECT_STREQ(back.password, "");
    EXPECT_EQ(command_lines(), (std::vector<std::string>{"uci commit stun", "/etc/init.d/stun-client reload"}));

    struct Port {
        const char *text;
        uint16_t port;
    } ports[] = {{"70000", 4464}, {"65536", 0}, {"", 0}, {"x", 0}};
    for (const auto &p : ports) {
        write("stun", std::string("config stun\n\toption serverport '") + p.text + "'\n");
        ASSERT_EQ(platform_stun_config_status_get(&r), 0);
        EXPECT_EQ(+r.server_port, p.port) << p.text;
    }
}

TEST_F(CfgClients, OverlongTextsAreCutToTheirFields)
{
    write("stun", "config stun\n\toption serveraddress '" + std::string(300, 'a') + "'\n\toption serverport '3478'\n"
                  "\toption username '" + std::string(64, 'u') + "'\n\toption password 'sp'\n");
    lldp_stun_config r;
    std::memset(&r, 0x55, sizeof r);
    ASSERT_EQ(platform_stun_config_status_get(&r), 0);
    EXPECT_EQ(std::string(r.server_addr), std::string(sizeof r.server_addr - 1, 'a'));
    EXPECT_EQ(+r.server_port, 3478);
    EXPECT_EQ(std::string(r.username), std::string(sizeof r.username - 1, 'u'));
    EXPECT_STREQ(r.password, "sp");
}

TEST_F(CfgClients, MqttConnectStatusAndWriter)
{
    write("mqtt_kpsm", kMqtt);
    const std::string status = dir_ + "/kpsm_connect_status";
    struct Case {
        const char *content;  // null: no file
        uint8_t connected;
    } cases[] = {{"1\n", 1}, {"1", 1}, {"10\n", 1}, {"0\n", 0}, {"", 0}, {" 1\n", 0}, {nullptr, 0}};
    for (const auto &c : cases) {
        std::remove(status.c_str());
        if (c.content) std::ofstream(status) << c.content;
        lldp_mqtt_config r;
        ASSERT_EQ(ow_mqtt_config_read(&r, status.c_str()), 0);
        EXPECT_EQ(r.connect_status, c.connected) << (c.content ? c.content : "(none)");
    }

    std::ofstream(status) << "1\n";
    lldp_mqtt_config r;
    ASSERT_EQ(ow_mqtt_config_read(&r, status.c_str()), 0);
    EXPECT_EQ(r.enable, 1);
    EXPECT_STREQ(r.server_addr, "mqtt.example");
    EXPECT_STREQ(r.username, "mu");
    EXPECT_STREQ(r.password, "mp");
    EXPECT_STREQ(r.project_id, "proj-7");

    // An empty password clears the broker password; the status file is never written.
    r.password[0] = '\0';
    r.enable = 0;
    r.connect_status = 0;
    ASSERT_EQ(platform_mqtt_config_status_set(&r), 0);
    lldp_mqtt_config back;
    ASSERT_EQ(ow_mqtt_config_read(&back, status.c_str()), 0);
    EXPECT_STREQ(back.password, "");
    EXPECT_EQ(get("mqtt_kpsm", "mqtt_kpsm", "enable"), "0");
    EXPECT_EQ(get("mqtt_kpsm", "mqtt_kpsm", "addr"), "mqtt.example");
    EXPECT_EQ(command_lines(), (std::vector<std::string>{"uci commit mqtt_kpsm", "/etc/init.d/mqtt_kpsm reload"}));
    std::ifstream f(status);
    std::string line;
    std::getline(f, line);
    EXPECT_EQ(line, "1");
}

TEST_F(CfgClients, NullRecordsDoNothing)
{
    EXPECT_EQ(platform_tr069_config_status_get(nullptr), -1);
    EXPECT_EQ(platform_tr069_config_status_set(nullptr), -1);
    EXPECT_EQ(platform_stun_config_status_get(nullptr), -1);
    EXPECT_EQ(platform_stun_config_status_set(nullptr), -1);
    EXPECT_EQ(platform_mqtt_config_status_get(nullptr), -1);
    EXPECT_EQ(platform_mqtt_config_status_set(nullptr), -1);
    EXPECT_TRUE(commands().empty());
}

// ------------------------------------------------------------ device mode

class CfgDeviceMode : public StoreTest {
protected:
    void setup(const char *flag, const char *user, const char *clear_enable)
    {
        std::string custom = "config first_login 'first_login'\n";
        if (flag) custom += std::string("\toption first_admin_login_flag '") + flag + "'\n";
        custom += "config olt_config 'olt_config'\n";
        if (clear_enable) custom += std::string("\toption rpcd_clear_password_enable '") + clear_enable + "'\n";
        write("custom", custom);
        std::string rpcd = "config login\n";
        if (user) rpcd += std::string("\toption username \"") + user + "\"\n";
        rpcd += "\toption password '$p$admin'\n\toption clear_password 'old'\n";
        write("rpcd", rpcd);
    }
    // Runs the hook for `event` and returns what it printed.
    std::string auth(int event)
    {
        testing::internal::CaptureStdout();
        platform_auth(nullptr, event);
        return testing::internal::GetCapturedStdout();
    }
};

TEST_F(CfgDeviceMode, FirstAuthenticationSetsThePasswordOnce)
{
    setup("1", nullptr, nullptr);
    EXPECT_EQ(auth(1), "platform_device_mode_change: skip quick config, admin password set\n");
    ASSERT_EQ(commands().size(), 3u);
    EXPECT_EQ(commands()[0].line(), "chpasswd");
    EXPECT_EQ(commands()[0].input, "admin:pqrGTW735\n");
    EXPECT_EQ(commands()[1].line(), "uci commit rpcd");
    EXPECT_EQ(commands()[2].line(), "uci commit custom");
    EXPECT_EQ(get("custom", "first_login", "first_admin_login_flag"), "0");
    EXPECT_EQ(get("rpcd", "@login[0]", "clear_password"), "<missing>");

    commands().clear();
    EXPECT_EQ(auth(1), "");
    EXPECT_TRUE(commands().empty());
}

TEST_F(CfgDeviceMode, ClearPasswordFollowsTheOption)
{
    struct Case {
        const char *enable;
        const char *clear_password;
    } cases[] = {{"1", "pqrGTW735"}, {"0", "<missing>"}, {"yes", "<missing>"}, {nullptr, "<missing>"}};
    for (const auto &c : cases) {
        setup("1", "root", c.enable);
        commands().clear();
        auth(1);
        EXPECT_EQ(get("rpcd", "@login[0]", "clear_password"), c.clear_password) << (c.enable ? c.enable : "-");
        ASSERT_FALSE(commands().empty());
        EXPECT_EQ(commands()[0].input, "root:pqrGTW735\n");
    }
}

TEST_F(CfgDeviceMode, NothingDueOrOtherEvents)
{
    struct Case {
        const char *flag;
        int event;
    } cases[] = {{"0", 1}, {nullptr, 1}, {"", 1}, {"yes", 1}, {"1", 0}, {"1", 2}};
    for (const auto &c : cases) {
        setup(c.flag, nullptr, nullptr);
        commands().clear();
        EXPECT_EQ(auth(c.event), "");
        EXPECT_TRUE(commands().empty()) << (c.flag ? c.flag : "-") << "/" << c.event;
    }
    write("custom", "");
    write("rpcd", "");
    EXPECT_EQ(platform_device_mode_change(), 1);
}

TEST_F(CfgDeviceMode, UnsafeUserNamesAreRefused)
{
    const char *names[] = {"a:b", "x\x01y", "tab\tname", "del\x7f", "cr\r"};
    for (const char *n : names) {
        setup("1", n, "1");
        commands().clear();
        testing::internal::CaptureStdout();
        EXPECT_EQ(platform_device_mode_change(), -1);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_NE(out.find("ow_set_admin_password: "), std::string::npos) << out;
        EXPECT_EQ(out.find("pqrGTW735"), std::string::npos);
        EXPECT_TRUE(commands().empty());
        EXPECT_EQ(get("custom", "first_login", "first_admin_login_flag"), "1");
        EXPECT_EQ(get("rpcd", "@login[0]", "clear_password"), "old");
    }

    // Shell metacharacters are harmless without a shell.
    setup("1", "o'brien $(reboot)", nullptr);
    commands().clear();
    auth(1);
    ASSERT_FALSE(commands().empty());
    EXPECT_EQ(commands()[0].argv, std::vector<std::string>{"chpasswd"});
    EXPECT_EQ(commands()[0].input, "o'brien $(reboot):pqrGTW735\n");
}

TEST_F(CfgDeviceMode, FailedChpasswdIsRetriedAtTheNextAuthentication)
{
    setup("1", nullptr, "1");
    exit_with("chpasswd", {1});
    const std::string out = auth(1);
    EXPECT_EQ(out.find("skip quick config"), std::string::npos);
    EXPECT_EQ(command_lines(), std::vector<std::string>{"chpasswd"});
    EXPECT_EQ(get("custom", "first_login", "first_admin_login_flag"), "1");
    EXPECT_EQ(get("rpcd", "@login[0]", "clear_password"), "old");

    commands().clear();
    EXPECT_EQ(auth(1), "platform_device_mode_change: skip quick config, admin password set\n");
    EXPECT_EQ(command_lines(), (std::vector<std::string>{"chpasswd", "uci commit rpcd", "uci commit custom"}));
    EXPECT_EQ(get("custom", "first_login", "first_admin_login_flag"), "0");
    EXPECT_EQ(get("rpcd", "@login[0]", "clear_password"), "pqrGTW735");
}
