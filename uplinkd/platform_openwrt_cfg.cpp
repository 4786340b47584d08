#include "uplinkd/platform_openwrt_cfg.h"

#include <arpa/inet.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/json.h"
#include "platform/runner.h"
#include "platform/syswan.h"
#include "platform/zkuci.h"

namespace {

// ---------------------------------------------------------------- helpers

int default_runner(std::span<const char *const> argv, std::string_view input)
{
    platform::RunOptions opt;
    opt.input = input;
    return platform::run(argv, opt);
}

ow_command_runner g_runner = default_runner;

int run_cmd(std::initializer_list<const char *> argv, std::string_view input = {})
{
    return g_runner(std::span<const char *const>(argv.begin(), argv.size()), input);
}

void uci_commit(const char *package) { run_cmd({"uci", "commit", package}); }

// Copies at most size - 1 characters and terminates.
template <std::size_t N>
void copy_text(char (&dst)[N], const char *src)
{
    std::size_t n = std::strlen(src);
    if (n > N - 1) n = N - 1;
    std::memcpy(dst, src, n);
    dst[n] = '\0';
}

// Record text fields may come from translation without a terminator.
template <std::size_t N>
std::string_view field_text(const char (&f)[N])
{
    return std::string_view(f, strnlen(f, N));
}

bool all_zero(const uint8_t *p, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i)
        if (p[i]) return false;
    return true;
}

long to_long(const char *s) { return std::strtol(s, nullptr, 10); }
unsigned long to_ulong(const char *s) { return std::strtoul(s, nullptr, 10); }

// ---------------------------------------------------------------- WAN

