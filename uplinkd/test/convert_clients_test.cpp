// TR-069, STUN and MQTT translation and comparison.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "uplinkd/platform_openwrt_convert.h"

namespace {

template <size_t N>
void put(uint8_t (&f)[N], const std::string &t)
{
    std::memset(f, 0, N);
    std::memcpy(f, t.data(), std::min(N, t.size()));
}
template <size_t N>
void put(char (&f)[N], const std::string &t)
{
    std::memset(f, 0, N);
    std::memcpy(f, t.data(), std::min(N, t.size()));
}

TEST(ConvertTr069, OmciAndOam)
{
    lldp_tr069_config rec{};
    std::strcpy(rec.acs_password, "router-secret");
    omci_tr069_view v{};
    v.tr069_ind = 2;
    v.inform_interval = 300;
    v.reverse_port = 7547;
    put(v.id, std::string(20, 'p'));
    put(v.acs_server_url, std::string(130, 'u'));
    put(v.acs_username, "acs 'user' $(x)");
    put(v.acs_password, "pass\r\nInjected");
    platform_omci_mib_to_lldp_tr069_config(&v, &rec);
    EXPECT_EQ(+rec.cwmp_enable, 1);
    EXPECT_EQ(+rec.inform_interval, 300u);
    EXPECT_EQ(+rec.conn_req_port, 0);
    EXPECT_EQ(std::string(rec.project_id), std::string(19, 'p'));
    EXPECT_EQ(std::string(rec.acs_url), std::string(127, 'u'));
    EXPECT_STREQ(rec.acs_username, "acs 'user' $(x)");
    EXPECT_STREQ(rec.acs_password, "router-secret");

    // An empty provisioned text keeps the router's, as the writer would.
    lldp_tr069_config kept{};
    std::strcpy(kept.conn_req_username, "router-cr");
    omci_tr069_view partial{};
    put(partial.acs_server_url, "http://x/");
    platform_omci_mib_to_lldp_tr069_config(&partial, &kept);
    EXPECT_STREQ(kept.conn_req_username, "router-cr");
    EXPECT_STREQ(kept.acs_url, "http://x/");

    lldp_tr069_config read{};
    read.conn_req_port = 0;
    lldp_tr069_config copy = read;
    oam_tr069_view o{};
    o.cwmp_enable = 1;
    put(o.acs_url, "http://acs.example:7547/");
    put(o.conn_req_username, "cr");
    platform_oam_mib_to_lldp_tr069_config(&o, &copy);
    EXPECT_STREQ(copy.acs_url, "http://acs.example:7547/");
    EXPECT_STREQ(copy.conn_req_username, "cr");
    EXPECT_EQ(platform_tr069_config_status_diff(&copy, &read), 1);
    platform_oam_mib_to_lldp_tr069_config(&o, &read);
    EXPECT_EQ(platform_tr069_config_status_diff(&copy, &read), 0);
}

TEST(ConvertStun, BothProtocolsAndDiff)
{
    lldp_stun_config omci{}, oam{};
    omci_stun_view v{};
    v.stun_status = 5;
    v.stun_server_port = 3478;
    put(v.stun_server_addr, "stun.example.net");
    put(v.stun_username, "u");
    put(v.stun_password, "\x1b[2J");
    std::strcpy(omci.password, "kept");
    platform_omci_mib_to_lldp_stun_config(&v, &omci);
    EXPECT_EQ(+omci.stun_enable, 1);
    EXPECT_EQ(+omci.server_port, 3478);
    EXPECT_STREQ(omci.server_addr, "stun.example.net");
    EXPECT_STREQ(omci.password, "kept");

    oam_stun_view o{};
    o.stun_enable = 1;
    o.server_port = 3478;
    put(o.server_addr, "stun.example.net");
    put(o.username, "u");
    put(o.password, "kept");
    platform_oam_mib_to_lldp_stun_config(&o, &oam);
    EXPECT_EQ(platform_stun_config_status_diff(&oam, &omci), 0);
    oam.server_port = 1;
    EXPECT_EQ(platform_stun_config_status_diff(&oam, &omci), 1);
    EXPECT_EQ(platform_stun_config_status_diff(nullptr, &omci), 0);
}

TEST(ConvertMqtt, BothProtocolsAndDiff)
{
    lldp_mqtt_config read{};
    read.connect_status = 1;
    lldp_mqtt_config copy = read;
    oam_mqtt_view o{};
    o.enable = 1;
    o.connect_status = 0;
    put(o.server_addr, "mqtt.example.net");
    put(o.username, std::string(32, 'n'));  // full field followed by the password
    put(o.password, "pw");
    put(o.project_id, std::string(20, 'i'));
    platform_oam_mib_to_lldp_mqtt_config(&o, &copy);
    EXPECT_EQ(std::string(copy.username), std::string(32, 'n'));
    EXPECT_STREQ(copy.password, "pw");
    EXPECT_EQ(std::string(copy.project_id), std::string(19, 'i'));
    EXPECT_EQ(+copy.connect_status, 1);
    EXPECT_EQ(platform_mqtt_config_status_diff(&copy, &read), 1);

    lldp_mqtt_config omci = read;
    omci_mqtt_view v{};
    v.enable = 1;
    v.connect_status = 0;
    put(v.address, "mqtt.example.net");
    put(v.username, std::string(32, 'n'));
    put(v.password, "pw");
    put(v.id, std::string(20, 'i'));
    platform_omci_mib_to_lldp_mqtt_config(&v, &omci);
    EXPECT_EQ(+omci.connect_status, 1);
    omci.connect_status = 0;  // never counts
    EXPECT_EQ(platform_mqtt_config_status_diff(&omci, &copy), 0);
}

}  // namespace
