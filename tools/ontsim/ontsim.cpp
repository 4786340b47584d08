// ontsim: plays the ONT's side of the LLDP link to the router on one port.
// Built on the agent's own codec; used for bring-up, the end-to-end tests
// and the demo.
#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <poll.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "uplinkd/device_api.h"
#include "uplinkd/lldp_auth_crypto.h"
#include "uplinkd/lldp_build.h"
#include "uplinkd/lldp_free.h"
#include "uplinkd/lldp_parse.h"
#include "uplinkd_key.h"

namespace {

using Bytes = std::vector<uint8_t>;

const char kUsage[] =
    "usage: ontsim [OPTIONS] STEP...\n"
    "\n"
    "Plays the ONT on one port of the router: sends LLDP frames with the vendor\n"
    "TLVs of the ONT protocol (OUI 5e:2b:91) and prints what the agent answers.\n"
    "Steps run in order; the exit status is 0 when every step succeeded, 1 when\n"
    "one failed (ontsim stops there), 2 for a usage error.\n"
    "\n"
    "Options:\n"
    "  -i, --port IF       port to speak on (default p-eth3, the peer of eth3)\n"
    "  -k, --key HEX       the shared key, 64 hex digits (default: this build's key)\n"
    "      --key-file F    read the key (64 hex digits) from the file F\n"
    "  -t, --timeout MS    how long to wait for each answer (default 1000)\n"
    "      --mac MAC       source MAC of the frames (default: the port's own)\n"
    "  -v, --verbose       also print every payload in hex\n"
    "  -h, --help          this text\n"
    "\n"
    "Steps:\n"
    "  hello               send {0}; the agent answers {1: challenge} or, when\n"
    "                      this ONT is already authenticated, {5}\n"
    "  auth                authenticate: hello, then answer the agent's challenge\n"
    "                      with {1: C, 2: response(C)}; succeeds on {1, 2, 3}\n"
    "  check               check the agent (after auth): send a fresh random\n"
    "                      challenge {1: C'}, verify its {1: C', 2: R'}, then\n"
    "                      confirm with {1: C', 2: R', 3}\n"
    "  keepalive           send {5}\n"
    "  fail                send {4} (ends the session)\n"
    "  send TLV[,TLV]...   one frame with raw vendor TLVs; TLV is SUB, SUB=HEX or\n"
    "                      SUB=@FILE (payload from a file; split into TLVs of at\n"
    "                      most 507 bytes)\n"
    "  omci HEX|@FILE      provisioning: OMCI data as subtype-6 TLVs\n"
    "  oam HEX|@FILE       provisioning: OAM data as subtype-8 TLVs\n"
    "  status              status request {11}; prints every status record that\n"
    "                      comes back within the time-out (subtype, length, hex,\n"
    "                      and the texts it holds with their offsets)\n"
    "  expect SUBS         the last answer's subtypes must be SUBS, e.g. 1,2,3;\n"
    "                      \"none\" when there must have been no answer\n"
    "  listen MS           print whatever arrives during MS milliseconds\n"
    "  sleep MS            wait\n"
    "\n"
    "Every frame received is printed as one line:\n"
    "  rx SRC-MAC TLVS     TLVS as SUBTYPE:LENGTH, e.g. 1:32 2:32 3:0\n"
    "\n"
    "Example: ontsim -i p-eth3 auth check status\n";

struct Tlv {
    int subtype;
    Bytes payload;
};

struct Options {
    std::string port = "p-eth3";
    uint8_t key[32];
    int timeout_ms = 1000;
    bool have_mac = false;
    uint8_t mac[6];
    bool verbose = false;
};

Options g_opt;
int g_sock = -1;
int g_ifindex = 0;
std::vector<int> g_last;  // subtypes of the last answer; empty: none
bool g_last_any = false;

std::string hex_of(const uint8_t *p, size_t n) {
    static const char d[] = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s += d[p[i] >> 4];
        s += d[p[i] & 15];
    }
    return s;
}

