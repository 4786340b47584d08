// Builders of raw OMCI messages for the intake tests.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "uplinkd/omci_api.h"
#include "uplinkd/omci_attr.h"
#include "uplinkd/omci_entity.h"

namespace omci_test {

// Heap whose next calloc or realloc can be made to fail.
struct FailingHeap {
    static inline int calloc_ok = -1;  // successes left before failing; -1 never fails
    static inline int realloc_ok = -1;
    static void *c(size_t n, size_t s)
    {
        if (calloc_ok == 0)
            return nullptr;
        if (calloc_ok > 0)
            --calloc_ok;
        return std::calloc(n, s);
    }
    static void *r(void *p, size_t s)
    {
        if (realloc_ok == 0)
            return nullptr;
        if (realloc_ok > 0)
            --realloc_ok;
        return std::realloc(p, s);
    }
    static constexpr omci_mem_ops ops = {c, r, std::free};
};

using bytes = std::vector<uint8_t>;

// A 48-byte message: header, mask, values (zero padded), trailer.
inline bytes message(uint8_t type, uint16_t class_id, uint16_t instance, uint16_t mask, const bytes &values)
{
    bytes m(48, 0);
    m[0] = 0x12;
    m[1] = 0x34;
    m[2] = type;
    m[3] = 0x0A;
    m[4] = static_cast<uint8_t>(class_id >> 8);
    m[5] = static_cast<uint8_t>(class_id);
    m[6] = static_cast<uint8_t>(instance >> 8);
    m[7] = static_cast<uint8_t>(instance);
    m[8] = static_cast<uint8_t>(mask >> 8);
    m[9] = static_cast<uint8_t>(mask);
    for (size_t i = 0; i < values.size() && 10 + i < 40; ++i)
        m[10 + i] = values[i];
    m[43] = 0x28;
    return m;
}

inline int send(uint8_t type, uint16_t class_id, uint16_t instance, uint16_t mask, const bytes &values)
{
    bytes m = message(type, class_id, instance, mask, values);
    return omci_data_handle(m.data(), m.size());
}

inline int set(uint16_t class_id, uint16_t instance, uint16_t mask, const bytes &values)
{
    return send(0x48, class_id, instance, mask, values);
}

inline uint16_t bit(uint16_t class_id, std::string_view name);

// One Set per attribute, for values too long to share a message.
inline int set_attr(uint16_t class_id, uint16_t instance, std::string_view name, const bytes &value)
{
    return set(class_id, instance, bit(class_id, name), value);
}

// `text` in a zero-padded field of `width` bytes.
inline bytes text(std::string_view s, size_t width)
{
    bytes b(width, 0);
    std::memcpy(b.data(), s.data(), s.size() < width ? s.size() : width);
    return b;
}

inline bytes cat(std::initializer_list<bytes> parts)
{
    bytes out;
    for (const bytes &p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// The attribute's mask bit, looked up by name.
inline uint16_t bit(uint16_t class_id, std::string_view name)
{
    const omci_me_desc *d = get_attr_desc_by_classid(class_id);
    for (uint32_t k = 0; d != nullptr && k < d->attr_count; ++k)
        if (name == d->attrs[k].name)
            return d->attrs[k].mask;
    return 0;
}

// The stored object of (class, instance), or nullptr.
template <typename T>
const T *stored(uint16_t class_id, uint16_t instance)
{
    omci_entity e;
    if (omci_entity_find(class_id, instance, &e) != 0)
        return nullptr;
    return static_cast<const T *>(e.data);
}

// Text of a view field up to its first zero, never past the field.
template <size_t N>
std::string_view field_text(const uint8_t (&f)[N])
{
    const void *z = std::memchr(f, 0, N);
    size_t n = z != nullptr ? static_cast<size_t>(static_cast<const uint8_t *>(z) - f) : N;
    return {reinterpret_cast<const char *>(f), n};
}

}  // namespace omci_test
