// WAN translation (three OMCI families, OAM) and WAN change detection.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "uplinkd/platform_openwrt_convert.h"

namespace {

// A router currently on DHCP with manual DNS, a few IPv6 and DS-Lite values:
// fields the provisioning does not carry must come out unchanged.
lldp_wan_config router_record()
{
    lldp_wan_config r{};
    r.valid = 1;
    r.wan_id = 1;
    std::strcpy(r.wan_name, "INTERNET");
    r.vlan_id = 300;
    r.vlan_mode = 1;
    r.priority = 3;
    r.nat_enable = 1;
    r.ip_mode = 0;
    r.dns_manual = 1;
    r.ipv4_dns1 = 0x08080808;
    r.ipv4_dns2 = 0x01010101;
    r.mtu = 1500;
    r.ip_protocol = 2;
    r.ipv6_addr[0] = 0x20;
    r.ipv6_addr[15] = 7;
    r.ipv6_prefix_len = 56;
    r.dslite_enable = 1;
    r.dslite_aftr[0] = 'x';
    std::strcpy(r.ppp_username, "olduser");
    return r;
}

template <size_t N>
void put(uint8_t (&field)[N], const char *text)
{
    std::memset(field, 0, N);
    std::memcpy(field, text, std::min(N, std::strlen(text)));
}

void put_v6(uint8_t *dst, const char *text) { ASSERT_EQ(inet_pton(AF_INET6, text, dst), 1); }

std::string str(const char *field, size_t n) { return std::string(field, strnlen(field, n)); }

struct OmciCase {
    const char *name;
    std::function<void(omci_wan_view &)> setup;
    std::function<void(const lldp_wan_config &)> check;
};

void run_omci(const OmciCase &c)
{
    SCOPED_TRACE(c.name);
    auto v = std::make_unique<omci_wan_view>();
    std::memset(v.get(), 0, sizeof *v);
    c.setup(*v);
    lldp_wan_config rec = router_record();
    platform_omci_mib_to_lldp_wan_config(v.get(), &rec);
    c.check(rec);
}

void zelk(omci_wan_view &v, int count = 1)
{
    v.source = OMCI_WAN_SOURCE_ZELK;
    v.wan_count = static_cast<uint8_t>(count);
}

TEST(ConvertOmciWan, ZelkRules)
{
    const OmciCase cases[] = {
        {"first configured entry is taken",
         [](omci_wan_view &v) {
             zelk(v, 3);
             v.zelk_wan[1].address_mode = 2;
             v.zelk_wan[1].wan_index = 2;
             put(v.zelk_wan[1].pppoe_username, "second");
             v.zelk_wan[2].address_mode = 1;
         },
         [](const lldp_wan_config &r) {
             EXPECT_EQ(+r.ip_mode, 2);
             EXPECT_EQ(+r.wan_id, 2);
             EXPECT_EQ(str(r.ppp_username, 32), "second");
         }},
        {"no entry configured: entry 0, wan_id 1",
         [](omci_wan_view &v) {
             zelk(v, 3);
             v.zelk_wan[0].vlan_id = 55;
         },
         [](const lldp_wan_config &r) {
             EXPECT_EQ(+r.wan_id, 1);
             EXPECT_EQ(+r.vlan_id, 55);
             EXPECT_EQ(+r.ip_mode, 0);
         }},
        {"vlan 4090 leaves vlan as read",
         [](omci_wan_view &v) {
             zelk(v);
             v.zelk_wan[0].vlan_id = 4090;
         },
         [](const lldp_wan_config &r) {
             EXPECT_EQ(+r.vlan_id, 300);
             EXPECT_EQ(+r.vlan_mode, 1);
         }},
        {"vlan 4085 tagged",
         [](omci_wan_view &v) {
             zelk(v);
             v.zelk_wan[0].vlan_id = 4085;
         },
         [](const lldp_wan_config &r) {
             EXPECT_EQ(+r.vlan_id, 4085);
             EXPECT_EQ(+r.vlan_mode, 1);
         }},
        {"vlan 0 untagged",
         [](omci_wan_view &v) { zelk(v); },
         [](const lldp_wan_config &r) {
             EXPECT_EQ(+r.vlan_id, 0xFFFF);
             EXPECT_EQ(+r.vlan_mode, 0);
         }},
        {"priority above 7 keeps the router's, mtu 0 keeps the router's",
         [](omci_wan_view &v) {
             zelk(v);
             v.zelk_wan[0].priority = 9;
         },
         [](const lldp_wan_config &r) {
             EXPECT_EQ(+r.priority, 3);
             EXPECT_EQ(+r.mtu, 1500);
         }},
        {"static with prefix-length mask",
         [](omci_wan_view &v) {
             zelk(v);
             v.zelk_wan[0].address_mode = 1;
             v.zelk_wan[0].ip_address = 0xC0A80102;
             v.zelk_wan[0].mask = 24;
             v.zelk_wan[0].gateway = 0xC0A80101;
         },
         [](const lldp_wan_config &r) {
             EXPECT_EQ(+r.ipv4_addr, 0xC0A80102u);
             EXPECT_EQ(+r.ipv4_mask, 0xFFFFFF00u);
             EXPECT_EQ(+r.ipv4_gateway, 0xC0A80101u);
             EXPECT_EQ(+r.dns_manual, 0);  // both servers 0
             EXPECT_EQ(+r.ipv4_dns1, 0u);
         }},
        {"static with dotted mask and DNS",
         [](omci_wan_view &v) {
             zelk(v);
             v.zelk_wan[0].address_mode = 1;
             v.zelk_wan[0].mask = 0xFFFFFF00;
             v.zelk_wan[0].primary_dns = 0x09090909;
         },
         [](const lldp_wan_config &r) {
             EXPECT_EQ(+r.ipv4_mask, 0xFFFFFF00u);
             EXPECT_EQ(+r.dns_manual, 1);
             EXPECT_EQ(+r.ipv4_dns1, 0x09090909u);
             EXPECT_EQ(+r.ipv4_dns2, 0u);
         }},
        {"PPPoE: texts cut to 31, addressing and IPv4 DNS cleared",
         [](omci_wan_view &v) {
             zelk(v);
             v.zelk_wan[0].address_mode = 2;
             put(v.zelk_wan[0].pppoe_username, "0123456789012345678901234567890123456789");
             put(v.zelk_wan[0].pppoe_pwd, "pw\"$(reboot)\\");
             put(v.zelk_wan[0].pppoe_servicename, "isp");
             v.zelk_wan[0].pppoe_dia_pattern = 1;
             v.zelk_wan[0].mtu = 1480;
         },
         [](const lldp_wan_config &r) {
             EXPECT_EQ(+r.ip_mode, 2);
             EXPECT_EQ(str(r.ppp_username, 32), "0123456789012345678901234567890");
             EXPECT_EQ(str(r.ppp_password, 32), "pw\"$(reboot)\\");
             EXPECT_EQ(str(r.ppp_service_name, 32), "isp");
             EXPECT_EQ(+r.pppoe_dial_pattern, 1);
             EXPECT_EQ(+r.dns_manual, 0);
             EXPECT_EQ(+r.ipv4_dns1, 0u);
             EXPECT_EQ(+r.mtu, 1480);
         }},
        {"PPPoE user name with a newline keeps the router's",
         [](omci_wan_view &v) {
             zelk(v);
             v.zelk_wan[0].address_mode = 2;
             put(v.zelk_wan[0].pppoe_username, "evil\nuser");
             put(v.zelk_wan[0].pppoe_pwd, "ok");
         },
         [](const lldp_wan_config &r) {
             EXPECT_EQ(str(r.ppp_username, 32), "olduser");
             EXPECT_EQ(str(r.ppp_password, 32), "ok");
         }},
        {"ip_protocol 0 leaves IPv6 and DS-Lite as read",
         [](omci_wan_view &v) {
             zelk(v);
             v.zelk_wan[0].ip_protocol = 0;
             v.zelk_wan[0].wan_ds_lite_enable = 0;
         },
         [](const lldp_wan_config &r) {
             EXPECT_EQ(+r.ip_protocol, 0);
             EXPECT_EQ(+r.ipv6_addr[15], 7);
             EXPECT_EQ(+r.ipv6_prefix_len, 56u);
             EXPECT_EQ(+r.dslite_enable, 1);
         }},
        {"request_dns_mode with zero IPv6 servers: manual, servers zero",
         [](omci_wan_view &v) {
             zelk(v);
             v.zelk_wan[0].ip_protocol = 2;
             v.zelk_wan[0].request_dns_mode = 1;
         },
         [](const lldp_wan_config &r) {
             EXPECT_EQ(+r.dns_manual, 1);
             uint8_t zero[16] = {};
             EXPECT_EQ(std::memcmp(r.ipv6_dns1, zero, 16), 0);
             EXPECT_EQ(std::memcmp(r.ipv6_addr, zero, 16), 0);  // cleared static fields
             EXPECT_EQ(+r.dslite_enable, 0);
         }},
        {"IPv6 static address, DS-Lite type 0 from text",
         [](omci_wan_view &v) {
             zelk(v);
             auto &e = v.zelk_wan[0];
             e.ip_protocol = 1;
             put_v6(e.ipv6_address, "2001:db8::5");
             e.ipv6_prefix_len = 64;
             e.wan_ds_lite_enable = 3;
             e.wan_ds_lite_address_type = 0;
             put(e.wan_ds_lite_address, "2001:db8::2");
         },
         [](const lldp_wan_config &r) {
             uint8_t a[16], aftr[16];
             inet_pton(AF_INET6, "2001:db8::5", a);
             inet_pton(AF_INET6, "2001:db8::2", aftr);
             EXPECT_EQ(std::memcmp(r.ipv6_addr, a, 16), 0);
             EXPECT_EQ(+r.ipv6_prefix_len, 64u);
             EXPECT_EQ(+r.dslite_enable, 1);
             EXPECT_EQ(std::memcmp(r.dslite_aftr, aftr, 16), 0);
             EXPECT_EQ(+r.dslite_aftr[16], 0);
         }},
        {"DS-Lite type 1 copies the host name",
         [](omci_wan_view &v) {
             zelk(v);
             v.zelk_wan[0].ip_protocol = 2;
             v.zelk_wan[0].wan_ds_lite_address_type = 1;
             put(v.zelk_wan[0].wan_ds_lite_address, "aftr.example.net");
         },
         [](const lldp_wan_config &r) {
             EXPECT_EQ(std::string(reinterpret_cast<const char *>(r.dslite_aftr)), "aftr.example.net");
         }},
    };
    for (const auto &c : cases) run_omci(c);
}

TEST(ConvertOmciWan, IphostAndFhRules)
{
    const OmciCase cases[] = {
        {"IP-host with only ip_options bit 3 is left untouched",
         [](omci_wan_view &v) {
             v.source = OMCI_WAN_SOURCE_IPHOST;
             v.wan_count = 1;
             v.iphost[0].ip_options = 8;
         },
         [](const lldp_wan_config &r) { EXPECT_EQ(str(r.wan_name, 40), "INTERNET"); }},
        {"IP-host DHCP: name WAN, mtu 1500, NAT",
         [](omci_wan_view &v) {
             v.source = OMCI_WAN_SOURCE_IPHOST;
             v.wan_count = 1;
             v.iphost[0].ip_options = 1;
             v.iphost[0].primary_dns = 0x0A000001;
         },
         [](const lldp_wan_config &r) {
             EXPECT_EQ(str(r.wan_name, 40), "WAN");
             EXPECT_EQ(+r.ip_mode, 0);
             EXPECT_EQ(+r.mtu, 1500);
             EXPECT_EQ(+r.nat_enable, 1);
             EXPECT_EQ(+r.dns_manual, 1);
             EXPECT_EQ(+r.ip_protocol, 0);
         }},
        {"IP-host PPPoE: mtu 1492, texts from 128 bytes",
         [](omci_wan_view &v) {
             v.source = OMCI_WAN_SOURCE_IPHOST;
             v.wan_count = 2;
             put(v.iphost[1].pppoe_username, "user@isp");
             put(v.iphost[1].host_name, "box");
         },
         [](const lldp_wan_config &r) {
             EXPECT_EQ(+r.ip_mode, 2);
             EXPECT_EQ(+r.mtu, 1492);
             EXPECT_EQ(str(r.ppp_username, 32), "user@isp");
             EXPECT_EQ(str(r.wan_name, 40), "box");
         }},
        {"IP-host IPv6 stateful, prefix length defaults to 64",
         [](omci_wan_view &v) {
             v.source = OMCI_WAN_SOURCE_IPHOST;
             v.wan_count = 1;
             v.iphost[0].ip_options = 1;
             v.iphost[0].ipv6_ip_options = 1 | 4;
             put_v6(v.iphost[0].ipv6_addr, "2001:db8::9");
         },
         [](const lldp_wan_config &r) {
             EXPECT_EQ(+r.ip_protocol, 2);
             EXPECT_EQ(+r.ipv6_addr_mode, 0);
             EXPECT_EQ(+r.dhcpv6_req_addr, 1);
             EXPECT_EQ(+r.ipv6_prefix_len, 64u);
             EXPECT_EQ(+r.ipv6_addr[15], 9);
         }},
        {"FH IPv6 address as text",
         [](omci_wan_view &v) {
             v.source = OMCI_WAN_SOURCE_FH;
             v.wan_count = 1;
             auto &e = v.fh[0];
             e.achieve_addr_mode = 0;
             e.wan_protocol_type = 2;
             put(e.ipv6_addr, "2001:db8::1");
         },
         [](const lldp_wan_config &r) {
             uint8_t a[16];
             inet_pton(AF_INET6, "2001:db8::1", a);
             EXPECT_EQ(std::memcmp(r.ipv6_addr, a, 16), 0);
             EXPECT_EQ(+r.ipv6_prefix_len, 64u);
         }},
        {"FH IPv6 address as raw bytes",
         [](omci_wan_view &v) {
             v.source = OMCI_WAN_SOURCE_FH;
             v.wan_count = 1;
             v.fh[0].connect_mode = 1;
             v.fh[0].wan_protocol_type = 1;
             uint8_t a[16];
             inet_pton(AF_INET6, "fe80::1", a);
             std::memcpy(v.fh[0].ipv6_addr, a, 16);
         },
         [](const lldp_wan_config &r) {
             EXPECT_EQ(+r.ipv6_addr[0], 0xfe);
             EXPECT_EQ(+r.ipv6_addr[15], 1);
             EXPECT_EQ(+r.ip_protocol, 1);
         }},
        {"FH static without DNS keeps the router's DNS",
         [](omci_wan_view &v) {
             v.source = OMCI_WAN_SOURCE_FH;
             v.wan_count = 1;
             v.fh[0].achieve_addr_mode = 1;
             v.fh[0].ipv4_addr = 0x0A000002;
             v.fh[0].ipv4_mask = 8;
             v.fh[0].wan_protocol_type = 0;
         },
         [](const lldp_wan_config &r) {
             EXPECT_EQ(+r.ipv4_mask, 0xFF000000u);
             EXPECT_EQ(+r.dns_manual, 1);
             EXPECT_EQ(+r.ipv4_dns1, 0x08080808u);
             EXPECT_EQ(+r.ipv6_addr[15], 7);  // IPv4 only: IPv6 as read
         }},
        {"unknown source leaves the record",
         [](omci_wan_view &v) {
             v.source = 7;
             v.wan_count = 1;
         },
         [](const lldp_wan_config &r) {
             lldp_wan_config want = router_record();
             EXPECT_EQ(std::memcmp(&r, &want, sizeof r), 0);
         }},
    };
    for (const auto &c : cases) run_omci(c);
}

struct OamCase {
    const char *name;
    std::function<void(oam_wan_view &)> setup;
    std::function<void(const lldp_wan_config &)> check;
};

TEST(ConvertOamWan, Rules)
{
    const OamCase cases[] = {
        {"IPv4 entry: wan_id 0 -> 1, vlan 0 kept, vlan_mode taken, DHCP zeroes DNS",
         [](oam_wan_view &v) {
             v.source = OAM_WAN_SOURCE_IPV4;
             v.ipv4_entry.vlan_mode = 2;
             v.ipv4_entry.priority = 5;
         },
         [](const lldp_wan_config &r) {
             EXPECT_EQ(+r.wan_id, 1);
             EXPECT_EQ(+r.vlan_id, 300);
             EXPECT_EQ(+r.vlan_mode, 2);
             EXPECT_EQ(+r.priority, 5);
             EXPECT_EQ(+r.dns_manual, 0);
             EXPECT_EQ(+r.ipv4_dns1, 0u);
             EXPECT_EQ(+r.ip_protocol, 0);
             EXPECT_EQ(+r.ipv6_addr[15], 7);
         }},
        {"IPv4 static entry takes its DNS",
         [](oam_wan_view &v) {
             v.source = OAM_WAN_SOURCE_IPV4;
             v.ipv4_entry.ip_mode = 1;
             v.ipv4_entry.ipv4_mask = 16;
             v.ipv4_entry.ipv4_dns1 = 5;
         },
         [](const lldp_wan_config &r) {
             EXPECT_EQ(+r.ipv4_mask, 0xFFFF0000u);
             EXPECT_EQ(+r.dns_manual, 1);
             EXPECT_EQ(+r.ipv4_dns1, 5u);
         }},
        {"dual entry with ip_protocol 5 is IPv4 only",
         [](oam_wan_view &v) {
             v.source = OAM_WAN_SOURCE_DUAL;
             v.dual_entry.wan_id = 3;
             v.dual_entry.ip_protocol = 5;
             v.dual_entry.sixrd_enable = 1;
         },
         [](const lldp_wan_config &r) {
             EXPECT_EQ(+r.wan_id, 3);
             EXPECT_EQ(+r.ip_protocol, 0);
             EXPECT_EQ(+r.ipv6_addr[15], 7);
             EXPECT_EQ(+r.dslite_enable, 1);
             EXPECT_EQ(+r.sixrd_enable, 0);
         }},
        {"dual DHCP, protocol 2, IPv6 DNS only: IPv4 decision stands",
         [](oam_wan_view &v) {
             v.source = OAM_WAN_SOURCE_DUAL;
             v.dual_entry.ip_protocol = 2;
             v.dual_entry.ipv6_dns_set = 1;
             v.dual_entry.ipv6_dns1[15] = 1;
             v.dual_entry.sixrd_enable = 3;
         },
         [](const lldp_wan_config &r) {
             EXPECT_EQ(+r.dns_manual, 0);
             EXPECT_EQ(+r.ipv6_dns1[15], 1);
             EXPECT_EQ(+r.sixrd_enable, 1);
         }},
        {"dual DHCP, IPv6 only, IPv6 DNS: manual",
         [](oam_wan_view &v) {
             v.source = OAM_WAN_SOURCE_DUAL;
             v.dual_entry.ip_protocol = 1;
             v.dual_entry.ipv6_dns_set = 1;
             v.dual_entry.ipv6_dns1[15] = 1;
         },
         [](const lldp_wan_config &r) { EXPECT_EQ(+r.dns_manual, 1); }},
        {"dual static without IPv6 address: DNS copied, static fields cleared",
         [](oam_wan_view &v) {
             v.source = OAM_WAN_SOURCE_DUAL;
             v.dual_entry.ip_protocol = 2;
             v.dual_entry.ip_mode = 1;
             v.dual_entry.ipv6_dns2[0] = 0x20;
         },
         [](const lldp_wan_config &r) {
             EXPECT_EQ(+r.ipv6_addr[15], 0);
             EXPECT_EQ(+r.ipv6_prefix_len, 0u);
             EXPECT_EQ(+r.ipv6_dns2[0], 0x20);
         }},
        {"PPPoE password with DEL keeps the router's",
         [](oam_wan_view &v) {
             v.source = OAM_WAN_SOURCE_IPV4;
             v.ipv4_entry.ip_mode = 2;
             std::strcpy(v.ipv4_entry.ppp_username, "bad\x7f");
         },
         [](const lldp_wan_config &r) { EXPECT_EQ(str(r.ppp_username, 32), "olduser"); }},
        {"source 0 leaves the record",
         [](oam_wan_view &) {},
         [](const lldp_wan_config &r) {
             lldp_wan_config want = router_record();
             EXPECT_EQ(std::memcmp(&r, &want, sizeof r), 0);
         }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        oam_wan_view v;
        std::memset(&v, 0, sizeof v);
        c.setup(v);
        lldp_wan_config rec = router_record();
        platform_oam_mib_to_lldp_wan_config(&v, &rec);
        c.check(rec);
    }
}

TEST(ConvertText, CopyAndControlCharacters)
{
    char dst[8];
    std::memset(dst, 'z', sizeof dst);
    const char full[4] = {'a', 'b', 'c', 'd'};  // no terminator
    router_copy_omci_str(dst, sizeof dst, full, sizeof full);
    EXPECT_STREQ(dst, "abcd");
    EXPECT_EQ(dst[7], 0);

    struct {
        const char *text;
        bool taken;
    } rows[] = {{"plain", true}, {"tab\there", false}, {"cr\r", false}, {"\x01", false},
                {"del\x7f", false}, {"quote\"$(x)`\\", true}, {"utf8 \xc3\xa9", true}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.text);
        char field[16] = "keep";
        EXPECT_EQ(router_take_text(field, sizeof field, row.text, std::strlen(row.text)), row.taken ? 1 : 0);
        EXPECT_STREQ(field, row.taken ? row.text : "keep");
    }
}

// ---- comparison ----

struct DiffCase {
    const char *name;
    std::function<void(lldp_wan_config &n, lldp_wan_config &r)> edit;
    int want;
};

TEST(ConvertWanDiff, Table)
{
    const DiffCase cases[] = {
        {"identical", [](lldp_wan_config &, lldp_wan_config &) {}, 0},
        {"name, service, 6rd, vlan_mode never count",
         [](lldp_wan_config &n, lldp_wan_config &) {
             std::strcpy(n.wan_name, "other");
             n.service = 5;
             n.sixrd_enable = 1;
             n.vlan_mode = 0;
             n.qinq_enable = 1;
         },
         0},
        {"vlan", [](lldp_wan_config &n, lldp_wan_config &) { n.vlan_id = 301; }, 1},
        {"mtu 0 PPPoE equals 1492",
         [](lldp_wan_config &n, lldp_wan_config &r) {
             n.ip_mode = r.ip_mode = 2;
             n.mtu = 0;
             r.mtu = 1492;
         },
         0},
        {"mtu 0 DHCP equals 1500", [](lldp_wan_config &n, lldp_wan_config &) { n.mtu = 0; }, 0},
        {"PPPoE password", [](lldp_wan_config &n, lldp_wan_config &r) {
             n.ip_mode = r.ip_mode = 2;
             n.ppp_password[0] = 'x';
         }, 1},
        {"PPP texts ignored outside PPPoE", [](lldp_wan_config &n, lldp_wan_config &) { n.ppp_password[0] = 'x'; }, 0},
        {"IPv6-only ignores NAT and IPv4 DNS",
         [](lldp_wan_config &n, lldp_wan_config &r) {
             n.ip_protocol = r.ip_protocol = 1;
             n.nat_enable = 0;
             n.ipv4_dns1 = 99;
         },
         0},
        {"IPv4 DNS with manual", [](lldp_wan_config &n, lldp_wan_config &) { n.ipv4_dns2 = 3; }, 1},
        {"IPv4-only ignores IPv6 address",
         [](lldp_wan_config &n, lldp_wan_config &r) {
             n.ip_protocol = r.ip_protocol = 0;
             n.ipv6_addr[3] = 1;
         },
         0},
        {"no address: gateway presence counts",
         [](lldp_wan_config &n, lldp_wan_config &r) {
             std::memset(n.ipv6_addr, 0, 16);
             std::memset(r.ipv6_addr, 0, 16);
             n.ipv6_gateway[0] = 1;
         },
         1},
        {"no address: different gateways equal",
         [](lldp_wan_config &n, lldp_wan_config &r) {
             std::memset(n.ipv6_addr, 0, 16);
             std::memset(r.ipv6_addr, 0, 16);
             n.ipv6_gateway[0] = 1;
             r.ipv6_gateway[0] = 2;
         },
         0},
        {"address set in both: prefix counts", [](lldp_wan_config &n, lldp_wan_config &) { n.ipv6_prefix_len = 64; }, 1},
        {"IPv6 DNS under manual", [](lldp_wan_config &n, lldp_wan_config &) { n.ipv6_dns1[0] = 1; }, 1},
        {"DS-Lite type 0 compares 16 bytes",
         [](lldp_wan_config &n, lldp_wan_config &) { n.dslite_aftr[20] = 'q'; }, 0},
        {"DS-Lite type 1 compares 128 bytes",
         [](lldp_wan_config &n, lldp_wan_config &r) {
             n.dslite_addr_type = r.dslite_addr_type = 1;
             n.dslite_aftr[20] = 'q';
         },
         1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        lldp_wan_config n = router_record(), r = router_record();
        c.edit(n, r);
        EXPECT_EQ(platform_wan_config_status_diff(&n, &r), +c.want);
    }
    lldp_wan_config a = router_record();
    EXPECT_EQ(platform_wan_config_status_diff(&a, nullptr), 0);
}

}  // namespace
