// provgen: turns a readable provisioning profile into the OMCI messages and
// OAM payloads an ONT would send, one hex line each, for `ontsim omci HEX`
// and `ontsim oam HEX`.
//
// Profile lines (blank lines and lines starting with '#' are skipped):
//   omci CLASS INSTANCE ATTRIBUTE VALUE
//   oam OBJECT [INSTANCE] [z] FIELD=VALUE FIELD=VALUE ...
// An OMCI VALUE is the rest of the line: a number, a dotted IPv4 address, an
// IPv6 or MAC address for attributes of that width, else a text. A text
// attribute split by the ONT into pieces (name1, name2, ...) is named without
// the digit and spread over the pieces. One Set message per attribute.
// OAM OBJECTs: tr069 stun mqtt radio24 radio5 ssid wan4; FIELD names are the
// value layout's fields; 'z' sends the object in a compressed container.
// OAM texts cannot hold blanks.
#include <arpa/inet.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "uplinkd/oam_mib_build.h"
#include "uplinkd/omci_attr.h"

namespace {

using Bytes = std::vector<uint8_t>;

void put_be(Bytes &b, uint64_t v, size_t width)
{
    for (size_t i = 0; i < width; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * (width - 1 - i))));
}

bool parse_number(const std::string &s, uint64_t &out)
{
    if (s.empty()) return false;
    char *end = nullptr;
    out = std::strtoull(s.c_str(), &end, 0);
    return end && *end == '\0';
}

// The bytes of `value` for a field of `width` bytes: number, address or text.
Bytes encode_value(const std::string &value, size_t width)
{
    Bytes b;
    uint64_t n = 0;
    in_addr v4{};
    uint8_t v6[16];
    unsigned mac[6];
    if (width <= 4 && parse_number(value, n)) {
        put_be(b, n, width);
    } else if (width == 4 && inet_pton(AF_INET, value.c_str(), &v4) == 1) {
        uint32_t host = ntohl(v4.s_addr);
        put_be(b, host, 4);
    } else if (width == 16 && inet_pton(AF_INET6, value.c_str(), v6) == 1) {
        b.assign(v6, v6 + 16);
    } else if (width == 6 && std::sscanf(value.c_str(), "%x:%x:%x:%x:%x:%x", &mac[0], &mac[1], &mac[2], &mac[3],
                                         &mac[4], &mac[5]) == 6) {
        for (unsigned m : mac) b.push_back(static_cast<uint8_t>(m));
    } else {
        b.assign(value.begin(), value.end());
    }
    b.resize(width, 0);
    return b;
}

std::string hex(const Bytes &b)
{
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (uint8_t c : b) {
        s += digits[c >> 4];
        s += digits[c & 15];
    }
    return s;
}

const omci_attr_desc *find_attr(const omci_me_desc *d, const std::string &name)
{
    for (uint32_t k = 0; k < d->attr_count; ++k)
        if (name == d->attrs[k].name) return &d->attrs[k];
    return nullptr;
}

void print_set(uint16_t cls, uint16_t inst, const omci_attr_desc &a, const Bytes &value)
{
    Bytes m(48, 0);
    m[0] = 0x80;
    m[1] = 0x01;
    m[2] = 0x48;  // Set
    m[3] = 0x0A;
    m[4] = static_cast<uint8_t>(cls >> 8);
    m[5] = static_cast<uint8_t>(cls);
    m[6] = static_cast<uint8_t>(inst >> 8);
    m[7] = static_cast<uint8_t>(inst);
    m[8] = static_cast<uint8_t>(a.mask >> 8);
    m[9] = static_cast<uint8_t>(a.mask);
    for (size_t i = 0; i < value.size() && 10 + i < 40; ++i) m[10 + i] = value[i];
    m[43] = 0x28;
    std::printf("%s\n", hex(m).c_str());
}

bool omci_line(const std::string &rest)
{
    char name[64];
    unsigned cls = 0, inst = 0;
    int used = 0;
    if (std::sscanf(rest.c_str(), "%u %u %63s %n", &cls, &inst, name, &used) < 3) return false;
    std::string value = rest.substr(static_cast<size_t>(used));
    const omci_me_desc *d = get_attr_desc_by_classid(cls);
    if (d == nullptr) return false;
    if (const omci_attr_desc *a = find_attr(d, name)) {
        print_set(static_cast<uint16_t>(cls), static_cast<uint16_t>(inst), *a, encode_value(value, a->size));
        return true;
    }
    // A text the ONT splits over numbered pieces.
    size_t at = 0;
    bool any = false;
    for (int piece = 1;; ++piece) {
        const omci_attr_desc *a = find_attr(d, std::string(name) + std::to_string(piece));
        if (a == nullptr) break;
        any = true;
        Bytes chunk(a->size, 0);
        for (size_t i = 0; i < a->size && at < value.size(); ++i) chunk[i] = static_cast<uint8_t>(value[at++]);
        print_set(static_cast<uint16_t>(cls), static_cast<uint16_t>(inst), *a, chunk);
    }
    return any;
}

