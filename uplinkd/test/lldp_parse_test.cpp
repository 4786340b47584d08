#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "uplinkd/lldp_free.h"
#include "uplinkd/lldp_parse.h"
#include "uplinkd/test/lldp_test_util.h"

using lldp_test::Bytes;
using lldp_test::hex;

namespace {

// Chassis ID (MAC), port ID (MAC), TTL 120: the 22 bytes every LLDPDU opens with.
const std::string kMandatory = "020704020a0b0c0d0e 040703020a0b0c0d0e 06020078 ";

struct Info {
    lldp_info *p = nullptr;
    explicit Info(const Bytes &b) : p(lldp_parse_packet(b.data(), b.size())) {}
    ~Info() { lldp_free_info(p); }
};

TEST(LldpParse, RejectedLldpdus) {
    const struct {
        const char *what;
        std::string bytes;
    } cases[] = {
        {"one byte where the chassis ID header must be", "02"},
        {"chassis ID of another type", "040704020a0b0c0d0e 040703020a0b0c0d0e 06020078"},
        {"chassis ID of length 0", "0200 040703020a0b0c0d0e 06020078"},
        {"chassis ID longer than the LLDPDU", "0210 04020a0b"},
        {"port ID missing", "020704020a0b0c0d0e 06020078"},
        {"port ID before chassis ID", "040703020a0b0c0d0e 020704020a0b0c0d0e 06020078"},
        {"TTL of length 3", "020704020a0b0c0d0e 040703020a0b0c0d0e 0603007800"},
        {"TTL of length 1", "020704020a0b0c0d0e 040703020a0b0c0d0e 060178"},
        {"one byte where the TTL header must be", "020704020a0b0c0d0e 040703020a0b0c0d0e 06"},
        {"optional TLV one byte longer than what remains", kMandatory + "0a03 6162"},
        {"vendor TLV cut inside its payload", kMandatory + "fe06 5e2b9101 aa"},
    };
    for (const auto &c : cases) {
        const Bytes b = hex(c.bytes);
        Info info(b);
        EXPECT_EQ(info.p, nullptr) << c.what;
    }
    EXPECT_EQ(lldp_parse_packet(nullptr, 4), nullptr);
    const uint8_t one = 0;
    EXPECT_EQ(lldp_parse_packet(&one, 0), nullptr);
}

TEST(LldpParse, AcceptedLldpdusAndWhatTheyKeep) {
    const struct {
        const char *what;
        std::string bytes;
        const char *system_name;  // null: absent
        bool has_cap;
        int mgmt_count;
        int org_count;
    } cases[] = {
        {"mandatory TLVs only, no End", kMandatory, nullptr, false, 0, 0},
        {"mandatory TLVs and End", kMandatory + "0000", nullptr, false, 0, 0},
        {"single trailing byte after the last TLV", kMandatory + "0a03616263 ab", "abc", false, 0, 0},
        {"lone byte right after the TTL", kMandatory + "00", nullptr, false, 0, 0},
        {"capabilities of length 3 skipped", kMandatory + "0e03001400 0a026869", "hi", false, 0, 0},
        {"capabilities of length 4", kMandatory + "0e0400140014", nullptr, true, 0, 0},
        {"unknown type skipped", kMandatory + "1200 0a0161", "a", false, 0, 0},
        {"repeated chassis ID skipped", kMandatory + "020704020a0b0c0d0e 0a0161", "a", false, 0, 0},
        {"management address", kMandatory + "100c 05 01 c0a80001 02 00000007 00", nullptr, false, 1, 0},
        {"management address with a surplus byte skipped", kMandatory + "100d 05 01 c0a80001 02 00000007 00 ff 0a0161",
         "a", false, 0, 0},
        {"management address string length 0 skipped", kMandatory + "1008 00 01 02 00000007 00 00", nullptr, false, 0,
         0},
        {"management address longer than its TLV skipped", kMandatory + "1008 09 01 02 00000007 00", nullptr, false, 0,
         0},
        {"vendor TLV of length 3 skipped", kMandatory + "fe03 5e2b91", nullptr, false, 0, 0},
        {"two vendor TLVs, End, then 20 zero bytes",
         kMandatory + "fe05 5e2b9100 aa fe04 5e2b9105 0000 " + std::string(40, '0'), nullptr, false, 0, 2},
        {"second system name replaces the first", kMandatory + "0a0161 0a026263", "bc", false, 0, 0},
    };
    for (const auto &c : cases) {
        const Bytes b = hex(c.bytes);
        Info info(b);
        ASSERT_NE(info.p, nullptr) << c.what;
        if (c.system_name) {
            ASSERT_NE(info.p->system_name, nullptr) << c.what;
            EXPECT_STREQ(info.p->system_name->text, c.system_name) << c.what;
        } else {
            EXPECT_EQ(info.p->system_name, nullptr) << c.what;
        }
        EXPECT_EQ(info.p->system_cap != nullptr, c.has_cap) << c.what;
        EXPECT_EQ(info.p->mgmt_count, c.mgmt_count) << c.what;
        EXPECT_EQ(info.p->org_count, c.org_count) << c.what;
    }
}

TEST(LldpParse, DecodesEveryFieldInHostOrder) {
    const Bytes b = hex(kMandatory + "0800 0e0400140004 100e 05 01 c0a80001 02 01020304 02 2b06 fe04 5e2b9104 "
                                     "fe07 5e2b9101 a1b2c3 0000");
    Info info(b);
    ASSERT_NE(info.p, nullptr);
    const lldp_info &i = *info.p;
    EXPECT_EQ(i.chassis_id.subtype, 4);
    EXPECT_EQ(i.chassis_id.hdr.length, 7);
    EXPECT_EQ(0, std::memcmp(i.chassis_id.value, "\x02\x0a\x0b\x0c\x0d\x0e", 6));
    EXPECT_EQ(i.port_id.subtype, 3);
    EXPECT_EQ(i.ttl.seconds, 120);
    ASSERT_NE(i.port_desc, nullptr);
    EXPECT_STREQ(i.port_desc->text, "");
    ASSERT_NE(i.system_cap, nullptr);
    EXPECT_EQ(i.system_cap->caps, 0x0014);
    EXPECT_EQ(i.system_cap->enabled, 0x0004);
    ASSERT_EQ(i.mgmt_count, 1);
    const lldp_mgmt_tlv &m = *i.mgmt_addrs[0];
    EXPECT_EQ(m.addr_str_len, 5);
    EXPECT_EQ(m.addr_subtype, 1);
    EXPECT_EQ(0, std::memcmp(m.addr, "\xc0\xa8\x00\x01", 4));
    EXPECT_EQ(m.if_subtype, 2);
    EXPECT_EQ(m.if_number, 0x01020304u);
    EXPECT_EQ(m.oid_len, 2);
    EXPECT_STREQ(reinterpret_cast<const char *>(m.oid), "\x2b\x06");
    ASSERT_EQ(i.org_count, 2);
    EXPECT_EQ(i.org_tlvs[0]->subtype, 4);
    EXPECT_EQ(i.org_tlvs[0]->data, nullptr);  // length 4: no payload
    EXPECT_EQ(0, std::memcmp(i.org_tlvs[0]->oui, "\x5e\x2b\x91", 3));
    EXPECT_EQ(i.org_tlvs[1]->subtype, 1);
    EXPECT_EQ(0, std::memcmp(i.org_tlvs[1]->data, "\xa1\xb2\xc3", 3));
}

TEST(LldpParse, EthernetHeader) {
    Bytes frame = hex("0180c200000e 020a0b0c0d0e 88cc") ;
    const Bytes pdu = hex(kMandatory);
    frame.insert(frame.end(), pdu.begin(), pdu.end());
    const uint8_t *out = nullptr;
    size_t n = 0;
    ASSERT_EQ(lldp_parse_eth_lldpdu(frame.data(), frame.size(), &out, &n), 0);
    EXPECT_EQ(out, frame.data() + 14);
    EXPECT_EQ(n, pdu.size());
    EXPECT_EQ(lldp_parse_eth_lldpdu(frame.data(), 14, &out, &n), 0);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(lldp_parse_eth_lldpdu(frame.data(), 13, &out, &n), -1);
    frame[13] = 0xcd;
    EXPECT_EQ(lldp_parse_eth_lldpdu(frame.data(), frame.size(), &out, &n), -1);
    EXPECT_EQ(lldp_parse_eth_lldpdu(nullptr, 20, &out, &n), -1);
}

TEST(LldpParse, TlvHeader) {
    const struct {
        const char *bytes;
        int type, length;
    } cases[] = {{"fe05", 127, 5}, {"ffff", 127, 511}, {"0000", 0, 0}, {"0207", 1, 7}, {"0180", 0, 384}};
    for (const auto &c : cases) {
        const Bytes b = hex(c.bytes);
        const uint8_t *cur = b.data();
        lldp_tlv_hdr h{};
        ASSERT_EQ(lldp_parse_tlv_header(&cur, &h), 0);
        EXPECT_EQ(h.type, c.type) << c.bytes;
        EXPECT_EQ(h.length, c.length) << c.bytes;
        EXPECT_EQ(cur, b.data() + 2);
    }
    lldp_tlv_hdr h{};
    EXPECT_EQ(lldp_parse_tlv_header(nullptr, &h), -1);
}

// Every prefix of a full LLDPDU: a cut inside a TLV rejects it, a cut at a
// TLV boundary (or one byte after it) keeps everything before the cut.
TEST(LldpParse, TruncatedAtEveryByte) {
    const std::string body = kMandatory +
                             "0804 65746830 0a06 525438313130 0e0400140014 100e 07 06 020a0b0c0d0e 01 00000005 00 "
                             "fe06 5e2b9101 aabb fe04 5e2b9105 fe05 5e2b9106 cc 0000";
    const Bytes b = hex(body);
    std::vector<size_t> boundaries;  // end offsets of the optional TLVs, with their vendor TLV count
    std::vector<int> orgs_before;
    size_t pos = 22;
    int orgs = 0;
    boundaries.push_back(pos);
    orgs_before.push_back(0);
    while (pos < b.size()) {
        const size_t len = ((b[pos] & 1u) << 8) | b[pos + 1];
        if ((b[pos] >> 1) == 127) ++orgs;
        pos += 2 + len;
        boundaries.push_back(pos);
        orgs_before.push_back(orgs);
    }
    ASSERT_EQ(pos, b.size());

    for (size_t cut = 0; cut <= b.size(); ++cut) {
        Info info(Bytes(b.begin(), b.begin() + static_cast<long>(cut)));
        int expect_orgs = -1;  // -1: rejected
        for (size_t k = 0; k < boundaries.size(); ++k)
            if (cut == boundaries[k] || cut == boundaries[k] + 1) expect_orgs = orgs_before[k];
        if (expect_orgs < 0) {
            EXPECT_EQ(info.p, nullptr) << "cut at " << cut;
        } else {
            ASSERT_NE(info.p, nullptr) << "cut at " << cut;
            EXPECT_EQ(info.p->org_count, expect_orgs) << "cut at " << cut;
        }
    }
}

// Allocator that fails exactly one call.
int g_alloc_calls = 0;
int g_fail_at = -1;
void *failing_calloc(size_t n, size_t size) {
    return g_alloc_calls++ == g_fail_at ? nullptr : std::calloc(n, size);
}

int optional_parts(const lldp_info &i) {
    return (i.port_desc != nullptr) + (i.system_name != nullptr) + (i.system_desc != nullptr) +
           (i.system_cap != nullptr) + i.mgmt_count + i.org_count;
}

// Memory exhaustion on an optional TLV skips exactly that TLV; on the
// record or a mandatory TLV the LLDPDU is rejected. ASan checks that
// nothing leaks on either path.
TEST(LldpParse, MemoryExhaustionSkipsTheOptionalTlv) {
    const Bytes b = hex(kMandatory +
                        "0804 65746830 0a06 525438313130 0c02 6869 0e0400140014 100f 07 06 020a0b0c0d0e 01 "
                        "00000005 01 2b fe06 5e2b9101 aabb fe04 5e2b9105 fe05 5e2b9106 cc 0000");
    lldp_parse_set_allocator(failing_calloc);
    g_alloc_calls = 0;
    g_fail_at = -1;
    int full_parts = 0;
    {
        Info info(b);
        ASSERT_NE(info.p, nullptr);
        full_parts = optional_parts(*info.p);
    }
    const int total_calls = g_alloc_calls;
    ASSERT_EQ(full_parts, 8);

    for (int n = 0; n < total_calls; ++n) {
        g_alloc_calls = 0;
        g_fail_at = n;
        Info info(b);
        if (n < 3) {  // the record, the chassis ID and the port ID
            EXPECT_EQ(info.p, nullptr) << "failing allocation " << n;
        } else {
            ASSERT_NE(info.p, nullptr) << "failing allocation " << n;
            EXPECT_EQ(optional_parts(*info.p), full_parts - 1) << "failing allocation " << n;
        }
    }
    lldp_parse_set_allocator(nullptr);
}

}  // namespace
