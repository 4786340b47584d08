#include "uplinkd/lldp_parse.h"

#include <cstdlib>
#include <cstring>

#include "uplinkd/lldp_free.h"

namespace {

lldp_parse_alloc_fn g_alloc = std::calloc;

constexpr uint16_t kEtherTypeLldp = 0x88CC;
constexpr size_t kEthHeaderLen = 14;

enum : uint8_t {
    kTlvEnd = 0,
    kTlvChassisId = 1,
    kTlvPortId = 2,
    kTlvTtl = 3,
    kTlvPortDesc = 4,
    kTlvSystemName = 5,
    kTlvSystemDesc = 6,
    kTlvSystemCap = 7,
    kTlvMgmtAddr = 8,
    kTlvOrg = 127,
};

lldp_tlv_hdr make_hdr(uint16_t word) {
    lldp_tlv_hdr h{};
    h.type = static_cast<uint16_t>(word >> 9);
    h.length = static_cast<uint16_t>(word & 0x1FF);
    return h;
}

// Reads the header of the TLV at the reader and hands back a reader over
// exactly its value. Fails when the header or the value runs past the end.
bool open_tlv(lldp_reader &r, lldp_tlv_hdr &hdr, lldp_reader &value) {
    uint16_t word = 0;
    if (!r.u16be(word)) return false;
    hdr = make_hdr(word);
    const uint8_t *v = nullptr;
    if (!r.take(hdr.length, v)) return false;
    value = lldp_reader{v, hdr.length};
    return true;
}

// A copy of `n` bytes with `extra` zero bytes after it; null (and success)
// for an empty result when extra is 0.
bool copy_bytes(const uint8_t *src, size_t n, size_t extra, uint8_t *&out) {
    out = nullptr;
    if (n + extra == 0) return true;
    out = static_cast<uint8_t *>(g_alloc(n + extra, 1));
    if (!out) return false;
    if (n) std::memcpy(out, src, n);
    return true;
}

int parse_id(lldp_id_tlv &out, uint8_t want_type, const uint8_t **cursor, size_t *remaining) {
    if (!cursor || !*cursor || !remaining) return -1;
    lldp_reader r{*cursor, *remaining};
    lldp_tlv_hdr hdr{};
    lldp_reader v{};
    if (!open_tlv(r, hdr, v) || hdr.type != want_type || hdr.length < 1) return -1;
    uint8_t subtype = 0;
    v.u8(subtype);
    uint8_t *value = nullptr;
    if (!copy_bytes(v.p, v.left, 0, value)) return -1;
    std::free(out.value);
    out.hdr = hdr;
    out.subtype = subtype;
    out.value = value;
    *cursor = r.p;
    *remaining = r.left;
    return 0;
}

int parse_text(lldp_text_tlv *&slot, uint8_t want_type, const uint8_t **cursor, size_t *remaining) {
    if (!cursor || !*cursor || !remaining) return -1;
    lldp_reader r{*cursor, *remaining};
    lldp_tlv_hdr hdr{};
    lldp_reader v{};
    if (!open_tlv(r, hdr, v) || hdr.type != want_type) return -1;
    // The text lives in the same block as its record: one allocation, and
    // one free releases both.
    auto *rec = static_cast<lldp_text_tlv *>(g_alloc(1, sizeof(lldp_text_tlv) + v.left + 1));
    if (!rec) return -1;
    uint8_t *text = reinterpret_cast<uint8_t *>(rec + 1);
    if (v.left) std::memcpy(text, v.p, v.left);
    rec->hdr = hdr;
    rec->text = reinterpret_cast<char *>(text);
    lldp_free_port_desc(slot);
    slot = rec;
    *cursor = r.p;
    *remaining = r.left;
    return 0;
}

// Appends to an owned pointer array. The capacity is implied by the count
// (4, then the next power of two), so an array is only reallocated when it is full.
template <typename T>
bool append_ptr(T **&arr, int32_t &count, T *item) {
    const auto n = static_cast<size_t>(count);
    if (n == 0 || (n >= 4 && (n & (n - 1)) == 0)) {
        auto **grown = static_cast<T **>(g_alloc(n ? n * 2 : 4, sizeof(T *)));
        if (!grown) return false;
        if (n) std::memcpy(grown, arr, n * sizeof(T *));
        std::free(arr);
        arr = grown;
    }
    arr[n] = item;
    ++count;
    return true;
}

}  // namespace

