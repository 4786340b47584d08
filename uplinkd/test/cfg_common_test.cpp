#include "uplinkd/platform_common.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(CfgCountry, CodeToFirstIndexAndBack)
{
    struct Case {
        const char *code;
        uint8_t index;
    } cases[] = {
        {"EU", 0}, {"US", 1}, {"CA", 2}, {"JP", 5}, {"TW", 14}, {"CN", 10}, {"GH", 141},
        {"", 10},  {"XX", 10}, {"jp", 10}, {"JPN", 10}, {nullptr, 10},
    };
    for (const auto &c : cases)
        EXPECT_EQ(platform_country_index(c.code), c.index) << (c.code ? c.code : "(null)");

    // Duplicates write back as their code; past the table is CN.
    struct Back {
        unsigned index;
        const char *code;
    } back[] = {{7, "JP"}, {62, "JP"}, {121, "US"}, {31, "CA"}, {118, "TW"}, {141, "GH"}, {142, "CN"}, {255, "CN"}};
    for (const auto &b : back) EXPECT_STREQ(platform_country_code(b.index), b.code) << b.index;

    // Every entry maps back to the first index of its own code.
    for (unsigned i = 0; i < LLDP_COUNTRY_COUNT; ++i) {
        const uint8_t first = platform_country_index(lldp_country_codes[i]);
        EXPECT_LE(first, i);
        EXPECT_STREQ(lldp_country_codes[first], lldp_country_codes[i]);
    }
}

TEST(Cfg5gChannel, IndexAndNumber)
{
    struct Case {
        uint8_t index, channel;
    } from[] = {{0, 0}, {1, 36}, {5, 100}, {9, 149}, {11, 34}, {29, 165}, {30, 30}, {31, 31}, {200, 200}};
    for (const auto &c : from) EXPECT_EQ(platform_5g_channel_from_index(c.index), c.channel) << int(c.index);

    struct Back {
        uint8_t channel, index;
    } to[] = {{0, 0}, {36, 1}, {100, 5}, {149, 9}, {165, 29}, {37, 37}, {6, 6}, {255, 255}};
    for (const auto &c : to) EXPECT_EQ(platform_5g_channel_to_index(c.channel), c.index) << int(c.channel);
}

TEST(CfgWlanMode, TextsPerBand)
{
    struct Write {
        uint8_t mode, band;
        const char *text;  // null: nothing written
    } writes[] = {
        {0, 0, "2.4G-B"},  {4, 0, "2.4G-B/G/N"}, {13, 0, "2.4G-AX"}, {14, 0, "2.4G-AX"}, {15, 0, "2.4G-G/N"},
        {5, 0, nullptr},   {12, 0, nullptr},     {16, 0, nullptr},   {5, 1, "5G-AC"},    {10, 1, "5G-A/N/AC"},
        {11, 1, "5G-AX"},  {12, 1, "5G-AX"},     {4, 1, nullptr},    {13, 1, nullptr},   {255, 1, nullptr},
    };
    for (const auto &w : writes) {
        const char *t = platform_wlan_mode_text_for_band(w.mode, w.band);
        if (w.text == nullptr)
            EXPECT_EQ(t, nullptr) << int(w.mode) << "/" << int(w.band);
        else
            EXPECT_STREQ(t, w.text) << int(w.mode) << "/" << int(w.band);
    }

    struct Read {
        const char *text;
        uint8_t band, mode;
    } reads[] = {
        {"2.4G-B", 0, 0},   {"2.4G-G/N", 0, 15}, {"2.4G-AX", 0, 14}, {"5G-AC", 0, 14},   {"", 0, 14},
        {nullptr, 0, 14},   {"5G-A", 1, 6},      {"5G-A/N/AC", 1, 10}, {"5G-AX", 1, 12}, {"2.4G-N", 1, 12},
        {"5g-ac", 1, 12},   {nullptr, 1, 12},
    };
    for (const auto &r : reads)
        EXPECT_EQ(platform_wlan_mode_from_text(r.text, r.band), r.mode) << (r.text ? r.text : "(null)");
}

TEST(CfgWlanCodes, WidthAndAuthentication)
{
    const unsigned w24[] = {20, 40, 20, 40, 20, 20, 20};
    const unsigned w5[] = {20, 40, 80, 40, 80, 160, 20};
    for (uint8_t code = 0; code < 7; ++code) {
        EXPECT_EQ(platform_wlan_width_mhz(code, LLDP_BAND_24G), w24[code]) << int(code);
        EXPECT_EQ(platform_wlan_width_mhz(code, LLDP_BAND_5G), w5[code]) << int(code);
    }

    const char *auth[12] = {nullptr, "none", nullptr, nullptr, "psk", nullptr,
                            "psk2", nullptr, nullptr, "psk-mixed", "sae", "sae-mixed"};
    for (uint8_t code = 0; code < 12; ++code) {
        if (auth[code] == nullptr)
            EXPECT_EQ(platform_wlan_auth_text(code), nullptr) << int(code);
        else
            EXPECT_STREQ(platform_wlan_auth_text(code), auth[code]) << int(code);
    }
    EXPECT_EQ(platform_wlan_auth_text(200), nullptr);
}

TEST(CfgSource, RekeyFollowsTheLatestProvisioningSource)
{
    EXPECT_EQ(platform_wifi_rekey_apply_enabled(), 0);  // starts as OMCI
    g_status_oam = 1;
    EXPECT_EQ(platform_wifi_rekey_apply_enabled(), 1);
    g_status_oam = 0;
    EXPECT_EQ(platform_wifi_rekey_apply_enabled(), 0);
}