int hex_digit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Appends `cp` as UTF-8 to out[n]; false when it would not fit in size - 1.
bool put_codepoint(char *out, std::size_t size, std::size_t &n, unsigned cp)
{
    char tmp[3];
    std::size_t len;
    if (cp < 0x80) {
        tmp[0] = static_cast<char>(cp);
        len = 1;
    } else if (cp < 0x800) {
        tmp[0] = static_cast<char>(0xC0 | (cp >> 6));
        tmp[1] = static_cast<char>(0x80 | (cp & 0x3F));
        len = 2;
    } else {
        tmp[0] = static_cast<char>(0xE0 | (cp >> 12));
        tmp[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        tmp[2] = static_cast<char>(0x80 | (cp & 0x3F));
        len = 3;
    }
    if (len > size - 1 - n) return false;
    std::memcpy(out + n, tmp, len);
    n += len;
    return true;
}

// Decodes a quoted value starting after its opening quote. -1 when there is
// no closing quote or the decoded value needs size or more characters.
int read_quoted(const char *p, char *out, std::size_t size)
{
    std::size_t n = 0;
    for (;;) {
        char c = *p;
        if (c == '\0') return -1;
        if (c == '"') break;
        if (c != '\\') {
            if (n >= size - 1) return -1;
            out[n++] = c;
            ++p;
            continue;
        }
        char e = p[1];
        if (e == '\0') return -1;
        unsigned cp;
        std::size_t used = 2;
        switch (e) {
        case '"': cp = '"'; break;
        case '\\': cp = '\\'; break;
        case '/': cp = '/'; break;
        case 'b': cp = '\b'; break;
        case 'f': cp = '\f'; break;
        case 'n': cp = '\n'; break;
        case 'r': cp = '\r'; break;
        case 't': cp = '\t'; break;
        case 'u': {
            int h[4];
            bool ok = true;
            for (int i = 0; i < 4 && ok; ++i) ok = (h[i] = hex_digit(p[2 + i])) >= 0;
            cp = ok ? static_cast<unsigned>((h[0] << 12) | (h[1] << 8) | (h[2] << 4) | h[3]) : 0;
            // A NUL or half a surrogate pair cannot stand in a C text: keep
            // the escape as it was written.
            if (ok && cp != 0 && (cp < 0xD800 || cp > 0xDFFF)) {
                used = 6;
            } else {
                cp = '\\';
                used = 1;
            }
            break;
        }
        default:  // unknown escape: keep it as written
            cp = '\\';
            used = 1;
            break;
        }
        if (!put_codepoint(out, size, n, cp)) return -1;
        p += used;
    }
    out[n] = '\0';
    return 0;
}

// Where `"key":` first occurs, pointing after the colon; null when absent.
const char *find_key(const char *text, const char *key)
{
    const std::size_t klen = std::strlen(key);
    for (const char *p = std::strchr(text, '"'); p; p = std::strchr(p + 1, '"')) {
        if (std::strncmp(p + 1, key, klen) == 0 && p[1 + klen] == '"' && p[2 + klen] == ':') return p + klen + 3;
    }
    return nullptr;
}

// Lookups of one field with alternative keys: the first key present wins.
struct WanScanner {
    const char *text;
    char value[128];

    bool get(std::initializer_list<const char *> keys)
    {
        for (const char *k : keys)
            if (ow_json_get_str(text, k, value, sizeof value) == 0) return true;
        return false;
    }
};

uint32_t ipv4_from_text(const char *s)
{
    in_addr a{};
    if (s[0] == '\0' || inet_pton(AF_INET, s, &a) != 1) return 0;
    return ntohl(a.s_addr);
}

void ipv6_from_text(const char *s, uint8_t out[16])
{
    std::memset(out, 0, 16);
    if (s[0] != '\0' && inet_pton(AF_INET6, s, out) != 1) std::memset(out, 0, 16);
}

std::string ipv4_text(uint32_t v)
{
    in_addr a{};
    a.s_addr = htonl(v);
    char buf[INET_ADDRSTRLEN];
    if (inet_ntop(AF_INET, &a, buf, sizeof buf) == nullptr) return {};
    return buf;
}

std::string ipv6_text(const uint8_t *addr)
{
    char buf[64];
    ow_ipv6_bytes_to_str(addr, buf);
    return buf;
}

uint8_t service_from_router(long v)
{
    static const uint8_t map[8] = {3, 0, 2, 100, 7, 4, 5, 6};
    return v >= 0 && v < 8 ? map[v] : 0;
}

unsigned service_to_router(uint8_t v)
{
    static const uint8_t map[8] = {1, 3, 2, 0, 5, 6, 7, 4};
    return v < 8 ? map[v] : 3;
}

// ---------------------------------------------------------------- UCI

// zkuci_get into a zeroed buffer, cut to fit, so record text fields are read
// in place; false when the option is missing.
template <std::size_t N>
bool uci_read(const char *pkg, const char *sec, const char *opt, char (&buf)[N])
{
    std::memset(buf, 0, N);
    return zkuci_get(pkg, sec, opt, buf, N) == 0;
}

void uci_set(const char *pkg, const char *sec, const char *opt, const char *value)
{
    (void)zkuci_set(pkg, sec, opt, value);
}

void uci_set(const char *pkg, const char *sec, const char *opt, std::string_view value)
{
    (void)zkuci_set(pkg, sec, opt, std::string(value).c_str());
}

void uci_set_u(const char *pkg, const char *sec, const char *opt, unsigned long v)
{
    char buf[24];
    std::snprintf(buf, sizeof buf, "%lu", v);
    (void)zkuci_set(pkg, sec, opt, buf);
}

uint8_t flag_text(const char *s) { return s[0] == '1' ? 1 : 0; }

const char *radio_section(int band) { return band ? "radio1" : "radio0"; }
const char *iface_section(int band) { return band ? "default_radio1" : "default_radio0"; }

// "disabled" option to an enable flag: missing means enabled.
uint8_t enable_from_disabled(const char *pkg, const char *sec)
{
    char buf[256];
    if (!uci_read(pkg, sec, "disabled", buf)) return 1;
    return buf[0] == '1' ? 0 : 1;
}

void read_encryption(const char *text, bool present, lldp_wlan_ssid *s)
{
    if (!present || text[0] == '\0' || std::strcmp(text, "none") == 0) {
        s->auth_mode = LLDP_AUTH_OPEN;
        s->encryption = LLDP_CIPHER_NONE;
        return;
    }
    static const struct {
        const char *prefix;
        uint8_t code;
    } kAuth[] = {{"sae-mixed", LLDP_AUTH_SAE_MIXED}, {"sae", LLDP_AUTH_SAE}, {"psk-mixed", LLDP_AUTH_PSK_MIXED},
                 {"psk2", LLDP_AUTH_PSK2},           {"psk", LLDP_AUTH_PSK}};
    s->auth_mode = LLDP_AUTH_PSK2;
    for (const auto &a : kAuth) {
        if (std::strncmp(text, a.prefix, std::strlen(a.prefix)) == 0) {
            s->auth_mode = a.code;
            break;
        }
    }
    const bool tkip = std::strstr(text, "tkip") != nullptr;
    const bool aes = std::strstr(text, "ccmp") != nullptr || std::strstr(text, "aes") != nullptr;
    s->encryption = !tkip ? LLDP_CIPHER_AES : (aes ? LLDP_CIPHER_TKIP_AES : LLDP_CIPHER_TKIP);
}

// The legacy modes carry no HT capability, so they have no htmode at all.
bool mode_without_htmode(const char *text)
{
    return std::strcmp(text, "2.4G-B") == 0 || std::strcmp(text, "2.4G-G") == 0 || std::strcmp(text, "2.4G-B/G") == 0 ||
           std::strcmp(text, "5G-A") == 0;
}

int mesh_value(const char *text) { return static_cast<int>(to_long(text)); }

}  // namespace

