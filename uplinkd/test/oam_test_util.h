// Payloads built byte by byte, as the ONT would send them.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <vector>

#include "uplinkd/oam_api.h"
#include "uplinkd/oam_entity.h"

namespace oamtest {

using Bytes = std::vector<uint8_t>;

inline void put16(Bytes &b, uint16_t v)
{
    b.push_back(static_cast<uint8_t>(v >> 8));
    b.push_back(static_cast<uint8_t>(v));
}

inline void put32(Bytes &b, uint32_t v)
{
    put16(b, static_cast<uint16_t>(v >> 16));
    put16(b, static_cast<uint16_t>(v));
}

// Organisation identifier and opcode.
inline Bytes header(uint8_t opcode = 3) { return {0x11, 0x22, 0x33, opcode}; }

inline void instance(Bytes &b, uint32_t value, uint16_t type = 0x0001, uint8_t width = 4)
{
    b.push_back(0x37);
    put16(b, type);
    b.push_back(width);
    put32(b, value);
}

// One container with the given width byte and exactly `value` after it.
inline void container(Bytes &b, uint8_t branch, uint16_t leaf, uint8_t width, const Bytes &value = {})
{
    b.push_back(branch);
    put16(b, leaf);
    b.push_back(width);
    b.insert(b.end(), value.begin(), value.end());
}

// A whole object value split into containers of at most 128 bytes, the last
// full one written with width 0.
inline void object(Bytes &b, uint8_t branch, uint16_t leaf, const Bytes &value)
{
    if (value.empty()) {
        container(b, branch, leaf, 0x80);
        return;
    }
    for (std::size_t at = 0; at < value.size(); at += 128) {
        std::size_t n = value.size() - at < 128 ? value.size() - at : 128;
        container(b, branch, leaf, static_cast<uint8_t>(n == 128 ? 0 : n),
                  Bytes(value.begin() + static_cast<long>(at), value.begin() + static_cast<long>(at + n)));
    }
}

inline Bytes deflate(const Bytes &in)
{
    uLongf n = compressBound(in.size());
    Bytes out(n);
    compress(out.data(), &n, in.data(), in.size());
    out.resize(n);
    return out;
}

// A set request carrying one object, optionally with an instance and compressed.
inline Bytes set_request(uint16_t leaf, const Bytes &value, bool with_instance = false, uint32_t inst = 0,
                         bool compressed = false, uint8_t branch = 0xC7)
{
    Bytes b = header(3);
    if (with_instance) instance(b, inst);
    if (!compressed) {
        object(b, branch, leaf, value);
        return b;
    }
    Bytes inner;
    object(inner, branch, leaf, value);
    object(b, 0xC7, 0x22FF, deflate(inner));
    return b;
}

// A value whose every byte differs from its neighbours, so a misplaced swap shows.
inline Bytes pattern(std::size_t n, uint8_t seed = 1)
{
    Bytes v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(seed + i * 7);
    return v;
}

inline int deliver(const Bytes &b) { return oam_data_handle(b.data(), b.size()); }

}  // namespace oamtest