// ---- OAM ----

struct Field {
    const char *name;
    size_t offset, size;
    bool text;
};

#define NUM(T, f) {#f, offsetof(T, f), sizeof(T::f), false}
#define TXT(T, f) {#f, offsetof(T, f), sizeof(T::f), true}

const Field kTr069[] = {NUM(oam_tr069_view, cwmp_enable), TXT(oam_tr069_view, acs_url),
                        TXT(oam_tr069_view, acs_username), TXT(oam_tr069_view, acs_password),
                        NUM(oam_tr069_view, certificate_enable), NUM(oam_tr069_view, inform_enable),
                        NUM(oam_tr069_view, inform_interval), TXT(oam_tr069_view, conn_req_username),
                        TXT(oam_tr069_view, conn_req_password), TXT(oam_tr069_view, project_id)};
const Field kStun[] = {NUM(oam_stun_view, stun_enable), TXT(oam_stun_view, server_addr),
                       NUM(oam_stun_view, server_port), TXT(oam_stun_view, username), TXT(oam_stun_view, password)};
const Field kMqtt[] = {NUM(oam_mqtt_view, connect_status), NUM(oam_mqtt_view, enable),
                       TXT(oam_mqtt_view, server_addr),    TXT(oam_mqtt_view, username),
                       TXT(oam_mqtt_view, password),       TXT(oam_mqtt_view, project_id)};
const Field kRadio[] = {NUM(oam_radio_object, radio_enable), NUM(oam_radio_object, country),
                        NUM(oam_radio_object, channel),      NUM(oam_radio_object, mode),
                        NUM(oam_radio_object, tx_power),     NUM(oam_radio_object, chan_width),
                        NUM(oam_radio_object, mesh_enable)};
const Field kSsid[] = {TXT(oam_ssid_object, ssid),       NUM(oam_ssid_object, ssid_enable),
                       NUM(oam_ssid_object, hidden),     NUM(oam_ssid_object, auth_mode),
                       NUM(oam_ssid_object, encryption), TXT(oam_ssid_object, key),
                       NUM(oam_ssid_object, rekey_interval)};
const Field kWan4[] = {
    NUM(oam_wan_v4_entry, wan_id),       NUM(oam_wan_v4_entry, service),      NUM(oam_wan_v4_entry, wan_mode),
    NUM(oam_wan_v4_entry, vlan_id),      NUM(oam_wan_v4_entry, priority),     NUM(oam_wan_v4_entry, nat_enable),
    NUM(oam_wan_v4_entry, ip_mode),      NUM(oam_wan_v4_entry, ipv4_addr),    NUM(oam_wan_v4_entry, ipv4_mask),
    NUM(oam_wan_v4_entry, ipv4_gateway), NUM(oam_wan_v4_entry, ipv4_dns1),    NUM(oam_wan_v4_entry, ipv4_dns2),
    TXT(oam_wan_v4_entry, ppp_username), TXT(oam_wan_v4_entry, ppp_password), TXT(oam_wan_v4_entry, ppp_service_name),
    NUM(oam_wan_v4_entry, pppoe_dial_pattern), NUM(oam_wan_v4_entry, qos_enable), NUM(oam_wan_v4_entry, vlan_mode),
    TXT(oam_wan_v4_entry, wan_name),     NUM(oam_wan_v4_entry, mtu)};

struct Object {
    const char *name;
    uint16_t leaf;
    size_t size;
    const Field *fields;
    size_t count;
};

const Object kObjects[] = {
    {"tr069", OAM_LEAF_TR069, sizeof(oam_tr069_view), kTr069, std::size(kTr069)},
    {"stun", OAM_LEAF_STUN, sizeof(oam_stun_view), kStun, std::size(kStun)},
    {"mqtt", OAM_LEAF_MQTT, sizeof(oam_mqtt_view), kMqtt, std::size(kMqtt)},
    {"radio24", OAM_LEAF_RADIO24, OAM_RADIO24_LEN, kRadio, std::size(kRadio)},
    {"radio5", OAM_LEAF_RADIO5, OAM_RADIO5_LEN, kRadio, std::size(kRadio)},
    {"ssid", OAM_LEAF_SSID, sizeof(oam_ssid_object), kSsid, std::size(kSsid)},
    {"wan4", OAM_LEAF_WAN_V4_LIST, sizeof(oam_wan_v4_entry), kWan4, std::size(kWan4)},
};