bool parse_hex(const char *text, Bytes &out) {
    out.clear();
    std::string digits;
    for (const char *c = text; *c; ++c) {
        if (*c == ' ' || *c == ':' || *c == '\n' || *c == '\t' || *c == '\r') continue;
        digits += *c;
    }
    if (digits.size() % 2) return false;
    for (size_t i = 0; i < digits.size(); i += 2) {
        char pair[3] = {digits[i], digits[i + 1], 0};
        char *end = nullptr;
        const unsigned long v = std::strtoul(pair, &end, 16);
        if (*end) return false;
        out.push_back(static_cast<uint8_t>(v));
    }
    return true;
}

bool read_file(const char *path, Bytes &out) {
    FILE *f = std::fopen(path, "rb");
    if (!f) return false;
    out.clear();
    uint8_t buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0) out.insert(out.end(), buf, buf + n);
    std::fclose(f);
    return true;
}

// HEX or @FILE.
bool payload_arg(const char *arg, Bytes &out) {
    if (arg[0] == '@') {
        if (!read_file(arg + 1, out)) {
            std::fprintf(stderr, "ontsim: cannot read %s: %s\n", arg + 1, std::strerror(errno));
            return false;
        }
        return true;
    }
    if (!parse_hex(arg, out)) {
        std::fprintf(stderr, "ontsim: not hex: %s\n", arg);
        return false;
    }
    return true;
}

bool parse_int(const char *s, long lo, long hi, long &v) {
    char *end = nullptr;
    errno = 0;
    v = std::strtol(s, &end, 10);
    return s[0] && !*end && errno == 0 && v >= lo && v <= hi;
}

void sleep_ms(long ms) {
    timespec ts{ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

long now_ms() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000L + ts.tv_nsec / 1000000L;
}

bool open_port() {
    g_ifindex = static_cast<int>(if_nametoindex(g_opt.port.c_str()));
    if (g_ifindex <= 0) {
        std::fprintf(stderr, "ontsim: no interface %s\n", g_opt.port.c_str());
        return false;
    }
    if (!g_opt.have_mac && lldp_dev_get_if_hwaddr(g_opt.port.c_str(), g_opt.mac) != 0) {
        std::fprintf(stderr, "ontsim: cannot read the MAC of %s\n", g_opt.port.c_str());
        return false;
    }
    g_sock = socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, htons(LLDP_DEV_ETHERTYPE));
    if (g_sock < 0) {
        std::fprintf(stderr, "ontsim: packet socket: %s\n", std::strerror(errno));
        return false;
    }
    sockaddr_ll a{};
    a.sll_family = AF_PACKET;
    a.sll_protocol = htons(LLDP_DEV_ETHERTYPE);
    a.sll_ifindex = g_ifindex;
    if (bind(g_sock, reinterpret_cast<sockaddr *>(&a), sizeof(a)) != 0) {
        std::fprintf(stderr, "ontsim: bind to %s: %s\n", g_opt.port.c_str(), std::strerror(errno));
        return false;
    }
    return true;
}

