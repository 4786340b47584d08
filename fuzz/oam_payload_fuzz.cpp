// Feeds OAM deliveries through the decoder and the store, then builds the
// five views the apply pass would read.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "uplinkd/oam_api.h"
#include "uplinkd/oam_mib_build.h"

namespace {

void check(bool ok)
{
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    oam_init();
    oam_data_handle(data, size);
    // The same bytes as a set request, so that mutated opcodes still reach
    // the store, and a second delivery of one identity replaces the first.
    if (size >= 4 && size <= 4096) {
        uint8_t copy[4096];
        std::memcpy(copy, data, size);
        copy[3] = 3;
        oam_data_handle(copy, size);
    }

    static oam_wan_view wan;
    static oam_wlan_view wlan;
    static oam_tr069_view tr069;
    static oam_stun_view stun;
    static oam_mqtt_view mqtt;
    int rc = oam_build_wan_config_zelk(&wan);
    check(rc == 0 || rc == 1);
    check((rc == 1) == (wan.source != OAM_WAN_SOURCE_NONE));
    rc = oam_build_wlan_config_zelk(&wlan);
    check(rc == 0 || rc == 1);
    check(oam_build_tr069_config_zelk(&tr069) >= 0);
    check(oam_build_stun_config_zelk(&stun) >= 0);
    check(oam_build_mqtt_config_zelk(&mqtt) >= 0);
    // Texts are read as the translation does.
    check(oam_text(wan.ipv4_entry.wan_name).size() <= sizeof wan.ipv4_entry.wan_name);
    check(oam_text(wlan.ssid5[3].ssid).size() <= sizeof wlan.ssid5[3].ssid);
    oam_all_data_cleanup();
    return 0;
}
