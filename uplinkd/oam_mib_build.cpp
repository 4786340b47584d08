#include "uplinkd/oam_mib_build.h"

#include <algorithm>

#include "uplinkd/oam_entity.h"

namespace {

// The entities a view pass sees: the first 32 in store order.
struct Snapshot {
    oam_entity items[OAM_VIEW_SNAPSHOT_MAX];
    int count;

    bool take()
    {
        count = oam_entity_snapshot(items, OAM_VIEW_SNAPSHOT_MAX);
        return count >= 0;
    }
    const oam_entity *begin() const { return items; }
    const oam_entity *end() const { return items + count; }
    bool has_leaf(uint16_t leaf) const
    {
        return std::any_of(begin(), end(), [leaf](const oam_entity &e) { return e.leaf == leaf; });
    }
};

// Copies at most the value's length into a slot of `size` bytes; the rest of
// the slot keeps what it held.
void copy_prefix(void *slot, std::size_t size, const oam_entity &e)
{
    if (e.payload == nullptr) return;
    std::memcpy(slot, e.payload, std::min<std::size_t>(size, e.payload_len));
}

// Each radio and SSID slot shows exactly one object: clear it before copying.
template <typename T>
void replace_slot(T &slot, std::size_t used, const oam_entity &e)
{
    std::memset(&slot, 0, sizeof slot);
    copy_prefix(&slot, std::min(used, sizeof slot), e);
}

// The first entry of a WAN list with service 0 (internet) and WAN mode 1, or
// nullptr. The decoder has already put the count and entries in host order.
template <typename Entry>
const uint8_t *pick_wan_entry(const oam_entity &e)
{
    if (e.payload == nullptr || e.payload_len < OAM_WAN_LIST_HEADER + sizeof(Entry)) return nullptr;
    uint16_t count = 0;
    std::memcpy(&count, e.payload, sizeof count);
    std::size_t n = std::min<std::size_t>({count, OAM_WAN_LIST_MAX_ENTRIES,
                                           (e.payload_len - OAM_WAN_LIST_HEADER) / sizeof(Entry)});
    for (std::size_t i = 0; i < n; ++i) {
        const uint8_t *entry = e.payload + OAM_WAN_LIST_HEADER + i * sizeof(Entry);
        uint16_t service = 0, wan_mode = 0;
        std::memcpy(&service, entry + offsetof(Entry, service), sizeof service);
        std::memcpy(&wan_mode, entry + offsetof(Entry, wan_mode), sizeof wan_mode);
        if (service == 0 && wan_mode == 1) return entry;
    }
    return nullptr;
}

template <typename View>
int build_flat_view(View *view, uint16_t leaf)
{
    if (view == nullptr) return -1;
    std::memset(view, 0, sizeof *view);
    Snapshot snap;
    if (!snap.take()) return -1;
    int found = 0;
    // Not cleared between objects: a shorter later value overwrites only its own length.
    for (const oam_entity &e : snap) {
        if (e.leaf != leaf) continue;
        found = 1;
        copy_prefix(view, sizeof *view, e);
    }
    return found;
}

}  // namespace

int oam_build_wan_config_zelk(oam_wan_view *view)
{
    if (view == nullptr) return -1;
    std::memset(view, 0, sizeof *view);
    Snapshot snap;
    if (!snap.take()) return -1;

    // A dual-stack list, when there is one, hides every IPv4 list.
    const bool dual = snap.has_leaf(OAM_LEAF_WAN_V46_LIST);
    if (!dual && !snap.has_leaf(OAM_LEAF_WAN_V4_LIST)) return 0;
    for (const oam_entity &e : snap) {
        if (dual && e.leaf == OAM_LEAF_WAN_V46_LIST) {
            if (const uint8_t *entry = pick_wan_entry<oam_wan_v46_entry>(e)) {
                std::memcpy(&view->dual_entry, entry, sizeof view->dual_entry);
                view->source = OAM_WAN_SOURCE_DUAL;
            }
        } else if (!dual && e.leaf == OAM_LEAF_WAN_V4_LIST) {
            if (const uint8_t *entry = pick_wan_entry<oam_wan_v4_entry>(e)) {
                std::memcpy(&view->ipv4_entry, entry, sizeof view->ipv4_entry);
                view->source = OAM_WAN_SOURCE_IPV4;
            }
        }
    }
    return view->source != OAM_WAN_SOURCE_NONE ? 1 : 0;
}

int oam_build_wlan_config_zelk(oam_wlan_view *view)
{
    if (view == nullptr) return -1;
    std::memset(view, 0, sizeof *view);
    Snapshot snap;
    if (!snap.take()) return -1;

    int found = 0;
    for (const oam_entity &e : snap) {
        if (e.payload == nullptr) continue;
        if (e.leaf == OAM_LEAF_RADIO24) {
            replace_slot(view->radio24, OAM_RADIO24_LEN, e);
            view->radio24_valid = 1;
            found = 1;
        } else if (e.leaf == OAM_LEAF_RADIO5) {
            replace_slot(view->radio5, OAM_RADIO5_LEN, e);
            view->radio5_valid = 1;
            found = 1;
        } else if (e.leaf == OAM_LEAF_SSID && e.has_instance) {
            // The whole instance value names the slot: 0x165 is not 101.
            if (e.instance_value < OAM_SSID_INSTANCE_FIRST ||
                e.instance_value >= OAM_SSID_INSTANCE_FIRST + 2 * OAM_SSID_SLOTS)
                continue;
            unsigned slot = e.instance_value - OAM_SSID_INSTANCE_FIRST;
            oam_ssid_object *ssids = slot < OAM_SSID_SLOTS ? view->ssid24 : view->ssid5;
            uint8_t *valid = slot < OAM_SSID_SLOTS ? view->ssid24_valid : view->ssid5_valid;
            slot %= OAM_SSID_SLOTS;
            replace_slot(ssids[slot], sizeof(oam_ssid_object), e);
            valid[slot] = 1;
            found = 1;
        }
    }
    return found;
}

int oam_build_tr069_config_zelk(oam_tr069_view *view) { return build_flat_view(view, OAM_LEAF_TR069); }

int oam_build_stun_config_zelk(oam_stun_view *view) { return build_flat_view(view, OAM_LEAF_STUN); }

int oam_build_mqtt_config_zelk(oam_mqtt_view *view) { return build_flat_view(view, OAM_LEAF_MQTT); }