bool send_tlvs(const std::vector<Tlv> &tlvs) {
    std::vector<lldp_org_entry> orgs(tlvs.size());
    for (size_t i = 0; i < tlvs.size(); ++i) {
        if (lldp_build_prepare_org(tlvs[i].subtype, tlvs[i].payload.data(),
                                   static_cast<uint32_t>(tlvs[i].payload.size()), &orgs[i]) != 0) {
            std::fprintf(stderr, "ontsim: vendor TLV payload over 507 bytes\n");
            return false;
        }
    }
    lldp_frame_desc d{};
    d.chassis_mac = g_opt.mac;
    d.port_mac = g_opt.mac;
    d.ttl = 120;
    d.port_desc = g_opt.port.c_str();
    d.system_name = "ontsim";
    d.sys_caps = 0x0014;
    d.sys_caps_enabled = 0x0014;
    d.orgs = orgs.data();
    d.org_count = static_cast<uint8_t>(orgs.size());
    uint8_t frame[LLDP_FRAME_MAX];
    lldp_packer p{};
    lldp_build_packer_init(&p, frame, sizeof(frame));
    if (orgs.size() > 255 || lldp_build_frame(&p, &d) != 0) {
        std::fprintf(stderr, "ontsim: the frame does not fit in %zu bytes\n", sizeof(frame));
        return false;
    }
    std::printf("tx");
    for (const auto &t : tlvs) std::printf(" %d:%zu", t.subtype, t.payload.size());
    std::printf("\n");
    if (g_opt.verbose)
        for (const auto &t : tlvs)
            if (!t.payload.empty()) std::printf("  %d: %s\n", t.subtype, hex_of(t.payload.data(), t.payload.size()).c_str());

    // Whatever arrived before this frame is no answer to it.
    uint8_t junk[LLDP_FRAME_MAX];
    while (recv(g_sock, junk, sizeof(junk), MSG_DONTWAIT) > 0) {
    }
    sockaddr_ll a{};
    a.sll_family = AF_PACKET;
    a.sll_protocol = htons(LLDP_DEV_ETHERTYPE);
    a.sll_ifindex = g_ifindex;
    if (sendto(g_sock, frame, p.used, 0, reinterpret_cast<sockaddr *>(&a), sizeof(a)) != static_cast<ssize_t>(p.used)) {
        std::fprintf(stderr, "ontsim: send on %s: %s\n", g_opt.port.c_str(), std::strerror(errno));
        return false;
    }
    return true;
}

// The next frame with vendor TLVs from someone else, within `deadline`.
bool recv_tlvs(long deadline, std::vector<Tlv> &tlvs) {
    for (;;) {
        const long left = deadline - now_ms();
        if (left <= 0) return false;
        pollfd pfd{g_sock, POLLIN, 0};
        if (poll(&pfd, 1, static_cast<int>(left)) <= 0) continue;
        uint8_t frame[LLDP_FRAME_MAX + 100];
        sockaddr_ll from{};
        socklen_t from_len = sizeof(from);
        const ssize_t n = recvfrom(g_sock, frame, sizeof(frame), 0, reinterpret_cast<sockaddr *>(&from), &from_len);
        if (n < 14 || from.sll_pkttype == PACKET_OUTGOING || std::memcmp(frame + 6, g_opt.mac, 6) == 0) continue;
        const uint8_t *pdu = nullptr;
        size_t pdu_len = 0;
        if (lldp_parse_eth_lldpdu(frame, static_cast<size_t>(n), &pdu, &pdu_len) != 0) continue;
        lldp_info *info = lldp_parse_packet(pdu, pdu_len);
        if (!info) {
            std::printf("rx %s undecodable LLDPDU of %zd bytes\n", hex_of(frame + 6, 6).c_str(), n);
            continue;
        }
        tlvs.clear();
        for (int32_t i = 0; i < info->org_count; ++i) {
            const lldp_org_tlv *t = info->org_tlvs[i];
            if (std::memcmp(t->oui, lldp_build_default_org_oui(), 3) != 0) continue;
            tlvs.push_back({t->subtype, t->data ? Bytes(t->data, t->data + (t->hdr.length - 4)) : Bytes{}});
        }
        std::string src;
        for (int i = 0; i < 6; ++i) {
            char b[4];
            std::snprintf(b, sizeof(b), i ? ":%02x" : "%02x", frame[6 + i]);
            src += b;
        }
        std::printf("rx %s", src.c_str());
        if (info->system_name) std::printf(" (%s)", info->system_name->text);
        lldp_free_info(info);
        for (const auto &t : tlvs) std::printf(" %d:%zu", t.subtype, t.payload.size());
        std::printf("\n");
        if (g_opt.verbose)
            for (const auto &t : tlvs)
                if (!t.payload.empty())
                    std::printf("  %d: %s\n", t.subtype, hex_of(t.payload.data(), t.payload.size()).c_str());
        if (tlvs.empty()) continue;
        return true;
    }
}

