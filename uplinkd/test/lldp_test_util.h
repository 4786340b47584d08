// Frames as the ONT would send them, and the vendor TLVs of a reply.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "uplinkd/lldp_build.h"
#include "uplinkd/lldp_free.h"
#include "uplinkd/lldp_parse.h"

namespace lldp_test {

using Bytes = std::vector<uint8_t>;

inline Bytes hex(const std::string &h) {
    Bytes out;
    for (size_t i = 0; i + 1 < h.size();) {
        if (h[i] == ' ') {
            ++i;
            continue;
        }
        out.push_back(static_cast<uint8_t>(std::stoi(h.substr(i, 2), nullptr, 16)));
        i += 2;
    }
    return out;
}

struct Tlv {
    int subtype;
    Bytes payload;
};

inline const uint8_t kOntMac[6] = {0x02, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E};

// A whole Ethernet frame from `src` carrying the vendor TLVs in order
// (empty when it does not fit in `cap` bytes).
inline Bytes ont_frame(const std::vector<Tlv> &tlvs, const uint8_t *src = kOntMac, size_t cap = LLDP_FRAME_MAX) {
    std::vector<lldp_org_entry> orgs(tlvs.size());
    for (size_t i = 0; i < tlvs.size(); ++i)
        lldp_build_prepare_org(tlvs[i].subtype, tlvs[i].payload.data(), static_cast<uint32_t>(tlvs[i].payload.size()),
                               &orgs[i]);
    lldp_frame_desc d{};
    d.chassis_mac = src;
    d.port_mac = src;
    d.ttl = 120;
    d.system_name = "ont";
    d.orgs = orgs.data();
    d.org_count = static_cast<uint8_t>(orgs.size());
    Bytes buf(cap);
    lldp_packer p{};
    lldp_build_packer_init(&p, buf.data(), static_cast<uint32_t>(buf.size()));
    if (lldp_build_frame(&p, &d) != 0) return {};
    buf.resize(p.used);
    return buf;
}

// The vendor TLVs of a frame, or an empty list when it does not parse.
inline std::vector<Tlv> vendor_tlvs(const Bytes &frame) {
    std::vector<Tlv> out;
    const uint8_t *pdu = nullptr;
    size_t n = 0;
    if (lldp_parse_eth_lldpdu(frame.data(), frame.size(), &pdu, &n) != 0) return out;
    lldp_info *info = lldp_parse_packet(pdu, n);
    if (!info) return out;
    for (int32_t i = 0; i < info->org_count; ++i) {
        const lldp_org_tlv *t = info->org_tlvs[i];
        out.push_back({t->subtype, t->data ? Bytes(t->data, t->data + t->hdr.length - 4) : Bytes{}});
    }
    lldp_free_info(info);
    return out;
}

inline std::vector<int> subtypes(const std::vector<Tlv> &tlvs) {
    std::vector<int> s;
    for (const auto &t : tlvs) s.push_back(t.subtype);
    return s;
}

}  // namespace lldp_test