void lldp_parse_set_allocator(lldp_parse_alloc_fn fn) { g_alloc = fn ? fn : std::calloc; }

int lldp_parse_eth_lldpdu(const uint8_t *frame, size_t len, const uint8_t **lldpdu, size_t *lldpdu_len) {
    if (!frame || !lldpdu || !lldpdu_len || len < kEthHeaderLen) return -1;
    if (((frame[12] << 8) | frame[13]) != kEtherTypeLldp) return -1;
    *lldpdu = frame + kEthHeaderLen;
    *lldpdu_len = len - kEthHeaderLen;
    return 0;
}

int lldp_parse_tlv_header(const uint8_t **cursor, lldp_tlv_hdr *hdr) {
    if (!cursor || !*cursor || !hdr) return -1;
    *hdr = make_hdr(static_cast<uint16_t>(((*cursor)[0] << 8) | (*cursor)[1]));
    *cursor += 2;
    return 0;
}

int lldp_parse_chassis_id(lldp_info *info, const uint8_t **cursor, size_t *remaining) {
    return info ? parse_id(info->chassis_id, kTlvChassisId, cursor, remaining) : -1;
}

int lldp_parse_port_id(lldp_info *info, const uint8_t **cursor, size_t *remaining) {
    return info ? parse_id(info->port_id, kTlvPortId, cursor, remaining) : -1;
}

int lldp_parse_ttl(lldp_info *info, const uint8_t **cursor, size_t *remaining) {
    if (!info || !cursor || !*cursor || !remaining) return -1;
    lldp_reader r{*cursor, *remaining};
    lldp_tlv_hdr hdr{};
    lldp_reader v{};
    if (!open_tlv(r, hdr, v) || hdr.type != kTlvTtl || hdr.length != 2) return -1;
    uint16_t seconds = 0;
    v.u16be(seconds);
    info->ttl.hdr = hdr;
    info->ttl.seconds = seconds;
    *cursor = r.p;
    *remaining = r.left;
    return 0;
}

int lldp_parse_port_desc(lldp_info *info, const uint8_t **cursor, size_t *remaining) {
    return info ? parse_text(info->port_desc, kTlvPortDesc, cursor, remaining) : -1;
}

int lldp_parse_system_name(lldp_info *info, const uint8_t **cursor, size_t *remaining) {
    return info ? parse_text(info->system_name, kTlvSystemName, cursor, remaining) : -1;
}

int lldp_parse_system_desc(lldp_info *info, const uint8_t **cursor, size_t *remaining) {
    return info ? parse_text(info->system_desc, kTlvSystemDesc, cursor, remaining) : -1;
}

int lldp_parse_system_cap(lldp_info *info, const uint8_t **cursor, size_t *remaining) {
    if (!info || !cursor || !*cursor || !remaining) return -1;
    lldp_reader r{*cursor, *remaining};
    lldp_tlv_hdr hdr{};
    lldp_reader v{};
    if (!open_tlv(r, hdr, v) || hdr.type != kTlvSystemCap || hdr.length != 4) return -1;
    auto *rec = static_cast<lldp_cap_tlv *>(g_alloc(1, sizeof(lldp_cap_tlv)));
    if (!rec) return -1;
    rec->hdr = hdr;
    v.u16be(rec->caps);
    v.u16be(rec->enabled);
    std::free(info->system_cap);
    info->system_cap = rec;
    *cursor = r.p;
    *remaining = r.left;
    return 0;
}