// Sends one frame and waits for one answer; the answer's subtypes become
// what `expect` checks.
bool exchange(const std::vector<Tlv> &out, std::vector<Tlv> &in) {
    if (!send_tlvs(out)) return false;
    in.clear();
    g_last.clear();
    g_last_any = recv_tlvs(now_ms() + g_opt.timeout_ms, in);
    if (!g_last_any) {
        std::printf("no answer\n");
        in.clear();
    }
    for (const auto &t : in) g_last.push_back(t.subtype);
    return true;
}

std::vector<int> subs(const std::vector<Tlv> &t) {
    std::vector<int> s;
    for (const auto &x : t) s.push_back(x.subtype);
    return s;
}

const Tlv *find(const std::vector<Tlv> &t, int subtype) {
    for (const auto &x : t)
        if (x.subtype == subtype) return &x;
    return nullptr;
}

Bytes response(const Bytes &challenge) {
    Bytes r(32);
    calculate_response_with_key(g_opt.key, challenge.data(), r.data());
    return r;
}

bool step_auth() {
    std::vector<Tlv> in;
    if (!exchange({{0, {}}}, in)) return false;
    if (subs(in) == std::vector<int>{5}) {
        std::printf("auth: already authenticated\n");
        return true;
    }
    const Tlv *c = find(in, 1);
    if (!c || c->payload.size() != 32) {
        std::printf("auth: FAILED (no challenge from the agent)\n");
        return false;
    }
    const Bytes challenge = c->payload;
    const Bytes resp = response(challenge);
    if (!exchange({{1, challenge}, {2, resp}}, in)) return false;
    if (subs(in) != std::vector<int>{1, 2, 3}) {
        std::printf("auth: FAILED (the agent refused the response)\n");
        return false;
    }
    // The agent's echo must be the answer under the same key.
    if (find(in, 1)->payload != challenge || find(in, 2)->payload != resp) {
        std::printf("auth: FAILED (the agent's confirmation does not match)\n");
        return false;
    }
    std::printf("auth: ok\n");
    return true;
}

bool step_check() {
    Bytes mine(32);
    if (getrandom(mine.data(), mine.size(), 0) != 32) return false;
    std::vector<Tlv> in;
    if (!exchange({{1, mine}}, in)) return false;
    const Tlv *c = find(in, 1);
    const Tlv *r = find(in, 2);
    if (!c || !r) {
        std::printf("check: FAILED (the agent did not answer the challenge)\n");
        return false;
    }
    if (c->payload != mine || r->payload != response(mine)) {
        std::printf("check: FAILED (the agent's response is wrong: another key)\n");
        return false;
    }
    const Bytes resp = r->payload;
    if (!send_tlvs({{1, mine}, {2, resp}, {3, {}}})) return false;
    std::printf("check: ok (the agent holds the key)\n");
    return true;
}

// Splits provisioning data into TLVs of one subtype.
std::vector<Tlv> split(int subtype, const Bytes &data) {
    std::vector<Tlv> out;
    for (size_t off = 0; off < data.size(); off += LLDP_ORG_MAX_PAYLOAD) {
        const size_t n = std::min<size_t>(LLDP_ORG_MAX_PAYLOAD, data.size() - off);
        out.push_back({subtype, Bytes(data.begin() + static_cast<long>(off), data.begin() + static_cast<long>(off + n))});
    }
    if (out.empty()) out.push_back({subtype, {}});
    return out;
}

bool parse_tlv_list(const char *list, std::vector<Tlv> &tlvs) {
    std::string s(list);
    size_t pos = 0;
    while (pos <= s.size()) {
        size_t comma = s.find(',', pos);
        if (comma == std::string::npos) comma = s.size();
        const std::string item = s.substr(pos, comma - pos);
        pos = comma + 1;
        const size_t eq = item.find('=');
        long sub = 0;
        if (!parse_int(item.substr(0, eq).c_str(), 0, 255, sub)) {
            std::fprintf(stderr, "ontsim: bad subtype in '%s'\n", item.c_str());
            return false;
        }
        Bytes payload;
        if (eq != std::string::npos && !payload_arg(item.c_str() + eq + 1, payload)) return false;
        for (auto &t : split(static_cast<int>(sub), payload)) tlvs.push_back(std::move(t));
        if (comma == s.size()) break;
    }
    return true;
}

