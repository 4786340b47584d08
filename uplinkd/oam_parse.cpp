#include "uplinkd/oam_parse.h"

#include <zlib.h>

#include <climits>
#include <cstring>

#include "uplinkd/lldp_parse.h"
#include "uplinkd/oam_mib_build.h"

namespace {

oam_alloc_fn g_alloc = nullptr;

struct Container {
    uint8_t branch;
    uint16_t leaf;
    const uint8_t *value;
    std::size_t value_len;
};

// Reads the next whole container; false at the end, when fewer than 4 bytes
// remain, or when its value would run past the end (then nothing is consumed).
bool next_container(lldp_reader &r, Container &c)
{
    lldp_reader probe = r;
    uint8_t width = 0;
    if (probe.left < 4) return false;
    probe.u8(c.branch);
    probe.u16be(c.leaf);
    probe.u8(width);
    // 1-127: that many bytes; 0: a full 128; 0x80 and up: a marker without value.
    c.value_len = width == 0 ? 128 : (width < 0x80 ? width : 0);
    if (!probe.take(c.value_len, c.value)) return false;
    r = probe;
    return true;
}

uint16_t load_be16(const uint8_t *p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

uint32_t load_be32(const uint8_t *p)
{
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | p[3];
}

// A number of an object value, rewritten from network to host order.
struct NumField {
    uint16_t offset;
    uint8_t width;
};

#define OAM_NUM(type, field) NumField{offsetof(type, field), sizeof(type::field)}

void to_host(uint8_t *value, NumField f)
{
    uint8_t *p = value + f.offset;
    if (f.width == 2) {
        uint16_t v = load_be16(p);
        std::memcpy(p, &v, 2);
    } else {
        uint32_t v = load_be32(p);
        std::memcpy(p, &v, 4);
    }
}

constexpr NumField kTr069Nums[] = {OAM_NUM(oam_tr069_view, inform_interval)};
constexpr NumField kStunNums[] = {OAM_NUM(oam_stun_view, server_port)};
constexpr NumField kRadioNums[] = {
    OAM_NUM(oam_radio_object, country), OAM_NUM(oam_radio_object, channel),
    OAM_NUM(oam_radio_object, mode),    OAM_NUM(oam_radio_object, tx_power),
    OAM_NUM(oam_radio_object, chan_width),
};
constexpr NumField kSsidNums[] = {
    OAM_NUM(oam_ssid_object, auth_mode),   OAM_NUM(oam_ssid_object, encryption),
    OAM_NUM(oam_ssid_object, rekey_interval), OAM_NUM(oam_ssid_object, unused_num1),
    OAM_NUM(oam_ssid_object, unused_num2), OAM_NUM(oam_ssid_object, unused_num3),
    OAM_NUM(oam_ssid_object, unused_num4), OAM_NUM(oam_ssid_object, wep_level),
    OAM_NUM(oam_ssid_object, wep_key_index),
};
constexpr NumField kWanV4Nums[] = {
    OAM_NUM(oam_wan_v4_entry, wan_id),          OAM_NUM(oam_wan_v4_entry, service),
    OAM_NUM(oam_wan_v4_entry, wan_mode),        OAM_NUM(oam_wan_v4_entry, vlan_id),
    OAM_NUM(oam_wan_v4_entry, priority),        OAM_NUM(oam_wan_v4_entry, ip_mode),
    OAM_NUM(oam_wan_v4_entry, ipv4_addr),       OAM_NUM(oam_wan_v4_entry, ipv4_mask),
    OAM_NUM(oam_wan_v4_entry, ipv4_gateway),    OAM_NUM(oam_wan_v4_entry, ipv4_dns1),
    OAM_NUM(oam_wan_v4_entry, ipv4_dns2),       OAM_NUM(oam_wan_v4_entry, pppoe_dial_pattern),
    OAM_NUM(oam_wan_v4_entry, vlan_mode),       OAM_NUM(oam_wan_v4_entry, translation_vlan),
    OAM_NUM(oam_wan_v4_entry, translation_cos), OAM_NUM(oam_wan_v4_entry, tpid),
    OAM_NUM(oam_wan_v4_entry, svlan),           OAM_NUM(oam_wan_v4_entry, svlan_cos),
    OAM_NUM(oam_wan_v4_entry, conn_status),     OAM_NUM(oam_wan_v4_entry, mtu),
};
constexpr NumField kWanV46Nums[] = {
    OAM_NUM(oam_wan_v46_entry, wan_id),          OAM_NUM(oam_wan_v46_entry, service),
    OAM_NUM(oam_wan_v46_entry, wan_mode),        OAM_NUM(oam_wan_v46_entry, vlan_id),
    OAM_NUM(oam_wan_v46_entry, priority),        OAM_NUM(oam_wan_v46_entry, ip_protocol),
    OAM_NUM(oam_wan_v46_entry, ip_mode),         OAM_NUM(oam_wan_v46_entry, ipv4_addr),
    OAM_NUM(oam_wan_v46_entry, ipv4_mask),       OAM_NUM(oam_wan_v46_entry, ipv4_gateway),
    OAM_NUM(oam_wan_v46_entry, ipv4_dns1),       OAM_NUM(oam_wan_v46_entry, ipv4_dns2),
    OAM_NUM(oam_wan_v46_entry, ipv6_prefix_len), OAM_NUM(oam_wan_v46_entry, pppoe_dial_pattern),
    OAM_NUM(oam_wan_v46_entry, sixrd_relay_addr), OAM_NUM(oam_wan_v46_entry, sixrd_ipv4_mask),
    OAM_NUM(oam_wan_v46_entry, sixrd_prefix_len), OAM_NUM(oam_wan_v46_entry, vlan_mode),
    OAM_NUM(oam_wan_v46_entry, translation_vlan), OAM_NUM(oam_wan_v46_entry, translation_cos),
    OAM_NUM(oam_wan_v46_entry, tpid),            OAM_NUM(oam_wan_v46_entry, svlan),
    OAM_NUM(oam_wan_v46_entry, svlan_cos),       OAM_NUM(oam_wan_v46_entry, conn_status),
    OAM_NUM(oam_wan_v46_entry, mtu),
};

#undef OAM_NUM

struct KnownObject {
    uint16_t leaf;
    uint32_t converted_above;  // values of this length or shorter stay as received
    const NumField *nums;
    std::size_t num_count;
    std::size_t entry_size;  // non-zero: a WAN list of entries of this size
};

template <std::size_t N>
constexpr KnownObject object(uint16_t leaf, uint32_t above, const NumField (&nums)[N], std::size_t entry = 0)
{
    return {leaf, above, nums, N, entry};
}

constexpr KnownObject kKnownObjects[] = {
    object(OAM_LEAF_TR069, 262, kTr069Nums),
    object(OAM_LEAF_STUN, 290, kStunNums),
    object(OAM_LEAF_RADIO24, 24, kRadioNums),
    object(OAM_LEAF_RADIO5, 40, kRadioNums),
    object(OAM_LEAF_SSID, 666, kSsidNums),
    object(OAM_LEAF_WAN_V4_LIST, OAM_WAN_LIST_HEADER + sizeof(oam_wan_v4_entry) - 1, kWanV4Nums,
           sizeof(oam_wan_v4_entry)),
    object(OAM_LEAF_WAN_V46_LIST, OAM_WAN_LIST_HEADER + sizeof(oam_wan_v46_entry) - 1, kWanV46Nums,
           sizeof(oam_wan_v46_entry)),
};

// Every converted number must lie inside the value the threshold admits.
constexpr bool nums_fit(const KnownObject &o)
{
    std::size_t room = o.entry_size ? o.entry_size : o.converted_above + 1;
    for (std::size_t i = 0; i < o.num_count; ++i)
        if (o.nums[i].offset + o.nums[i].width > room) return false;
    return true;
}
static_assert(nums_fit(kKnownObjects[0]) && nums_fit(kKnownObjects[1]) && nums_fit(kKnownObjects[2]) &&
              nums_fit(kKnownObjects[3]) && nums_fit(kKnownObjects[4]) && nums_fit(kKnownObjects[5]) &&
              nums_fit(kKnownObjects[6]));

}  // namespace

void oam_set_allocator(oam_alloc_fn fn) { g_alloc = fn; }

void *oam_alloc(std::size_t size) { return g_alloc ? g_alloc(size) : std::malloc(size); }

int oam_parse_data_tlv(const uint8_t *bytes, std::size_t len, oam_msg *msg)
{
    if (msg == nullptr) return -1;
    msg->data.reset();
    msg->data_len = 0;
    if (bytes == nullptr) return 0;
    // A delivery is at most 1600 bytes and an inflated object 10240; the cap
    // only keeps the consumed count representable in the result.
    if (len > INT_MAX) len = INT_MAX;

    // First pass: the extent of the decodable containers and the value size,
    // so the value is allocated once.
    lldp_reader r{bytes, len};
    Container c{};
    std::size_t value_len = 0;
    bool have_value = false;
    while (next_container(r, c)) {
        if (!have_value) {
            msg->branch = c.branch;
            msg->leaf = c.leaf;
            have_value = c.value_len > 0;
        }
        value_len += c.value_len;
    }
    const std::size_t consumed = len - r.left;
    if (value_len == 0) return static_cast<int>(consumed);

    auto *value = static_cast<uint8_t *>(oam_alloc(value_len));
    if (value == nullptr) return -1;
    oam_value owned(value);
    lldp_reader again{bytes, consumed};
    std::size_t at = 0;
    while (next_container(again, c)) {
        if (c.value_len == 0) continue;
        std::memcpy(value + at, c.value, c.value_len);
        at += c.value_len;
    }
    msg->data = std::move(owned);
    msg->data_len = static_cast<uint32_t>(value_len);
    return static_cast<int>(consumed);
}

void oam_convert_known_object(oam_msg *msg)
{
    if (msg == nullptr || !msg->data) return;
    for (const KnownObject &o : kKnownObjects) {
        if (o.leaf != msg->leaf) continue;
        if (msg->data_len <= o.converted_above) return;
        uint8_t *value = msg->data.get();
        if (o.entry_size == 0) {
            for (std::size_t i = 0; i < o.num_count; ++i) to_host(value, o.nums[i]);
            return;
        }
        // The count is trusted only as far as the value really holds entries.
        std::size_t whole = (msg->data_len - OAM_WAN_LIST_HEADER) / o.entry_size;
        std::size_t count = load_be16(value);
        if (count > whole) count = whole;
        if (count > OAM_WAN_LIST_MAX_ENTRIES) count = OAM_WAN_LIST_MAX_ENTRIES;
        const uint16_t host_count = static_cast<uint16_t>(count);
        std::memcpy(value, &host_count, sizeof host_count);
        for (std::size_t e = 0; e < count; ++e) {
            uint8_t *entry = value + OAM_WAN_LIST_HEADER + e * o.entry_size;
            for (std::size_t i = 0; i < o.num_count; ++i) to_host(entry, o.nums[i]);
        }
        return;
    }
}

int oam_parse_payload(const uint8_t *payload, std::size_t len, oam_msg *msg)
{
    if (msg == nullptr) return OAM_PARSE_BAD_ARG;
    *msg = oam_msg{};
    if (payload == nullptr || len < 4) return OAM_PARSE_BAD_ARG;

    lldp_reader r{payload, len};
    const uint8_t *oui = nullptr;
    r.take(3, oui);
    std::memcpy(msg->oui, oui, 3);
    r.u8(msg->opcode);

    if (len >= 12 && payload[4] == OAM_INSTANCE_BRANCH) {
        uint8_t width = 0;
        r.u8(msg->instance_branch);
        r.u16be(msg->instance_type);
        r.u8(width);
        if (width != 4) {
            msg->instance_branch = 0;
            msg->instance_type = 0;
            return OAM_PARSE_BAD_INSTANCE;
        }
        r.u32be(msg->instance_value);
        msg->has_instance = 1;
    }

    const uint8_t *containers = nullptr;
    const std::size_t container_len = r.left;
    r.take(container_len, containers);
    int used = oam_parse_data_tlv(containers, container_len, msg);
    if (used < 0) return OAM_PARSE_BAD_ARG;
    if (used == 0) return OAM_PARSE_NO_CONTAINER;

    if (msg->branch == OAM_COMPRESSED_BRANCH && msg->leaf == OAM_COMPRESSED_LEAF) {
        // The output buffer bounds the inflated size: a stream that would
        // grow past it fails here instead of allocating more.
        uint8_t inflated[OAM_INFLATE_MAX];
        uLongf out_len = sizeof inflated;
        static const uint8_t kEmpty = 0;
        const uint8_t *src = msg->data ? msg->data.get() : &kEmpty;
        int zrc = uncompress(inflated, &out_len, src, msg->data_len);
        msg->data.reset();
        msg->data_len = 0;
        if (zrc != Z_OK) return OAM_PARSE_INFLATE;
        msg->branch = 0;
        msg->leaf = 0;
        used = oam_parse_data_tlv(inflated, out_len, msg);
        if (used < 0) return OAM_PARSE_BAD_ARG;
        if (used == 0) return OAM_PARSE_NO_INFLATED_CONTAINER;
    }

    oam_convert_known_object(msg);
    return OAM_PARSE_OK;
}
