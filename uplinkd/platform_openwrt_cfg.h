// Readers and writers of the router's live configuration: the first WAN
// connection (WAN service over ubus), both radios (UCI `wireless`,
// `easymesh`), the TR-069, STUN and cloud MQTT clients (UCI), and the
// device-mode change at the first ONT authentication.
//
// Readers zero the record first and fill what the router has; writers apply
// a record whole. Every external command runs from an argument vector, never
// through a shell, so values from the ONT or UCI cannot become commands.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "uplinkd/platform_common.h"

// ---- WAN connection ----

// Value of the first `"key":` in `text` (no blank before the colon), quoted or
// bare. A quoted value ends at the first unescaped quote; \" \\ \/ \b \f \n
// \r \t and \uXXXX are decoded. A bare value ends at NUL, blank, tab, newline,
// ',' or '}'. 0 and the value; -1 when absent, empty-bare, unterminated or
// `size` or more characters (out then holds "").
int ow_json_get_str(const char *text, const char *key, char *out, size_t size);
// Boolean-like value: "true"/"1" -> 1, "false"/"0" -> 0, other digits -> their
// value != 0. -1 when absent or not boolean-like (out untouched).
int ow_json_get_u8(const char *text, const char *key, uint8_t *out);
// Text form of a 16-byte IPv6 address into out[64]; "" for all-zero.
void ow_ipv6_bytes_to_str(const uint8_t addr[16], char out[64]);

// Fills `rec` from the text printed by `ubus call syswan all`; the lookups
// start at connection "1". -1 for null or empty text (record zeroed).
int ow_wan_config_parse(const char *text, lldp_wan_config *rec);
// The `syswan modify` document for `rec`, keys in the WAN service's order.
// -1 for null or when the document would exceed OW_WAN_DOCUMENT_MAX.
int ow_wan_config_document(const lldp_wan_config *rec, std::string *doc);
inline constexpr std::size_t OW_WAN_DOCUMENT_MAX = 2560;

// Reads connection 1 from the WAN service; -1 when it printed nothing.
int platform_wan_config_status_get(lldp_wan_config *rec);
// One `ubus call syswan modify`; 0 when it exits 0, else -1.
int platform_wan_config_status_set(const lldp_wan_config *rec);

// ---- wireless ----

int ow_fill_wifi_band(lldp_wlan_config *rec, int band);
int platform_24g_config_status_get(lldp_wlan_config *rec);
int platform_5g_config_status_get(lldp_wlan_config *rec);
// Writes the parts the record marks valid (radio, first SSID), commits and
// reloads the wireless configuration, and switches EasyMesh when a 5 GHz
// record asks for it. 0, or -1 for null.
int ow_apply_wifi_band(const lldp_wlan_config *rec, int band);
// ow_apply_wifi_band with the band taken from the record.
int platform_wlan_config_status_set(const lldp_wlan_config *rec);

// ---- TR-069, STUN, cloud MQTT agent ----

int platform_tr069_config_status_get(lldp_tr069_config *rec);
int platform_tr069_config_status_set(const lldp_tr069_config *rec);
int platform_stun_config_status_get(lldp_stun_config *rec);
int platform_stun_config_status_set(const lldp_stun_config *rec);
// `status_path` is the agent's connection state file.
int ow_mqtt_config_read(lldp_mqtt_config *rec, const char *status_path);
int platform_mqtt_config_status_get(lldp_mqtt_config *rec);  // /tmp/kpsm_connect_status
int platform_mqtt_config_status_set(const lldp_mqtt_config *rec);

// ---- device-mode change ----

// Authentication hook of the session: event 1 (the ONT proved the key) runs
// platform_device_mode_change; other events do nothing.
void platform_auth(void *arg, int event);
// While the first administrator login is pending, sets the default admin
// password and marks the first login done. 0 done, 1 nothing due, -1 failed
// (the flag stays so the next authentication tries again).
int platform_device_mode_change(void);
// Gives the rpcd login account the default password through chpasswd.
// 0 on success; -1 when the user name cannot be passed safely or chpasswd fails.
int ow_set_admin_password(void);

// ---- command seam ----

// Runs one external command: argv (program first), text for its standard
// input (empty: none). Returns the exit status, -1 when it could not run.
using ow_command_runner = int (*)(std::span<const char *const> argv, std::string_view input);
// Replaces the runner (unit tests record the commands); null restores the
// real one.
void ow_set_command_runner(ow_command_runner runner);