bool step_expect(const char *arg) {
    std::vector<int> want;
    if (std::strcmp(arg, "none") != 0) {
        std::vector<Tlv> t;
        std::string s(arg);
        for (size_t pos = 0; pos < s.size();) {
            size_t comma = s.find(',', pos);
            if (comma == std::string::npos) comma = s.size();
            long v = 0;
            if (!parse_int(s.substr(pos, comma - pos).c_str(), 0, 255, v)) {
                std::fprintf(stderr, "ontsim: bad subtype list '%s'\n", arg);
                return false;
            }
            want.push_back(static_cast<int>(v));
            pos = comma + 1;
        }
    }
    if (want == g_last && (g_last_any || want.empty())) {
        std::printf("expect %s: ok\n", arg);
        return true;
    }
    std::string got = g_last_any ? "" : "none";
    for (size_t i = 0; i < g_last.size(); ++i) got += (i ? "," : "") + std::to_string(g_last[i]);
    std::printf("expect %s: FAILED (got %s)\n", arg, got.c_str());
    return false;
}

void listen_for(long ms) {
    const long deadline = now_ms() + ms;
    std::vector<Tlv> in;
    while (recv_tlvs(deadline, in)) {
    }
}

// The records carry their texts (names, addresses, URLs) as NUL-terminated
// fields; showing them makes a record readable at a glance.
void print_texts(const Bytes &rec) {
    std::string line;
    size_t i = 0;
    while (i < rec.size()) {
        size_t j = i;
        while (j < rec.size() && rec[j] >= 0x20 && rec[j] < 0x7F) ++j;
        if (j - i >= 2 && (j == rec.size() || rec[j] == 0)) {
            char at[32];
            std::snprintf(at, sizeof(at), " @%zu=", i);
            line += at;
            line += '"';
            line.append(reinterpret_cast<const char *>(rec.data() + i), j - i);
            line += '"';
        }
        i = j + 1;
    }
    if (!line.empty()) std::printf("  texts:%s\n", line.c_str());
}

bool step_status() {
    std::vector<Tlv> in;
    if (!send_tlvs({{11, {}}})) return false;
    g_last.clear();
    g_last_any = false;
    int records = 0;
    const long deadline = now_ms() + g_opt.timeout_ms;
    while (recv_tlvs(deadline, in)) {
        for (const auto &t : in) {
            g_last.push_back(t.subtype);
            g_last_any = true;
            if (t.subtype < 12 || t.subtype > 17) continue;
            ++records;
            std::printf("status %d: %zu bytes %s\n", t.subtype, t.payload.size(),
                        hex_of(t.payload.data(), t.payload.size()).c_str());
            print_texts(t.payload);
        }
    }
    std::printf("status: %d records\n", records);
    return true;
}

bool load_key(const char *hex, uint8_t key[32]) {
    Bytes k;
    if (!parse_hex(hex, k) || k.size() != 32) {
        std::fprintf(stderr, "ontsim: the key must be 64 hex digits\n");
        return false;
    }
    std::memcpy(key, k.data(), 32);
    return true;
}

bool parse_mac(const char *s, uint8_t mac[6]) {
    unsigned v[6];
    if (std::sscanf(s, "%2x:%2x:%2x:%2x:%2x:%2x", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]) != 6) return false;
    for (int i = 0; i < 6; ++i) mac[i] = static_cast<uint8_t>(v[i]);
    return true;
}