// ==================================================================== WAN

int ow_json_get_str(const char *text, const char *key, char *out, size_t size)
{
    if (text == nullptr || key == nullptr || out == nullptr || size == 0) return -1;
    out[0] = '\0';
    const char *p = find_key(text, key);
    if (p == nullptr) return -1;
    while (*p == ' ' || *p == '\t') ++p;
    if (*p == '"') {
        if (read_quoted(p + 1, out, size) != 0) {
            out[0] = '\0';
            return -1;
        }
        return 0;
    }
    std::size_t n = std::strcspn(p, " \t\n,}");
    if (n == 0 || n >= size) return -1;
    std::memcpy(out, p, n);
    out[n] = '\0';
    return 0;
}

int ow_json_get_u8(const char *text, const char *key, uint8_t *out)
{
    char v[32];
    if (out == nullptr || ow_json_get_str(text, key, v, sizeof v) != 0) return -1;
    if (std::strcmp(v, "true") == 0 || std::strcmp(v, "1") == 0) {
        *out = 1;
    } else if (std::strcmp(v, "false") == 0 || std::strcmp(v, "0") == 0) {
        *out = 0;
    } else if (v[0] >= '0' && v[0] <= '9') {
        *out = to_ulong(v) != 0 ? 1 : 0;
    } else {
        return -1;
    }
    return 0;
}

void ow_ipv6_bytes_to_str(const uint8_t addr[16], char out[64])
{
    out[0] = '\0';
    if (addr == nullptr || all_zero(addr, 16)) return;
    if (inet_ntop(AF_INET6, addr, out, 64) == nullptr) out[0] = '\0';
}

