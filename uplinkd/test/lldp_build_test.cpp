#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "uplinkd/lldp_build.h"
#include "uplinkd/test/fake_device.h"
#include "uplinkd/test/lldp_test_util.h"

using lldp_test::Bytes;
using lldp_test::hex;

namespace {

Bytes build(const char *port, const std::vector<lldp_org_entry> &orgs, size_t cap = LLDP_FRAME_MAX, int *rc = nullptr) {
    Bytes out(cap + 1, 0xEE);
    size_t len = 99;
    const int r = lldp_build_frame_by_ifname(port, orgs.data(), static_cast<uint8_t>(orgs.size()), out.data(), cap, &len);
    if (rc) *rc = r;
    out.resize(len);
    return out;
}

// The fake gives "eth0" the MAC 02:00:00:00:00:30 and index 0x3a.
const char *kEth0Frame =
    "0180c200000e 020000000030 88cc"
    "0207 04 020000000030"
    "0407 03 020000000030"
    "0602 0078"
    "0804 65746830"
    "0a06 525438313130"
    "0c23 5468652064657669636520697320726f7574657220525438313130204f70656e577274"
    "0e04 0014 0014"
    "100e 07 06 020000000030 01 0000003a 00"
    "0000";

TEST(LldpBuild, FrameForAPortWithoutVendorTlvs) {
    const Bytes f = build("eth0", {});
    EXPECT_EQ(f.size(), 111u);
    EXPECT_EQ(f, hex(kEth0Frame));
}

TEST(LldpBuild, VendorTlvs) {
    const Bytes payload(507, 0x5A);
    lldp_org_entry e[3];
    ASSERT_EQ(lldp_build_prepare_org(4, nullptr, 0, &e[0]), 0);
    ASSERT_EQ(lldp_build_prepare_org(1, payload.data(), 2, &e[1]), 0);
    ASSERT_EQ(lldp_build_prepare_org(0x106, payload.data(), 507, &e[2]), 0);  // only the low byte is written
    const Bytes f = build("eth0", {e[0], e[1], e[2]});
    ASSERT_EQ(f.size(), 111u + 6 + 8 + 513);
    const Bytes base = hex(kEth0Frame);
    const Bytes head(f.begin(), f.begin() + 109);
    EXPECT_EQ(head, Bytes(base.begin(), base.begin() + 109));
    EXPECT_EQ(Bytes(f.begin() + 109, f.begin() + 123), hex("fe04 5e2b9104 fe06 5e2b9101 5a5a"));
    EXPECT_EQ(Bytes(f.begin() + 123, f.begin() + 129), hex("ffff 5e2b9106"));
    EXPECT_EQ(Bytes(f.end() - 2, f.end()), hex("0000"));

    // Round trip through the parser.
    const auto tlvs = lldp_test::vendor_tlvs(f);
    ASSERT_EQ(tlvs.size(), 3u);
    EXPECT_EQ(lldp_test::subtypes(tlvs), (std::vector<int>{4, 1, 6}));
    EXPECT_EQ(tlvs[2].payload, payload);
}

TEST(LldpBuild, PrepareOrgLimits) {
    const uint8_t data[508] = {};
    lldp_org_entry e{};
    EXPECT_EQ(lldp_build_prepare_org(1, data, 507, &e), 0);
    EXPECT_EQ(lldp_build_prepare_org(1, data, 508, &e), -1);
    EXPECT_EQ(lldp_build_prepare_org(1, nullptr, 1, &e), -1);
    EXPECT_EQ(lldp_build_prepare_org(1, data, 1, nullptr), -1);
}

TEST(LldpBuild, OutputBufferExactAndOneByteShort) {
    int rc = 0;
    EXPECT_EQ(build("eth0", {}, 111, &rc).size(), 111u);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(build("eth0", {}, 110, &rc).size(), 0u);
    EXPECT_EQ(rc, -1);
}

TEST(LldpBuild, PortChoice) {
    int rc = 0;
    const Bytes lan = build("", {}, LLDP_FRAME_MAX, &rc);
    ASSERT_EQ(rc, 0);
    // "br-lan": MAC ends in 'n', port description "br-lan".
    EXPECT_EQ(Bytes(lan.begin() + 6, lan.begin() + 12), hex("02000000006e"));
    EXPECT_EQ(Bytes(lan.begin() + 36, lan.begin() + 44), hex("0806 62722d6c616e"));
    EXPECT_EQ(build(nullptr, {}, LLDP_FRAME_MAX, &rc).size(), lan.size());
    EXPECT_TRUE(build("missing0", {}, LLDP_FRAME_MAX, &rc).empty());
    EXPECT_EQ(rc, -1);
}

TEST(LldpBuild, OmittedParts) {
    const uint8_t mac[6] = {2, 0, 0, 0, 0, 1};
    const std::string long_text(512, 'x');
    lldp_org_entry bad{1, nullptr, 3};
    lldp_frame_desc d{};
    d.chassis_mac = mac;
    d.port_mac = mac;
    d.ttl = 120;
    d.port_desc = "";               // empty: left out
    d.system_name = long_text.c_str();  // 512 characters: left out
    d.system_desc = nullptr;
    d.mgmt_addr = mac;
    d.mgmt_addr_len = 0;  // no address: left out
    d.orgs = &bad;        // payload missing: left out
    d.org_count = 1;
    uint8_t buf[200];
    lldp_packer p{};
    lldp_build_packer_init(&p, buf, sizeof(buf));
    ASSERT_EQ(lldp_build_frame(&p, &d), 0);
    EXPECT_EQ(p.used, 14u + 9 + 9 + 4 + 6 + 2);

    d.chassis_mac = nullptr;
    lldp_build_packer_init(&p, buf, sizeof(buf));
    EXPECT_EQ(lldp_build_frame(&p, &d), -1);
}

TEST(LldpBuild, PackerErrorIsSticky) {
    uint8_t buf[4];
    lldp_packer p{};
    lldp_build_packer_init(&p, buf, sizeof(buf));
    lldp_build_write(&p, "abc", 3);
    lldp_build_write(&p, "de", 2);
    EXPECT_EQ(p.error, -1);
    lldp_build_write(&p, "f", 1);  // would fit, but the error stays
    EXPECT_EQ(p.used, 3u);
    EXPECT_EQ(p.error, -1);
}

}  // namespace
