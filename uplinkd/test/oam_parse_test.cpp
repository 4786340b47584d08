#include "uplinkd/oam_parse.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "uplinkd/test/oam_test_util.h"

using namespace oamtest;

namespace {

Bytes value_of(const oam_msg &m) { return m.data ? Bytes(m.data.get(), m.data.get() + m.data_len) : Bytes{}; }

TEST(OamParsePayload, ResultCodes)
{
    const Bytes bomb = deflate(Bytes(1 << 20, 0));  // 1 MiB of zeros in about 1 KiB
    Bytes corrupt = deflate(Bytes{1, 2, 3, 4, 5, 6, 7, 8});
    corrupt[corrupt.size() / 2] ^= 0xFF;
    corrupt.back() ^= 0xFF;

    struct Case {
        const char *name;
        Bytes payload;
        int rc;
    } cases[] = {
        {"three bytes", {0x11, 0x22, 0x33}, -1},
        {"instance width 2", {0x11, 0x22, 0x33, 3, 0x37, 0, 1, 2, 0, 0, 0, 1}, -3},
        {"header only", header(), -4},
        {"three bytes after header", {0x11, 0x22, 0x33, 3, 0xC7, 0x20, 0x29}, -4},
        {"only container runs past end", [] {
             Bytes b = header();
             container(b, 0xC7, 0x2029, 5, {1, 2, 3, 4});
             return b;
         }(), -4},
        {"width 0 with 100 bytes", [] {
             Bytes b = header();
             container(b, 0xC7, 0x2029, 0, Bytes(100, 9));
             return b;
         }(), -4},
        {"corrupt stream", [&] {
             Bytes b = header();
             object(b, 0xC7, 0x22FF, corrupt);
             return b;
         }(), -5},
        {"empty compressed value", [] {
             Bytes b = header();
             container(b, 0xC7, 0x22FF, 0x80);
             return b;
         }(), -5},
        {"inflates past the limit", [&] {
             Bytes b = header();
             object(b, 0xC7, 0x22FF, bomb);
             return b;
         }(), -5},
        {"inflated bytes hold no container", [] {
             Bytes b = header();
             object(b, 0xC7, 0x22FF, deflate(Bytes{0xC7, 0x20}));
             return b;
         }(), -6},
        {"one container", set_request(0x2029, {1, 2, 3}), 0},
        {"compressed", set_request(0x2029, {1, 2, 3}, true, 7, true), 0},
    };
    for (const auto &c : cases) {
        oam_msg m;
        EXPECT_EQ(oam_parse_payload(c.payload.data(), c.payload.size(), &m), c.rc) << c.name;
        if (c.rc != 0) {
            EXPECT_FALSE(m.data) << c.name;
        }
    }
    oam_msg m;
    EXPECT_EQ(oam_parse_payload(nullptr, 10, &m), -1);
    EXPECT_EQ(oam_parse_payload(header().data(), 4, nullptr), -1);
}

TEST(OamParsePayload, ObjectInstanceIsOptional)
{
    // With the descriptor the containers start at byte 12.
    Bytes with = set_request(0x2202, {0xAB}, true, 0x01020304);
    with[5] = 0xBE;  // object type high byte
    oam_msg m;
    ASSERT_EQ(oam_parse_payload(with.data(), with.size(), &m), 0);
    EXPECT_EQ(m.has_instance, 1);
    EXPECT_EQ(m.instance_branch, 0x37);
    EXPECT_EQ(m.instance_type, 0xBE01);
    EXPECT_EQ(m.instance_value, 0x01020304u);
    EXPECT_EQ(m.opcode, 3);
    EXPECT_EQ(m.oui[0], 0x11);
    EXPECT_EQ(m.oui[2], 0x33);
    EXPECT_EQ(m.leaf, 0x2202);
    EXPECT_EQ(value_of(m), Bytes{0xAB});

    // Without it byte 4 starts a container, even one whose branch could be
    // mistaken for the descriptor when the payload is too short to hold one.
    Bytes without = header();
    container(without, 0x37, 0x2032, 2, {5, 6});
    ASSERT_EQ(without.size(), 10u);
    ASSERT_EQ(oam_parse_payload(without.data(), without.size(), &m), 0);
    EXPECT_EQ(m.has_instance, 0);
    EXPECT_EQ(m.branch, 0x37);
    EXPECT_EQ(m.leaf, 0x2032);
    EXPECT_EQ(value_of(m), (Bytes{5, 6}));
}

TEST(OamParseDataTlv, WidthsAndConsumedBytes)
{
    struct Case {
        uint8_t width;
        std::size_t value_bytes;  // bytes present after the container head
        int consumed;
        uint32_t data_len;
    } cases[] = {
        {1, 1, 5, 1},      {127, 127, 131, 127}, {0, 128, 132, 128},
        {0x80, 0, 4, 0},   {0x86, 0, 4, 0},      {0xFF, 0, 4, 0},
        {0, 100, 0, 0},    {2, 1, 0, 0},
    };
    for (const auto &c : cases) {
        Bytes b;
        container(b, 0xC7, 0x2201, c.width, pattern(c.value_bytes));
        oam_msg m{};
        EXPECT_EQ(oam_parse_data_tlv(b.data(), b.size(), &m), c.consumed) << int(c.width);
        EXPECT_EQ(m.data_len, c.data_len) << int(c.width);
        EXPECT_EQ(value_of(m), Bytes(b.begin() + 4, b.begin() + 4 + c.data_len)) << int(c.width);
    }
    oam_msg m{};
    EXPECT_EQ(oam_parse_data_tlv(Bytes{1, 2, 3}.data(), 3, &m), 0);
    EXPECT_EQ(oam_parse_data_tlv(nullptr, 0, &m), 0);
    EXPECT_EQ(oam_parse_data_tlv(Bytes{1, 2, 3, 4}.data(), 4, nullptr), -1);
}

TEST(OamParseDataTlv, ConcatenatesValuesAndKeepsFirstValueBranchLeaf)
{
    Bytes b;
    container(b, 0x01, 0x0101, 0x86);         // marker: branch/leaf taken, then replaced
    container(b, 0xC7, 0x2029, 3, {1, 2, 3}); // first value: fixes branch/leaf
    container(b, 0xAA, 0x9999, 0x80);         // no longer changes them
    container(b, 0xBB, 0x8888, 2, {4, 5});
    const std::size_t whole = b.size();
    container(b, 0xC7, 0x2029, 9, {6, 7});    // runs past the end: dropped
    oam_msg m{};
    EXPECT_EQ(oam_parse_data_tlv(b.data(), b.size(), &m), static_cast<int>(whole));
    EXPECT_EQ(m.branch, 0xC7);
    EXPECT_EQ(m.leaf, 0x2029);
    EXPECT_EQ(value_of(m), (Bytes{1, 2, 3, 4, 5}));

    // Only markers: the last one names the (empty) object.
    Bytes markers;
    container(markers, 0x01, 0x0101, 0x80);
    container(markers, 0x02, 0x0202, 0x90);
    EXPECT_EQ(oam_parse_data_tlv(markers.data(), markers.size(), &m), 8);
    EXPECT_EQ(m.leaf, 0x0202);
    EXPECT_FALSE(m.data);
}

TEST(OamParsePayload, CompressedObjectTakesInnerIdentityAndValue)
{
    const Bytes value = pattern(700, 3);
    Bytes p = set_request(0x2032, value, true, 42, true, 0xC7);
    oam_msg m;
    ASSERT_EQ(oam_parse_payload(p.data(), p.size(), &m), 0);
    EXPECT_EQ(m.branch, 0xC7);
    EXPECT_EQ(m.leaf, 0x2032);
    EXPECT_EQ(m.instance_value, 42u);
    EXPECT_EQ(value_of(m), value);

    // The inflated size may reach the limit exactly, but not pass it:
    // 77 full containers (132 bytes each) and one of 72 make 10240 bytes.
    for (std::size_t extra : {std::size_t{0}, std::size_t{1}}) {
        Bytes inner;
        object(inner, 0xC7, 0x2032, pattern(77 * 128 + 72 + extra));
        ASSERT_EQ(inner.size(), OAM_INFLATE_MAX + extra);
        Bytes q = header();
        object(q, 0xC7, 0x22FF, deflate(inner));
        EXPECT_EQ(oam_parse_payload(q.data(), q.size(), &m), extra ? -5 : 0) << extra;
        EXPECT_EQ(m.data_len, extra ? 0u : 77u * 128 + 72) << extra;
    }
}

uint32_t be(const Bytes &v, std::size_t off, int width)
{
    uint32_t x = 0;
    for (int i = 0; i < width; ++i) x = x << 8 | v[off + i];
    return x;
}

uint32_t host(const oam_msg &m, std::size_t off, int width)
{
    if (width == 2) {
        uint16_t x;
        std::memcpy(&x, m.data.get() + off, 2);
        return x;
    }
    uint32_t x;
    std::memcpy(&x, m.data.get() + off, 4);
    return x;
}

struct Num {
    std::size_t off;
    int width;
};

// Every byte outside `nums` stays as sent; every number inside reads as sent in network order.
void expect_converted(const oam_msg &m, const Bytes &sent, const std::vector<Num> &nums, const std::string &what)
{
    std::vector<bool> in_num(sent.size());
    for (const Num &n : nums) {
        EXPECT_EQ(host(m, n.off, n.width), be(sent, n.off, n.width)) << what << " at " << n.off;
        for (int i = 0; i < n.width; ++i) in_num[n.off + i] = true;
    }
    for (std::size_t i = 0; i < sent.size(); ++i)
        if (!in_num[i]) {
            ASSERT_EQ(m.data[i], sent[i]) << what << " byte " << i;
        }
}

TEST(OamParsePayload, KnownObjectsConvertOnlyAboveTheirThreshold)
{
    const std::vector<Num> radio = {{1, 2}, {3, 2}, {5, 2}, {7, 2}, {9, 2}};
    struct Case {
        uint16_t leaf;
        std::size_t longer_than;
        std::vector<Num> nums;
    } cases[] = {
        {0x2029, 262, {{259, 4}}},
        {0x202A, 290, {{129, 2}}},
        {0x2201, 24, radio},
        {0x2208, 40, radio},
        {0x2202, 666, {{34, 2}, {36, 2}, {102, 4}, {106, 4}, {110, 4}, {369, 4}, {373, 2}, {407, 2}, {409, 2}}},
        {0x2032, 0, {}},  // MQTT carries no numbers to convert
    };
    for (const auto &c : cases) {
        for (std::size_t len : {c.longer_than, c.longer_than + 1, c.longer_than + 50}) {
            if (len == 0) continue;
            const Bytes value = pattern(len);
            Bytes p = set_request(c.leaf, value);
            oam_msg m;
            ASSERT_EQ(oam_parse_payload(p.data(), p.size(), &m), 0);
            const std::string what = std::to_string(c.leaf) + "/" + std::to_string(len);
            expect_converted(m, value, len > c.longer_than ? c.nums : std::vector<Num>{}, what);
        }
    }
}

std::vector<Num> entry_nums(uint16_t leaf, std::size_t count)
{
    const std::vector<Num> v4 = {{0, 2},   {4, 2},   {6, 2},   {8, 2},   {10, 2},  {13, 2},  {15, 4},
                                 {19, 4},  {23, 4},  {27, 4},  {31, 4},  {132, 2}, {135, 2}, {138, 2},
                                 {140, 2}, {143, 2}, {145, 2}, {147, 2}, {213, 2}, {222, 2}};
    const std::vector<Num> v46 = {{0, 2},   {4, 2},   {6, 2},   {8, 2},   {10, 2},  {12, 2},  {15, 2},
                                  {17, 4},  {21, 4},  {25, 4},  {30, 4},  {34, 4},  {54, 4},  {204, 2},
                                  {341, 4}, {345, 4}, {365, 4}, {370, 2}, {373, 2}, {375, 2}, {378, 2},
                                  {380, 2}, {382, 2}, {448, 2}, {457, 2}};
    const std::vector<Num> &one = leaf == 0x2203 ? v4 : v46;
    const std::size_t size = leaf == 0x2203 ? 231 : 488;
    std::vector<Num> all;
    for (std::size_t e = 0; e < count; ++e)
        for (const Num &n : one) all.push_back({2 + e * size + n.off, n.width});
    return all;
}

TEST(OamParsePayload, WanListCountIsClampedToWhatTheValueHolds)
{
    struct Case {
        uint16_t leaf;
        std::size_t len;
        uint16_t announced;
        uint16_t kept;  // entries converted and the count stored in host order
    } cases[] = {
        {0x2203, 500, 5, 2},            // 498 bytes after the count hold two entries
        {0x2203, 500, 1, 1},
        {0x2203, 233, 0, 0},
        {0x2203, 233, 0xFFFF, 1},
        {0x2203, 2 + 9 * 231, 9, 8},    // never more than 8
        {0x2209, 490, 3, 1},
        {0x2209, 2 + 3 * 488 + 487, 4, 3},
    };
    for (const auto &c : cases) {
        Bytes value = pattern(c.len);
        value[0] = static_cast<uint8_t>(c.announced >> 8);
        value[1] = static_cast<uint8_t>(c.announced);
        Bytes p = set_request(c.leaf, value);
        oam_msg m;
        ASSERT_EQ(oam_parse_payload(p.data(), p.size(), &m), 0);
        EXPECT_EQ(host(m, 0, 2), c.kept) << c.leaf << "/" << c.len;
        // Apart from the count, exactly the fields of the kept entries are converted.
        Bytes expected = value;
        expected[0] = static_cast<uint8_t>(c.kept >> 8);
        expected[1] = static_cast<uint8_t>(c.kept);
        std::vector<Num> nums = entry_nums(c.leaf, c.kept);
        nums.push_back({0, 2});
        expect_converted(m, expected, nums, std::to_string(c.leaf) + "/" + std::to_string(c.len));
    }

    // At the threshold the list is left exactly as sent, count included.
    for (auto [leaf, len] : {std::pair<uint16_t, std::size_t>{0x2203, 232}, {0x2209, 489}}) {
        Bytes value = pattern(len);
        Bytes p = set_request(leaf, value);
        oam_msg m;
        ASSERT_EQ(oam_parse_payload(p.data(), p.size(), &m), 0);
        EXPECT_EQ(value_of(m), value) << leaf;
    }
}

TEST(OamParsePayload, ConvertsAnInflatedKnownObject)
{
    Bytes value(423, 0);
    value[259] = 0x00;
    value[260] = 0x00;
    value[261] = 0x0E;
    value[262] = 0x10;
    Bytes p = set_request(0x2029, value, false, 0, true);
    oam_msg m;
    ASSERT_EQ(oam_parse_payload(p.data(), p.size(), &m), 0);
    EXPECT_EQ(host(m, 259, 4), 3600u);
}

// Fails every allocation after the first `budget` ones.
int g_alloc_budget = 0;
void *budget_alloc(std::size_t n) { return g_alloc_budget-- > 0 ? std::malloc(n) : nullptr; }

TEST(OamParseDataTlv, OutOfMemoryLeavesNoValue)
{
    Bytes b;
    container(b, 0xC7, 0x2029, 3, {1, 2, 3});
    g_alloc_budget = 0;
    oam_set_allocator(budget_alloc);
    oam_msg m{};
    EXPECT_EQ(oam_parse_data_tlv(b.data(), b.size(), &m), -1);
    EXPECT_FALSE(m.data);
    EXPECT_EQ(m.data_len, 0u);
    Bytes p = set_request(0x2029, {1, 2, 3});
    EXPECT_EQ(oam_parse_payload(p.data(), p.size(), &m), -1);
    oam_set_allocator(nullptr);
}

}  // namespace