int ow_wan_config_parse(const char *text, lldp_wan_config *rec)
{
    if (rec == nullptr) return -1;
    std::memset(rec, 0, sizeof *rec);
    if (text == nullptr || text[0] == '\0') return -1;

    // Lookups start at connection 1 so its keys win over later connections';
    // a key it lacks may still come from a later one.
    const char *start = std::strstr(text, "\"1\"");
    if (start == nullptr) start = std::strstr(text, "\"wanId\"");
    if (start == nullptr) start = text;

    WanScanner s{start, {}};
    rec->valid = 1;
    rec->wan_id = 1;

    if (s.get({"wanName"})) copy_text(rec->wan_name, s.value);
    if (s.get({"wanMode"})) rec->wan_mode = static_cast<uint8_t>(to_long(s.value));
    if (s.get({"service"})) rec->service = service_from_router(to_long(s.value));
    if (s.get({"ipMode"})) rec->ip_mode = static_cast<uint8_t>(to_long(s.value));
    if (s.get({"ipProtocol"})) {
        const long v = to_long(s.value);
        rec->ip_protocol = v == 1 ? 0 : v == 2 ? 1 : 2;
    }
    if (s.get({"ipv6Mode"})) rec->ipv6_addr_mode = to_long(s.value) == 0 ? 1 : 0;
    {
        // A napt value that is not boolean-like lets the nat key decide.
        uint8_t b;
        if (ow_json_get_u8(start, "napt", &b) == 0 || ow_json_get_u8(start, "nat", &b) == 0) rec->nat_enable = b;
    }
    rec->vlan_id = 0xFFFF;
    if (s.get({"vid"})) {
        const long v = to_long(s.value);
        if (v >= 1 && v <= 4095) {
            rec->vlan_id = static_cast<uint16_t>(v);
            rec->vlan_mode = 1;
        }
    }
    if (s.get({"prio", "priority", "cos"})) rec->priority = static_cast<uint8_t>(to_long(s.value));
    if (s.get({"status"})) {
        uint8_t b;
        rec->conn_status = ow_json_get_u8(start, "status", &b) == 0 ? b : static_cast<uint8_t>(to_long(s.value));
    }
    if (s.get({"mtu"})) rec->mtu = static_cast<uint16_t>(to_long(s.value));
    if (s.get({"ip", "ipaddr", "ipv4Addr"})) rec->ipv4_addr = ipv4_from_text(s.value);
    if (s.get({"mask", "netmask", "ipv4Mask"})) rec->ipv4_mask = ipv4_from_text(s.value);
    if (s.get({"gateway", "ipv4Gateway"})) rec->ipv4_gateway = ipv4_from_text(s.value);
    if (s.get({"priDns", "dns", "ipv4Dns1"})) rec->ipv4_dns1 = ipv4_from_text(s.value);
    if (s.get({"secDns", "dns2", "ipv4Dns2"})) rec->ipv4_dns2 = ipv4_from_text(s.value);
    if (s.get({"priDnsV6", "ipv6Dns1"})) ipv6_from_text(s.value, rec->ipv6_dns1);
    if (s.get({"secDnsV6", "ipv6Dns2"})) ipv6_from_text(s.value, rec->ipv6_dns2);
    if (s.get({"ipv6Addr"}) && s.value[0] != '\0') {
        char *slash = std::strchr(s.value, '/');
        if (slash) {
            *slash = '\0';
            rec->ipv6_prefix_len = static_cast<uint32_t>(to_ulong(slash + 1));
        }
        ipv6_from_text(s.value, rec->ipv6_addr);
    }
    if (s.get({"ipv6Gateway"})) ipv6_from_text(s.value, rec->ipv6_gateway);
    if (s.get({"pppUser", "username", "pppUsername"})) copy_text(rec->ppp_username, s.value);
    if (s.get({"pppPwd", "password", "pppPassword"})) copy_text(rec->ppp_password, s.value);
    if (s.get({"pppServName"})) copy_text(rec->ppp_service_name, s.value);
    if (s.get({"mac", "macaddr"})) {
        unsigned m[6];
        if (std::sscanf(s.value, "%x:%x:%x:%x:%x:%x", &m[0], &m[1], &m[2], &m[3], &m[4], &m[5]) == 6)
            for (int i = 0; i < 6; ++i) rec->mac[i] = static_cast<uint8_t>(m[i]);
    }

    uint8_t auto_dns = 1, auto_dns6 = 1;
    (void)ow_json_get_u8(start, "autoDns", &auto_dns);
    (void)ow_json_get_u8(start, "autoDnsV6", &auto_dns6);
    switch (rec->ip_protocol) {
    case 1: rec->dns_manual = !auto_dns6; break;
    case 2: rec->dns_manual = auto_dns ? !auto_dns6 : 1; break;
    default: rec->dns_manual = !auto_dns; break;
    }
    return 0;
}