int lldp_parse_mgmt_addr(lldp_info *info, const uint8_t **cursor, size_t *remaining) {
    if (!info || !cursor || !*cursor || !remaining) return -1;
    lldp_reader r{*cursor, *remaining};
    lldp_tlv_hdr hdr{};
    lldp_reader v{};
    if (!open_tlv(r, hdr, v) || hdr.type != kTlvMgmtAddr) return -1;

    lldp_mgmt_tlv m{};
    m.hdr = hdr;
    const uint8_t *addr = nullptr;
    const uint8_t *oid = nullptr;
    if (!v.u8(m.addr_str_len) || m.addr_str_len == 0) return -1;
    if (!v.u8(m.addr_subtype) || !v.take(m.addr_str_len - 1u, addr)) return -1;
    if (!v.u8(m.if_subtype) || !v.u32be(m.if_number) || !v.u8(m.oid_len)) return -1;
    if (!v.take(m.oid_len, oid) || v.left != 0) return -1;

    const size_t addr_len = m.addr_str_len - 1u;
    const size_t oid_size = m.oid_len ? m.oid_len + 1u : 0;
    auto *rec = static_cast<lldp_mgmt_tlv *>(g_alloc(1, sizeof(lldp_mgmt_tlv) + addr_len + oid_size));
    if (!rec) return -1;
    *rec = m;
    uint8_t *tail = reinterpret_cast<uint8_t *>(rec + 1);
    rec->addr = addr_len ? tail : nullptr;
    if (addr_len) std::memcpy(tail, addr, addr_len);
    rec->oid = oid_size ? tail + addr_len : nullptr;
    if (oid_size) std::memcpy(tail + addr_len, oid, m.oid_len);
    if (!append_ptr(info->mgmt_addrs, info->mgmt_count, rec)) {
        lldp_free_mgmt_addr(rec);
        return -1;
    }
    *cursor = r.p;
    *remaining = r.left;
    return 0;
}

int lldp_parse_org_tlv(lldp_info *info, const uint8_t **cursor, size_t *remaining) {
    if (!info || !cursor || !*cursor || !remaining) return -1;
    lldp_reader r{*cursor, *remaining};
    lldp_tlv_hdr hdr{};
    lldp_reader v{};
    if (!open_tlv(r, hdr, v) || hdr.type != kTlvOrg || hdr.length < 4) return -1;
    auto *rec = static_cast<lldp_org_tlv *>(g_alloc(1, sizeof(lldp_org_tlv) + hdr.length - 4u));
    if (!rec) return -1;
    rec->hdr = hdr;
    v.u8(rec->oui[0]);
    v.u8(rec->oui[1]);
    v.u8(rec->oui[2]);
    v.u8(rec->subtype);
    rec->data = v.left ? reinterpret_cast<uint8_t *>(rec + 1) : nullptr;
    if (v.left) std::memcpy(rec->data, v.p, v.left);
    if (!append_ptr(info->org_tlvs, info->org_count, rec)) {
        lldp_free_org_tlv(rec);
        return -1;
    }
    *cursor = r.p;
    *remaining = r.left;
    return 0;
}

const lldp_parse_tlv_opt lldp_parse_tlv_opt_table[6] = {
    {kTlvPortDesc, lldp_parse_port_desc},     {kTlvSystemName, lldp_parse_system_name},
    {kTlvSystemDesc, lldp_parse_system_desc}, {kTlvSystemCap, lldp_parse_system_cap},
    {kTlvMgmtAddr, lldp_parse_mgmt_addr},     {kTlvOrg, lldp_parse_org_tlv},
};

lldp_info *lldp_parse_packet(const uint8_t *lldpdu, size_t len) {
    if (!lldpdu || len == 0) return nullptr;
    auto *info = static_cast<lldp_info *>(g_alloc(1, sizeof(lldp_info)));
    if (!info) return nullptr;

    const uint8_t *cur = lldpdu;
    size_t left = len;
    if (lldp_parse_chassis_id(info, &cur, &left) != 0 || lldp_parse_port_id(info, &cur, &left) != 0 ||
        lldp_parse_ttl(info, &cur, &left) != 0) {
        lldp_free_info(info);
        return nullptr;
    }

    // A lone trailing byte cannot hold a header: decoding ends there and
    // keeps what came before it.
    while (left >= 2) {
        lldp_reader peek{cur, left};
        uint16_t word = 0;
        peek.u16be(word);
        const lldp_tlv_hdr hdr = make_hdr(word);
        if (hdr.length > peek.left) {
            lldp_free_info(info);
            return nullptr;
        }
        if (hdr.type == kTlvEnd) break;

        int rc = -1;
        for (const auto &row : lldp_parse_tlv_opt_table) {
            if (row.type == hdr.type) {
                rc = row.decode(info, &cur, &left);
                break;
            }
        }
        if (rc != 0) {
            cur += 2u + hdr.length;
            left -= 2u + hdr.length;
        }
    }
    return info;
}
