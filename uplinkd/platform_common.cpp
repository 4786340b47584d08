#include "uplinkd/platform_common.h"

#include <cstring>

std::atomic<int> g_status_oam{0};

int platform_wifi_rekey_apply_enabled(void)
{
    return g_status_oam.load(std::memory_order_relaxed);
}

const char *const lldp_country_codes[LLDP_COUNTRY_COUNT] = {
    "EU", "US", "CA", "ES", "FR", "JP", "IL", "JP", "JP", "RU",  // 0
    "CN", "US", "US", "JP", "TW", "AE", "AL", "AM", "AR", "AT",  // 10
    "AU", "AZ", "BD", "BE", "BG", "BH", "BN", "BO", "BR", "BY",  // 20
    "BZ", "CA", "CH", "CL", "CO", "CR", "CW", "CY", "CZ", "DE",  // 30
    "DK", "DO", "EC", "EE", "EG", "FI", "GB", "GE", "GR", "GT",  // 40
    "HK", "HN", "HR", "HU", "ID", "IE", "IN", "IQ", "IR", "IS",  // 50
    "IT", "JO", "JP", "KE", "KP", "KR", "KW", "KZ", "LA", "LB",  // 60
    "LI", "LK", "LT", "LU", "LV", "MA", "MC", "MD", "MK", "MO",  // 70
    "MT", "MX", "MY", "NG", "NL", "NO", "NP", "NZ", "OM", "PA",  // 80
    "PE", "PG", "PH", "PK", "PL", "PR", "PS", "PT", "PY", "QA",  // 90
    "RO", "RS", "SA", "SC", "SE", "SG", "SI", "SK", "SN", "SS",  // 100
    "SV", "SY", "TD", "TH", "TJ", "TN", "TR", "TT", "TW", "TZ",  // 110
    "UA", "US", "UY", "UZ", "VE", "VN", "YE", "ZA", "ZM", "ZW",  // 120
    "CU", "DZ", "LC", "UG", "RW", "CG", "CD", "MG", "MW", "NE",  // 130
    "GA", "GH",                                                  // 140
};

uint8_t platform_country_index(const char *code)
{
    if (code == nullptr || code[0] == '\0') return LLDP_COUNTRY_FALLBACK;
    for (unsigned i = 0; i < LLDP_COUNTRY_COUNT; ++i)
        if (std::strcmp(lldp_country_codes[i], code) == 0) return static_cast<uint8_t>(i);
    return LLDP_COUNTRY_FALLBACK;
}

const char *platform_country_code(unsigned index)
{
    return index < LLDP_COUNTRY_COUNT ? lldp_country_codes[index] : lldp_country_codes[LLDP_COUNTRY_FALLBACK];
}

const uint8_t lldp_5g_channels[LLDP_5G_CHANNEL_COUNT] = {
    0,  36, 44, 52, 60, 100, 108, 132, 140, 149, 157, 34,  38,  40,  42,
    46, 48, 56, 64, 104, 112, 116, 120, 124, 128, 136, 144, 153, 161, 165,
};

uint8_t platform_5g_channel_from_index(uint8_t index)
{
    return index < LLDP_5G_CHANNEL_COUNT ? lldp_5g_channels[index] : index;
}

uint8_t platform_5g_channel_to_index(uint8_t channel)
{
    for (unsigned i = 0; i < LLDP_5G_CHANNEL_COUNT; ++i)
        if (lldp_5g_channels[i] == channel) return static_cast<uint8_t>(i);
    return channel;
}

namespace {

struct ModeEntry {
    const char *text;
    uint8_t band;
};

// Indexed by code. 11/12 and 13/14 share a text: the second of each pair is
// what an unrecognised router setting reads as.
constexpr ModeEntry kModes[] = {
    {"2.4G-B", LLDP_BAND_24G},    {"2.4G-G", LLDP_BAND_24G},  {"2.4G-B/G", LLDP_BAND_24G},
    {"2.4G-N", LLDP_BAND_24G},    {"2.4G-B/G/N", LLDP_BAND_24G}, {"5G-AC", LLDP_BAND_5G},
    {"5G-A", LLDP_BAND_5G},       {"5G-N", LLDP_BAND_5G},     {"5G-A/N", LLDP_BAND_5G},
    {"5G-N/AC", LLDP_BAND_5G},    {"5G-A/N/AC", LLDP_BAND_5G}, {"5G-AX", LLDP_BAND_5G},
    {"5G-AX", LLDP_BAND_5G},      {"2.4G-AX", LLDP_BAND_24G}, {"2.4G-AX", LLDP_BAND_24G},
    {"2.4G-G/N", LLDP_BAND_24G},
};
constexpr unsigned kModeCount = sizeof(kModes) / sizeof(kModes[0]);
static_assert(kModeCount == 16);

constexpr uint8_t kMode24Default = 14;
constexpr uint8_t kMode5Default = 12;

}  // namespace

const char *platform_wlan_mode_text(uint8_t mode)
{
    return mode < kModeCount ? kModes[mode].text : nullptr;
}

const char *platform_wlan_mode_text_for_band(uint8_t mode, uint8_t band)
{
    const uint8_t b = band ? LLDP_BAND_5G : LLDP_BAND_24G;
    return mode < kModeCount && kModes[mode].band == b ? kModes[mode].text : nullptr;
}

uint8_t platform_wlan_mode_from_text(const char *text, uint8_t band)
{
    const uint8_t b = band ? LLDP_BAND_5G : LLDP_BAND_24G;
    const uint8_t fallback = b == LLDP_BAND_5G ? kMode5Default : kMode24Default;
    if (text == nullptr) return fallback;
    for (unsigned code = 0; code < kModeCount; ++code) {
        // The AX texts always read as the band's default code.
        if (code == 11 || code == 12 || code == 13 || code == 14) continue;
        if (kModes[code].band == b && std::strcmp(kModes[code].text, text) == 0) return static_cast<uint8_t>(code);
    }
    return fallback;
}

unsigned platform_wlan_width_mhz(uint8_t chan_width, uint8_t band)
{
    switch (chan_width) {
    case 1:
    case 3: return 40;
    case 2:
    case 4: return band ? 80 : 20;
    case 5: return band ? 160 : 20;
    default: return 20;
    }
}

const char *platform_wlan_auth_text(uint8_t auth_mode)
{
    switch (auth_mode) {
    case LLDP_AUTH_OPEN: return "none";
    case LLDP_AUTH_PSK: return "psk";
    case LLDP_AUTH_PSK2: return "psk2";
    case LLDP_AUTH_PSK_MIXED: return "psk-mixed";
    case LLDP_AUTH_SAE: return "sae";
    case LLDP_AUTH_SAE_MIXED: return "sae-mixed";
    default: return nullptr;
    }
}