int usage_error(const char *what, const char *arg) {
    std::fprintf(stderr, "ontsim: %s%s%s\n(ontsim --help explains the usage)\n", what, arg ? ": " : "", arg ? arg : "");
    return 2;
}

}  // namespace

int main(int argc, char **argv) {
    setvbuf(stdout, nullptr, _IOLBF, 0);
    std::memcpy(g_opt.key, UPLINKD_SECRET_KEY_BYTES, 32);

    int i = 1;
    for (; i < argc && argv[i][0] == '-'; ++i) {
        const std::string a = argv[i];
        auto value = [&](const char *&out) {
            if (i + 1 >= argc) return false;
            out = argv[++i];
            return true;
        };
        const char *v = nullptr;
        if (a == "-h" || a == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "-v" || a == "--verbose") {
            g_opt.verbose = true;
        } else if (a == "-i" || a == "--port") {
            if (!value(v)) return usage_error("missing value of", argv[i]);
            g_opt.port = v;
        } else if (a == "-k" || a == "--key") {
            if (!value(v)) return usage_error("missing value of", argv[i]);
            if (!load_key(v, g_opt.key)) return 2;
        } else if (a == "--key-file") {
            if (!value(v)) return usage_error("missing value of", argv[i]);
            Bytes text;
            if (!read_file(v, text)) return usage_error("cannot read the key file", v);
            text.push_back(0);
            if (!load_key(reinterpret_cast<const char *>(text.data()), g_opt.key)) return 2;
        } else if (a == "-t" || a == "--timeout") {
            long t = 0;
            if (!value(v) || !parse_int(v, 1, 600000, t)) return usage_error("bad time-out", v);
            g_opt.timeout_ms = static_cast<int>(t);
        } else if (a == "--mac") {
            if (!value(v) || !parse_mac(v, g_opt.mac)) return usage_error("bad MAC", v);
            g_opt.have_mac = true;
        } else {
            return usage_error("unknown option", argv[i]);
        }
    }
    if (i >= argc) return usage_error("no step given", nullptr);

    // Check the whole script before the first frame goes out.
    for (int j = i; j < argc; ++j) {
        const std::string s = argv[j];
        const bool takes_arg = s == "send" || s == "omci" || s == "oam" || s == "expect" || s == "listen" || s == "sleep";
        const bool plain = s == "hello" || s == "auth" || s == "check" || s == "keepalive" || s == "fail" || s == "status";
        if (!takes_arg && !plain) return usage_error("unknown step", argv[j]);
        if (takes_arg && ++j >= argc) return usage_error("missing argument of step", s.c_str());
    }

    if (!open_port()) return 1;

    for (; i < argc; ++i) {
        const std::string s = argv[i];
        const char *arg = (i + 1 < argc) ? argv[i + 1] : "";
        bool ok = true;
        std::vector<Tlv> in;
        if (s == "hello") {
            ok = exchange({{0, {}}}, in);
        } else if (s == "auth") {
            ok = step_auth();
        } else if (s == "check") {
            ok = step_check();
        } else if (s == "keepalive") {
            ok = exchange({{5, {}}}, in);
        } else if (s == "fail") {
            ok = exchange({{4, {}}}, in);
        } else if (s == "status") {
            ok = step_status();
        } else if (s == "send" || s == "omci" || s == "oam") {
            ++i;
            std::vector<Tlv> tlvs;
            if (s == "send") {
                ok = parse_tlv_list(arg, tlvs);
            } else {
                Bytes data;
                ok = payload_arg(arg, data);
                tlvs = split(s == "omci" ? 6 : 8, data);
            }
            ok = ok && exchange(tlvs, in);
        } else if (s == "expect") {
            ++i;
            ok = step_expect(arg);
        } else if (s == "listen" || s == "sleep") {
            ++i;
            long ms = 0;
            if (!parse_int(arg, 0, 3600000, ms)) return usage_error("bad milliseconds", arg);
            if (s == "listen")
                listen_for(ms);
            else
                sleep_ms(ms);
        }
        if (!ok) return 1;
    }
    return 0;
}