int ow_wan_config_document(const lldp_wan_config *rec, std::string *doc)
{
    if (rec == nullptr || doc == nullptr) return -1;

    const bool static6 = !all_zero(rec->ipv6_addr, 16);
    std::string addr6;
    int ipv6_mode;
    if (static6) {
        addr6 = ipv6_text(rec->ipv6_addr);
        addr6 += '/';
        addr6 += std::to_string(rec->ipv6_prefix_len ? rec->ipv6_prefix_len : 64u);
        ipv6_mode = 1;
    } else {
        ipv6_mode = rec->ipv6_addr_mode == 1 ? 0 : 2;
    }
    const int ip_protocol = rec->ip_protocol == 0 ? 1 : rec->ip_protocol == 1 ? 2 : 3;

    bool auto_dns;
    if (rec->ip_mode == 2)
        auto_dns = rec->dns_manual == 0;
    else
        auto_dns = rec->dns_manual == 0 && rec->ipv4_dns1 == 0 && rec->ipv4_dns2 == 0;

    bool auto_dns6;
    if (rec->ip_protocol == 1)
        auto_dns6 = rec->dns_manual == 0;
    else if (!all_zero(rec->ipv6_dns1, 16) || !all_zero(rec->ipv6_dns2, 16))
        auto_dns6 = false;
    else if (static6)
        auto_dns6 = rec->dns_manual == 0;
    else
        auto_dns6 = true;

    const bool tagged = rec->vlan_id >= 1 && rec->vlan_id <= 4095;

    platform::JsonObject o;
    o.num("wanId", rec->wan_id ? rec->wan_id : 1)
        .num("wanMode", rec->wan_mode)
        .num("ipProtocol", ip_protocol)
        .num("ipMode", rec->ip_mode)
        .num("ipv6Mode", ipv6_mode)
        .boolean("napt", rec->nat_enable != 0)
        .boolean("vlanMode", tagged)
        .num("vid", tagged ? rec->vlan_id : 0);
    if (rec->priority <= 7) o.num("prio", rec->priority);
    o.num("mtu", rec->mtu ? rec->mtu : 1500)
        .num("service", service_to_router(rec->service))
        .boolean("autoDns", auto_dns)
        .str("priDns", auto_dns ? std::string() : ipv4_text(rec->ipv4_dns1))
        .str("secDns", auto_dns ? std::string() : ipv4_text(rec->ipv4_dns2))
        .boolean("autoDnsV6", auto_dns6)
        .str("priDnsV6", auto_dns6 ? std::string() : ipv6_text(rec->ipv6_dns1))
        .str("secDnsV6", auto_dns6 ? std::string() : ipv6_text(rec->ipv6_dns2))
        .str("ipv6Addr", addr6)
        .str("ipv6Gateway", static6 ? ipv6_text(rec->ipv6_gateway) : std::string())
        .str("pppUser", field_text(rec->ppp_username))
        .str("pppPwd", field_text(rec->ppp_password))
        .str("pppServName", field_text(rec->ppp_service_name))
        .str("ip", ipv4_text(rec->ipv4_addr))
        .str("mask", ipv4_text(rec->ipv4_mask))
        .str("gateway", ipv4_text(rec->ipv4_gateway));
    std::string text = o.text();
    if (text.size() > OW_WAN_DOCUMENT_MAX) return -1;
    *doc = std::move(text);
    return 0;
}

int platform_wan_config_status_get(lldp_wan_config *rec)
{
    if (rec == nullptr) return -1;
    std::memset(rec, 0, sizeof *rec);
    std::string out;
    if (platform::syswan::all(&out) < 0 || out.empty()) return -1;
    return ow_wan_config_parse(out.c_str(), rec);
}

int platform_wan_config_status_set(const lldp_wan_config *rec)
{
    std::string doc;
    if (ow_wan_config_document(rec, &doc) != 0) return -1;
    return platform::syswan::modify(doc) == 0 ? 0 : -1;
}

// =============================================================== wireless

int ow_fill_wifi_band(lldp_wlan_config *rec, int band)
{
    if (rec == nullptr) return -1;
    std::memset(rec, 0, sizeof *rec);
    const uint8_t b = band ? LLDP_BAND_5G : LLDP_BAND_24G;
    lldp_wlan_radio &r = rec->radio;
    lldp_wlan_ssid &s = rec->ssid[0];
    r.band = b;
    r.read_mark = 1;
    s.read_mark[0] = s.read_mark[1] = 1;

    const char *radio = radio_section(b);
    const char *iface = iface_section(b);
    char buf[256];

    r.radio_enable = enable_from_disabled("wireless", radio);
    if (uci_read("wireless", radio, "country", buf)) r.country = platform_country_index(buf);
    if (uci_read("wireless", radio, "channel", buf))
        r.channel = std::strcmp(buf, "auto") == 0 ? 0 : static_cast<uint8_t>(to_ulong(buf) & 0xFF);
    if (uci_read("wireless", radio, "htmode", buf)) {
        r.chan_width = std::strstr(buf, "160") ? 5 : std::strstr(buf, "80") ? 2 : std::strstr(buf, "40") ? 1 : 0;
    }
    if (uci_read("wireless", radio, "txpower", buf)) {
        const long p = to_long(buf);
        r.tx_power = static_cast<uint8_t>(p < 0 ? 0 : p > 255 ? 255 : p);
    }
    r.mode = platform_wlan_mode_from_text(uci_read("wireless", radio, "zkhwmode", buf) ? buf : nullptr, b);
    char mesh[8];
    if (uci_read("easymesh", "easymesh_default", "mesh_switch", mesh)) r.mesh_enable = mesh_value(mesh) == 1;

    (void)uci_read("wireless", iface, "ssid", s.ssid);
    s.ssid_enable = enable_from_disabled("wireless", iface);
    if (uci_read("wireless", iface, "hidden", buf)) s.hidden = flag_text(buf);
    const bool enc = uci_read("wireless", iface, "encryption", buf);
    read_encryption(buf, enc, &s);
    (void)uci_read("wireless", iface, "key", s.key);
    s.rekey_interval = uci_read("wireless", iface, "wpa_group_rekey", buf) ? static_cast<uint32_t>(to_ulong(buf))
                                                                          : LLDP_DEFAULT_REKEY_INTERVAL;
    return 0;
}

