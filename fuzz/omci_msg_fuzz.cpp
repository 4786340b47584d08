// Feeds a sequence of OMCI payloads into the entity store, then builds all
// five views. The input is cut into 48-byte messages; a shorter tail is
// passed as it is, to exercise the length check. Each payload sits in a heap
// block of its exact size so that a read past it trips AddressSanitizer.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "uplinkd/omci_api.h"
#include "uplinkd/omci_entity.h"
#include "uplinkd/omci_mib_build.h"
#include "uplinkd/omci_parse.h"

namespace {

void check(bool ok)
{
    if (!ok)
        __builtin_trap();
}

// Reads every byte of a text field the way later readers must: bounded.
template <size_t N>
size_t bounded_len(const uint8_t (&f)[N])
{
    const void *z = std::memchr(f, 0, N);
    return z != nullptr ? static_cast<size_t>(static_cast<const uint8_t *>(z) - f) : N;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    omci_init();
    for (size_t at = 0; at < size; at += OMCI_MSG_LEN) {
        size_t len = size - at < OMCI_MSG_LEN ? size - at : OMCI_MSG_LEN;
        std::unique_ptr<uint8_t[]> msg(new uint8_t[len]);
        std::memcpy(msg.get(), data + at, len);
        int rc = omci_data_handle(msg.get(), len);
        check(rc == 0 || rc == -1 || rc == -2 || rc == -6 || rc == -7);
        check(len == OMCI_MSG_LEN || rc == -1);
        check(g_entity_mgr.count <= OMCI_ENTITY_MAX && g_entity_mgr.count <= g_entity_mgr.capacity);
    }

    static omci_wan_view wan;
    static omci_wlan_view wlan;
    static omci_tr069_view tr069;
    static omci_stun_view stun;
    static omci_mqtt_view mqtt;
    uint8_t wlan_count = 0;
    int rc = omci_build_wan_config(&wan);
    check(rc == 0 || rc == 1);
    check(wan.source <= OMCI_WAN_SOURCE_FH);
    check(omci_build_wlan_config_zelk(&wlan, &wlan_count) == 0 && wlan_count <= OMCI_WLAN_ENTRIES);
    check(omci_build_tr069_config_zelk(&tr069) >= 0);
    check(omci_build_stun_config_zelk(&stun) >= 0);
    check(omci_build_mqtt_config_zelk(&mqtt) >= 0);

    size_t total = 0;
    for (const omci_fh_wan_entry &e : wan.fh)
        total += bounded_len(e.wan_name) + bounded_len(e.username);
    for (const omci_iphost_wan_entry &e : wan.iphost)
        total += bounded_len(e.pppoe_username) + bounded_len(e.pppoe_password);
    total += bounded_len(tr069.acs_server_url) + bounded_len(stun.stun_server_addr) + bounded_len(mqtt.address);
    check(total < 4096);

    omci_all_data_cleanup();
    return 0;
}
