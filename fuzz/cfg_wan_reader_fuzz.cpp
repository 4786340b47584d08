// The WAN reader scans text printed by the WAN service; whatever it reads
// must also survive the writer's document and read back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "uplinkd/platform_openwrt_cfg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);  // NUL-terminated copy

    // Small output buffers exercise the length limits.
    char out[8];
    const char *keys[] = {"wanName", "pppPwd", "vid", "\"", ""};
    for (const char *k : keys) {
        for (std::size_t n = 1; n <= sizeof out; n += 3) {
            if (ow_json_get_str(text.c_str(), k, out, n) == 0 && std::strlen(out) >= n) __builtin_trap();
        }
        uint8_t b = 7;
        if (ow_json_get_u8(text.c_str(), k, &b) == 0 && b > 1) __builtin_trap();
    }

    lldp_wan_config r;
    if (ow_wan_config_parse(text.c_str(), &r) != 0) return 0;
    std::string doc;
    if (ow_wan_config_document(&r, &doc) != 0) __builtin_trap();
    lldp_wan_config back;
    if (ow_wan_config_parse(("{\"1\": " + doc + "}").c_str(), &back) != 0) __builtin_trap();
    if (std::strcmp(back.ppp_username, r.ppp_username) != 0 || std::strcmp(back.ppp_password, r.ppp_password) != 0 ||
        std::strcmp(back.ppp_service_name, r.ppp_service_name) != 0 || back.vlan_id != r.vlan_id ||
        back.ip_mode != r.ip_mode || back.wan_mode != r.wan_mode)
        __builtin_trap();
    return 0;
}