int platform_24g_config_status_get(lldp_wlan_config *rec) { return ow_fill_wifi_band(rec, LLDP_BAND_24G); }
int platform_5g_config_status_get(lldp_wlan_config *rec) { return ow_fill_wifi_band(rec, LLDP_BAND_5G); }

int ow_apply_wifi_band(const lldp_wlan_config *rec, int band)
{
    if (rec == nullptr) return -1;
    const uint8_t b = band ? LLDP_BAND_5G : LLDP_BAND_24G;
    const lldp_wlan_radio &r = rec->radio;
    const lldp_wlan_ssid &s = rec->ssid[0];
    const char *radio = radio_section(b);
    const char *iface = iface_section(b);

    bool mesh_change = false;
    const bool mesh_wanted = r.mesh_enable != 0;
    if (r.radio_valid) {
        uci_set("wireless", radio, "disabled", r.radio_enable ? "0" : "1");
        // Both radios must share one regulatory domain.
        const char *country = platform_country_code(r.country);
        uci_set("wireless", "radio0", "country", country);
        uci_set("wireless", "radio1", "country", country);
        if (r.channel == 0)
            uci_set("wireless", radio, "channel", "auto");
        else
            uci_set_u("wireless", radio, "channel", r.channel);
        if (const char *mode = platform_wlan_mode_text_for_band(r.mode, b)) {
            uci_set("wireless", radio, "zkhwmode", mode);
            if (mode_without_htmode(mode)) {
                (void)zkuci_delete("wireless", radio, "htmode");
            } else {
                const char *family = std::strstr(mode, "AX") ? "HE" : std::strstr(mode, "AC") ? "VHT" : "HT";
                char ht[16];
                std::snprintf(ht, sizeof ht, "%s%u", family, platform_wlan_width_mhz(r.chan_width, b));
                uci_set("wireless", radio, "htmode", ht);
            }
        }
        if (r.tx_power != 0) uci_set_u("wireless", radio, "txpower", r.tx_power);

        if (b == LLDP_BAND_5G) {
            char mesh[8];
            if (uci_read("easymesh", "easymesh_default", "mesh_switch", mesh))
                mesh_change = mesh_wanted != (mesh_value(mesh) == 1);
            else
                mesh_change = mesh_wanted;
        }
    }

    if (s.ssid_valid) {
        uci_set("wireless", iface, "ssid", field_text(s.ssid));
        uci_set("wireless", iface, "disabled", s.ssid_enable ? "0" : "1");
        uci_set("wireless", iface, "hidden", s.hidden ? "1" : "0");
        const char *auth = platform_wlan_auth_text(s.auth_mode);
        // Open with WEP has no text of its own: leave the security as it is.
        const bool open_wep = s.auth_mode == LLDP_AUTH_OPEN && s.encryption == LLDP_CIPHER_WEP;
        if (auth != nullptr && !open_wep) {
            uci_set("wireless", iface, "encryption", auth);
            if (s.auth_mode != LLDP_AUTH_OPEN) {
                uci_set("wireless", iface, "key", field_text(s.key));
                if (platform_wifi_rekey_apply_enabled())
                    uci_set_u("wireless", iface, "wpa_group_rekey",
                              s.rekey_interval ? s.rekey_interval : LLDP_DEFAULT_REKEY_INTERVAL);
            }
        }
    }

    uci_commit("wireless");
    if (run_cmd({"wifi", "reload"}) != 0) run_cmd({"/sbin/wifi", "reload"});

    if (mesh_change) {
        int mode = 0;
        if (mesh_wanted) {
            uci_set("easymesh", "easymesh_default", "mesh_switch", "1");
            uci_set("easymesh", "easymesh_default", "mesh_mode", "0");
        } else {
            uci_set("easymesh", "easymesh_default", "mesh_switch", "0");
            char m[8];
            if (uci_read("easymesh", "easymesh_default", "mesh_mode", m)) mode = mesh_value(m);
        }
        uci_commit("easymesh");
        const std::string doc =
            platform::JsonObject().num("mesh_switch", mesh_wanted ? 1 : 0).num("mesh_mode", mode).text();
        run_cmd({"/bin/ubus", "call", "em.web_info", "set", doc.c_str()});
    }
    return 0;
}

