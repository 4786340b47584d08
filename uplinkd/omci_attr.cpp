#include "uplinkd/omci_attr.h"

#include <array>
#include <string_view>

namespace {

template <size_t N>
constexpr std::array<omci_attr_desc, N> omci_number_masks(std::array<omci_attr_desc, N> attrs)
{
    for (size_t k = 0; k < N; ++k)
        attrs[k].mask = static_cast<uint16_t>(0x8000u >> k);
    return attrs;
}

#define OMCI_ATTR_ROW(T, n, wire, stored_width) \
    omci_attr_desc{#n, offsetof(T, n), wire, 0, stored_width},
#define OMCI_ATTR_TABLE(desc, obj, attrs, cls)                                           \
    constexpr auto desc##_attrs = omci_number_masks(std::array{attrs(OMCI_ATTR_ROW, obj)}); \
    constexpr omci_me_desc desc{cls, sizeof(obj), desc##_attrs.size(), desc##_attrs.data()};
OMCI_CLASSES(OMCI_ATTR_TABLE)
#undef OMCI_ATTR_TABLE
#undef OMCI_ATTR_ROW

#define OMCI_REGISTRY_ROWS(desc, obj, attrs, cls) desc,
constexpr omci_me_desc registry[OMCI_CLASS_COUNT + 1] = {
    OMCI_CLASSES(OMCI_REGISTRY_ROWS) omci_me_desc{0, 0, 0, nullptr}};

// The member widths the object structs really have, to hold the tables to them.
#define OMCI_MEMBER_WIDTH(T, n, wire, stored_width) sizeof(T::n),
#define OMCI_WIDTH_CHECK(desc, obj, attrs, cls)                                             \
    static_assert(std::array<size_t, desc##_attrs.size()>{attrs(OMCI_MEMBER_WIDTH, obj)} == \
                      [] {                                                                  \
                          std::array<size_t, desc##_attrs.size()> w{};                      \
                          for (size_t k = 0; k < w.size(); ++k)                             \
                              w[k] = desc##_attrs[k].stored;                                \
                          return w;                                                         \
                      }(),                                                                  \
                  #desc ": stored widths differ from the object's members");
OMCI_CLASSES(OMCI_WIDTH_CHECK)
#undef OMCI_WIDTH_CHECK
#undef OMCI_MEMBER_WIDTH

constexpr bool omci_desc_is_packed(const omci_me_desc &d)
{
    if (d.attr_count == 0 || d.attr_count > 16 || d.attrs == nullptr)
        return false;
    uint32_t offset = 0;
    for (uint32_t k = 0; k < d.attr_count; ++k) {
        const omci_attr_desc &a = d.attrs[k];
        if (a.offset != offset || a.mask != (0x8000u >> k) || a.stored == 0 || a.stored > a.size)
            return false;
        offset += a.stored;
    }
    return offset == d.obj_size;
}

constexpr bool omci_registry_is_sound()
{
    if (registry[OMCI_CLASS_COUNT].class_id != 0 || registry[OMCI_CLASS_COUNT].attrs != nullptr)
        return false;
    for (uint32_t i = 0; i < OMCI_CLASS_COUNT; ++i) {
        if (!omci_desc_is_packed(registry[i]))
            return false;
        for (uint32_t j = 0; j < i; ++j)
            if (registry[j].class_id == registry[i].class_id)
                return false;
    }
    return true;
}
static_assert(std::size(registry) == OMCI_CLASS_COUNT + 1);
static_assert(omci_registry_is_sound(),
              "every class: offsets are the running sum of the stored widths, obj_size their "
              "total, masks 0x8000 >> k, class ids unique");

// Only three attributes keep fewer bytes than they take on the wire.
struct omci_drop {
    uint32_t class_id;
    std::string_view name;
    uint32_t dropped;
};
constexpr omci_drop omci_stored_drops[] = {
    {OMCI_CLASS_WAN_CFG_IPV6_IPHOST, "DUID", 1},
    {OMCI_CLASS_WAN_PPPOE_HW, "password3", 1},
    {OMCI_CLASS_WLAN_CTRL_SSID1, "key3", 2},
};
constexpr bool omci_drops_are_exact()
{
    size_t found = 0;
    for (uint32_t i = 0; i < OMCI_CLASS_COUNT; ++i) {
        for (uint32_t k = 0; k < registry[i].attr_count; ++k) {
            const omci_attr_desc &a = registry[i].attrs[k];
            if (a.stored == a.size)
                continue;
            bool listed = false;
            for (const omci_drop &d : omci_stored_drops)
                listed |= d.class_id == registry[i].class_id && d.name == a.name &&
                          d.dropped == a.size - a.stored;
            if (!listed)
                return false;
            ++found;
        }
    }
    return found == std::size(omci_stored_drops);
}
static_assert(omci_drops_are_exact(), "stored width differs from wire size only for DUID, password3, key3");

}  // namespace

// The checked table, exported.
const omci_me_desc me_desc_registry[OMCI_CLASS_COUNT + 1] = {
    OMCI_CLASSES(OMCI_REGISTRY_ROWS) omci_me_desc{0, 0, 0, nullptr}};
#undef OMCI_REGISTRY_ROWS

const omci_me_desc *get_attr_desc_by_classid(uint32_t class_id)
{
    for (const omci_me_desc *d = me_desc_registry; d->attrs != nullptr; ++d)
        if (d->class_id == class_id)
            return d;
    return nullptr;
}