// A whole object split into containers of at most 128 bytes; a full one is
// written with width 0.
void containers(Bytes &b, uint16_t leaf, const Bytes &value)
{
    for (size_t at = 0; at < value.size(); at += 128) {
        size_t n = value.size() - at < 128 ? value.size() - at : 128;
        b.push_back(0xC7);
        put_be(b, leaf, 2);
        b.push_back(static_cast<uint8_t>(n == 128 ? 0 : n));
        b.insert(b.end(), value.begin() + static_cast<long>(at), value.begin() + static_cast<long>(at + n));
    }
}

bool oam_line(const std::string &rest)
{
    std::vector<std::string> words;
    size_t pos = 0;
    while (pos < rest.size()) {
        size_t start = rest.find_first_not_of(' ', pos);
        if (start == std::string::npos) break;
        size_t end = rest.find(' ', start);
        if (end == std::string::npos) end = rest.size();
        words.push_back(rest.substr(start, end - start));
        pos = end;
    }
    if (words.empty()) return false;
    const Object *obj = nullptr;
    for (const Object &o : kObjects)
        if (words[0] == o.name) obj = &o;
    if (obj == nullptr) return false;

    Bytes value(obj->size, 0);
    bool compressed = false;
    uint64_t instance = 0;
    bool has_instance = false;
    for (size_t w = 1; w < words.size(); ++w) {
        const std::string &word = words[w];
        size_t eq = word.find('=');
        if (eq == std::string::npos) {
            if (word == "z") compressed = true;
            else if (parse_number(word, instance)) has_instance = true;
            else return false;
            continue;
        }
        std::string fname = word.substr(0, eq), fvalue = word.substr(eq + 1);
        const Field *f = nullptr;
        for (size_t k = 0; k < obj->count; ++k)
            if (fname == obj->fields[k].name) f = &obj->fields[k];
        if (f == nullptr || f->offset + f->size > value.size()) return false;
        Bytes enc = f->text ? Bytes(fvalue.begin(), fvalue.end()) : encode_value(fvalue, f->size);
        enc.resize(f->size, 0);
        std::memcpy(value.data() + f->offset, enc.data(), f->size);
    }
    if (obj->leaf == OAM_LEAF_WAN_V4_LIST) {  // a list of one entry
        Bytes list;
        put_be(list, 1, 2);
        list.insert(list.end(), value.begin(), value.end());
        value = list;
    }

    Bytes msg = {0x11, 0x22, 0x33, 0x03};
    if (has_instance) {
        msg.push_back(0x37);
        put_be(msg, 1, 2);
        msg.push_back(4);
        put_be(msg, instance, 4);
    }
    if (!compressed) {
        containers(msg, obj->leaf, value);
    } else {
        Bytes inner;
        containers(inner, obj->leaf, value);
        uLongf n = compressBound(inner.size());
        Bytes packed(n);
        if (compress(packed.data(), &n, inner.data(), inner.size()) != Z_OK) return false;
        packed.resize(n);
        containers(msg, 0x22FF, packed);
    }
    std::printf("%s\n", hex(msg).c_str());
    return true;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 2 || argv[1][0] == '-') {
        std::fprintf(stderr, "usage: provgen PROFILE   (- for standard input)\n");
        return 2;
    }
    FILE *in = std::strcmp(argv[1], "-") == 0 ? stdin : std::fopen(argv[1], "r");
    if (in == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    char line[1024];
    int lineno = 0, bad = 0;
    while (std::fgets(line, sizeof line, in)) {
        ++lineno;
        std::string s(line);
        while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
        size_t start = s.find_first_not_of(" \t");
        if (start == std::string::npos || s[start] == '#') continue;
        s = s.substr(start);
        bool ok = false;
        if (s.rfind("omci ", 0) == 0) ok = omci_line(s.substr(5));
        else if (s.rfind("oam ", 0) == 0) ok = oam_line(s.substr(4));
        if (!ok) {
            std::fprintf(stderr, "provgen: line %d not understood: %s\n", lineno, s.c_str());
            ++bad;
        }
    }
    if (in != stdin) std::fclose(in);
    return bad ? 1 : 0;
}