int platform_wlan_config_status_set(const lldp_wlan_config *rec)
{
    if (rec == nullptr) return -1;
    return ow_apply_wifi_band(rec, rec->radio.band != 0 ? LLDP_BAND_5G : LLDP_BAND_24G);
}

// ===================================================== TR-069, STUN, MQTT

int platform_tr069_config_status_get(lldp_tr069_config *rec)
{
    if (rec == nullptr) return -1;
    std::memset(rec, 0, sizeof *rec);
    char buf[256];
    if (uci_read("easycwmp", "@acs[0]", "enablecwmp", buf)) rec->cwmp_enable = flag_text(buf);
    if (uci_read("easycwmp", "@acs[0]", "periodic_enable", buf)) rec->inform_enable = flag_text(buf);
    if (uci_read("easycwmp", "@acs[0]", "periodic_interval", buf))
        rec->inform_interval = static_cast<uint32_t>(to_ulong(buf));
    if (uci_read("easycwmp", "@acs[0]", "certificate_enable", buf)) rec->certificate_enable = flag_text(buf);
    (void)uci_read("easycwmp", "@acs[0]", "url", rec->acs_url);
    (void)uci_read("easycwmp", "@acs[0]", "username", rec->acs_username);
    (void)uci_read("easycwmp", "@acs[0]", "password", rec->acs_password);
    (void)uci_read("easycwmp", "@local[0]", "username", rec->conn_req_username);
    (void)uci_read("easycwmp", "@local[0]", "password", rec->conn_req_password);
    // The project id belongs to the cloud agent's configuration.
    (void)uci_read("mqtt_kpsm", "mqtt_kpsm", "project_id", rec->project_id);
    return 0;
}

int platform_tr069_config_status_set(const lldp_tr069_config *rec)
{
    if (rec == nullptr) return -1;
    uci_set_u("easycwmp", "@acs[0]", "enablecwmp", rec->cwmp_enable);
    uci_set_u("easycwmp", "@acs[0]", "periodic_enable", rec->inform_enable);
    uci_set_u("easycwmp", "@acs[0]", "periodic_interval", rec->inform_interval);
    uci_set_u("easycwmp", "@acs[0]", "certificate_enable", rec->certificate_enable);
    // An empty text means the ONT provided none: keep the router's.
    struct {
        const char *section, *option;
        std::string_view value;
    } const texts[] = {
        {"@acs[0]", "url", field_text(rec->acs_url)},
        {"@acs[0]", "username", field_text(rec->acs_username)},
        {"@acs[0]", "password", field_text(rec->acs_password)},
        {"@local[0]", "username", field_text(rec->conn_req_username)},
        {"@local[0]", "password", field_text(rec->conn_req_password)},
    };
    for (const auto &t : texts)
        if (!t.value.empty()) uci_set("easycwmp", t.section, t.option, t.value);
    const std::string_view project = field_text(rec->project_id);
    if (!project.empty()) uci_set("mqtt_kpsm", "mqtt_kpsm", "project_id", project);

    uci_commit("easycwmp");
    // Without its own commit the project id would not survive a reboot.
    if (!project.empty()) uci_commit("mqtt_kpsm");
    run_cmd({"/etc/init.d/easycwmpd", "reload"});
    return 0;
}

int platform_stun_config_status_get(lldp_stun_config *rec)
{
    if (rec == nullptr) return -1;
    std::memset(rec, 0, sizeof *rec);
    char buf[256];
    if (uci_read("stun", "@stun[0]", "stun_enable", buf)) rec->stun_enable = flag_text(buf);
    (void)uci_read("stun", "@stun[0]", "serveraddress", rec->server_addr);
    if (uci_read("stun", "@stun[0]", "serverport", buf)) rec->server_port = static_cast<uint16_t>(to_ulong(buf) & 0xFFFF);
    (void)uci_read("stun", "@stun[0]", "username", rec->username);
    (void)uci_read("stun", "@stun[0]", "password", rec->password);
    return 0;
}

int platform_stun_config_status_set(const lldp_stun_config *rec)
{
    if (rec == nullptr) return -1;
    uci_set_u("stun", "@stun[0]", "stun_enable", rec->stun_enable);
    uci_set("stun", "@stun[0]", "serveraddress", field_text(rec->server_addr));
    uci_set_u("stun", "@stun[0]", "serverport", rec->server_port);
    uci_set("stun", "@stun[0]", "username", field_text(rec->username));
    uci_set("stun", "@stun[0]", "password", field_text(rec->password));
    uci_commit("stun");
    run_cmd({"/etc/init.d/stun-client", "reload"});
    return 0;
}

int ow_mqtt_config_read(lldp_mqtt_config *rec, const char *status_path)
{
    if (rec == nullptr) return -1;
    std::memset(rec, 0, sizeof *rec);
    if (status_path != nullptr) {
        if (FILE *f = std::fopen(status_path, "r")) {
            char line[8] = {};
            if (std::fgets(line, sizeof line, f) != nullptr) rec->connect_status = line[0] == '1';
            std::fclose(f);
        }
    }
    char buf[256];
    if (uci_read("mqtt_kpsm", "mqtt_kpsm", "enable", buf)) rec->enable = flag_text(buf);
    (void)uci_read("mqtt_kpsm", "mqtt_kpsm", "addr", rec->server_addr);
    (void)uci_read("mqtt_kpsm", "mqtt_kpsm", "username", rec->username);
    (void)uci_read("mqtt_kpsm", "mqtt_kpsm", "password", rec->password);
    (void)uci_read("mqtt_kpsm", "mqtt_kpsm", "project_id", rec->project_id);
    return 0;
}

int platform_mqtt_config_status_get(lldp_mqtt_config *rec)
{
    return ow_mqtt_config_read(rec, "/tmp/kpsm_connect_status");
}

int platform_mqtt_config_status_set(const lldp_mqtt_config *rec)
{
    if (rec == nullptr) return -1;
    uci_set_u("mqtt_kpsm", "mqtt_kpsm", "enable", rec->enable);
    uci_set("mqtt_kpsm", "mqtt_kpsm", "addr", field_text(rec->server_addr));
    uci_set("mqtt_kpsm", "mqtt_kpsm", "username", field_text(rec->username));
    uci_set("mqtt_kpsm", "mqtt_kpsm", "password", field_text(rec->password));
    uci_set("mqtt_kpsm", "mqtt_kpsm", "project_id", field_text(rec->project_id));
    uci_commit("mqtt_kpsm");
    run_cmd({"/etc/init.d/mqtt_kpsm", "reload"});
    return 0;
}

// ============================================================ device mode

namespace {

constexpr const char *kDefaultAdminPassword = "pqrGTW735";

// chpasswd reads "user:password" lines: a colon or a control character in
// the name would change which account, or how many, it sets.
bool user_name_usable(const char *name)
{
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(name); *p; ++p)
        if (*p == ':' || *p < 0x20 || *p == 0x7F) return false;
    return true;
}

}  // namespace

int ow_set_admin_password(void)
{
    char user[64];
    if (!uci_read("rpcd", "@login[0]", "username", user) || user[0] == '\0') copy_text(user, "admin");
    if (!user_name_usable(user)) {
        std::printf("ow_set_admin_password: rpcd user name not usable for chpasswd, password not set\n");
        std::fflush(stdout);
        return -1;
    }
    std::string line = user;
    line += ':';
    line += kDefaultAdminPassword;
    line += '\n';
    const int st = run_cmd({"chpasswd"}, line);
    if (st != 0) {
        std::printf("ow_set_admin_password: chpasswd failed (status %d)\n", st);
        std::fflush(stdout);
        return -1;
    }

    char clear[8];
    if (uci_read("custom", "olt_config", "rpcd_clear_password_enable", clear) && clear[0] == '1')
        uci_set("rpcd", "@login[0]", "clear_password", kDefaultAdminPassword);
    else
        (void)zkuci_delete("rpcd", "@login[0]", "clear_password");
    uci_commit("rpcd");
    return 0;
}

int platform_device_mode_change(void)
{
    char flag[32];
    if (!uci_read("custom", "first_login", "first_admin_login_flag", flag) || flag[0] != '1') return 1;
    // Only a password that was really set ends the first-login state;
    // otherwise the next authentication tries again.
    if (ow_set_admin_password() != 0) return -1;
    uci_set("custom", "first_login", "first_admin_login_flag", "0");
    uci_commit("custom");
    std::printf("platform_device_mode_change: skip quick config, admin password set\n");
    std::fflush(stdout);
    return 0;
}

void platform_auth(void *arg, int event)
{
    (void)arg;
    if (event == 1) (void)platform_device_mode_change();
}

void ow_set_command_runner(ow_command_runner runner) { g_runner = runner ? runner : default_runner; }
