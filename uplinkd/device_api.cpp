#include "uplinkd/device_api.h"

#include <arpa/inet.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

const char *const lldp_dev_port_names[LLDP_DEV_MAX_PORTS] = {"eth0", "eth1", "eth2", "eth3", "wan1_4096"};

namespace {

lldp_rx_mgr g_rxm = {0, {}, 0, {{-1, -1}, {-1, -1}, {-1, -1}, {-1, -1}, {-1, -1}}};

constexpr size_t kEthHeaderLen = 14;

void rx_reset() {
    for (auto &p : g_rxm.port) {
        if (p.sock >= 0) close(p.sock);
        p.sock = -1;
        p.ifindex = -1;
    }
    g_rxm.initialised = 0;
    std::memset(g_rxm.ifname, 0, sizeof(g_rxm.ifname));
    g_rxm.count = 0;
}

sockaddr_ll link_addr(int ifindex) {
    sockaddr_ll a{};
    a.sll_family = AF_PACKET;
    a.sll_protocol = htons(LLDP_DEV_ETHERTYPE);
    a.sll_ifindex = ifindex;
    return a;
}

int open_rx_socket(int ifindex) {
    const int s = socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, htons(LLDP_DEV_ETHERTYPE));
    if (s < 0) return -1;
    // Every reply the agent sends would otherwise come straight back into
    // this socket, taking buffer space from the ONT's frames and costing the
    // receive loop a pause each. The source-MAC check below stays for
    // kernels without the option and for frames reflected from outside.
    const int one = 1;
    setsockopt(s, SOL_PACKET, PACKET_IGNORE_OUTGOING, &one, sizeof(one));
    const sockaddr_ll a = link_addr(ifindex);
    if (bind(s, reinterpret_cast<const sockaddr *>(&a), sizeof(a)) != 0) {
        close(s);
        return -1;
    }
    return s;
}

// Interfaces come and go (a port re-created by netifd gets a new index), so
// every call checks each socket against the current index.
void refresh_sockets() {
    for (int i = 0; i < g_rxm.count; ++i) {
        lldp_rx_port &p = g_rxm.port[i];
        if (p.sock >= 0) {
            const int idx = static_cast<int>(if_nametoindex(g_rxm.ifname[i]));
            if (idx > 0 && idx == p.ifindex) continue;
            close(p.sock);
            p.sock = -1;
            p.ifindex = -1;
        }
        if (g_rxm.ifname[i][0] == '\0') continue;
        const int idx = static_cast<int>(if_nametoindex(g_rxm.ifname[i]));
        if (idx <= 0) continue;
        const int s = open_rx_socket(idx);
        if (s < 0) continue;
        p.sock = s;
        p.ifindex = idx;
    }
}

}  // namespace

uint64_t lldp_dev_now_ms() {
    timespec ts{};
    if (clock_gettime(CLOCK_MONOTONIC, &ts) != 0) return 0;
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

int lldp_dev_get_if_hwaddr(const char *name, uint8_t mac[6]) {
    if (!name || !name[0] || !mac) return -1;
    const int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (s < 0) return -1;
    ifreq req{};
    std::strncpy(req.ifr_name, name, IFNAMSIZ - 1);
    const int rc = ioctl(s, SIOCGIFHWADDR, &req);
    close(s);
    if (rc != 0) return -1;
    std::memcpy(mac, req.ifr_hwaddr.sa_data, 6);
    return 0;
}

int lldp_dev_get_caps(const char *name, lldp_dev_caps *caps) {
    if (!name || !name[0] || !caps) return -1;
    const int idx = static_cast<int>(if_nametoindex(name));
    if (idx <= 0) return -1;
    uint8_t mac[6];
    if (lldp_dev_get_if_hwaddr(name, mac) != 0) return -1;

    std::memset(caps, 0, sizeof(*caps));
    std::memcpy(caps->chassis_mac, mac, 6);
    caps->ttl = 120;
    std::strncpy(caps->port_desc, name, sizeof(caps->port_desc) - 1);
    std::strncpy(caps->system_name, "RT8110", sizeof(caps->system_name) - 1);
    std::strncpy(caps->system_desc, "The device is router RT8110 OpenWrt", sizeof(caps->system_desc) - 1);
    caps->sys_caps = 0x0014;
    caps->sys_caps_enabled = 0x0014;
    caps->mgmt_addr_subtype = 6;
    std::memcpy(caps->mgmt_addr, mac, 6);
    caps->mgmt_addr_len = 6;
    caps->mgmt_if_subtype = 1;
    caps->mgmt_if_number = static_cast<uint32_t>(idx);
    return 0;
}

int lldp_dev_rx_init() {
    rx_reset();
    g_rxm.initialised = 1;
    for (const char *n : lldp_dev_port_names) {
        if (!n || !n[0] || g_rxm.count >= LLDP_DEV_MAX_PORTS) continue;
        std::strncpy(g_rxm.ifname[g_rxm.count], n, sizeof(g_rxm.ifname[0]) - 1);
        ++g_rxm.count;
    }
    return g_rxm.count > 0 ? 0 : -1;
}

void lldp_dev_rx_deinit() { rx_reset(); }

int lldp_dev_rx_get(uint8_t *buf, size_t size, uint16_t *len, char *name, size_t name_size, int timeout_ms) {
    if (!buf || !len || !name || size == 0 || name_size == 0) return -1;
    if (!g_rxm.initialised && lldp_dev_rx_init() != 0) return -1;
    if (g_rxm.count <= 0) return 1;

    refresh_sockets();

    pollfd fds[LLDP_DEV_MAX_PORTS];
    nfds_t nfds = 0;
    for (int i = 0; i < g_rxm.count; ++i) {
        if (g_rxm.port[i].sock < 0) continue;
        fds[nfds].fd = g_rxm.port[i].sock;
        fds[nfds].events = POLLIN;
        fds[nfds].revents = 0;
        ++nfds;
    }
    if (nfds == 0) return 1;

    const int rc = poll(fds, nfds, timeout_ms);
    if (rc == 0) return 1;
    if (rc < 0) return errno == EINTR ? 1 : -1;

    for (nfds_t i = 0; i < nfds; ++i) {
        if (!(fds[i].revents & POLLIN)) continue;
        sockaddr_ll from{};
        socklen_t from_len = sizeof(from);
        const ssize_t n = recvfrom(fds[i].fd, buf, size, 0, reinterpret_cast<sockaddr *>(&from), &from_len);
        if (n <= 0) continue;
        const auto flen = static_cast<uint16_t>(n);

        char port[IF_NAMESIZE] = {};
        if (from.sll_ifindex <= 0 || !if_indextoname(static_cast<unsigned>(from.sll_ifindex), port))
            std::strncpy(port, "unknown", sizeof(port) - 1);

        // The kernel hands our own transmissions back to the port's socket.
        uint8_t own[6];
        if (flen >= kEthHeaderLen && lldp_dev_get_if_hwaddr(port, own) == 0 && std::memcmp(buf + 6, own, 6) == 0)
            continue;

        std::memset(name, 0, name_size);
        std::strncpy(name, port, name_size - 1);
        *len = flen;
        return 0;
    }
    return 1;
}

int lldp_dev_tx_send(const char *name, const uint8_t *data, size_t len) {
    if (!name || !name[0] || !data || len == 0) return -1;
    const int idx = static_cast<int>(if_nametoindex(name));
    if (idx <= 0) return -1;
    const int s = socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, htons(LLDP_DEV_ETHERTYPE));
    if (s < 0) return -1;
    const sockaddr_ll a = link_addr(idx);
    const ssize_t n = sendto(s, data, len, 0, reinterpret_cast<const sockaddr *>(&a), sizeof(a));
    close(s);
    return n == static_cast<ssize_t>(len) ? 0 : -1;
}

int lldp_dev_tx_send_all(const uint8_t *data, size_t len) {
    if (!data || len == 0) return -1;
    int tried = 0;
    int failed = 0;
    for (const char *n : lldp_dev_port_names) {
        if (if_nametoindex(n) == 0) continue;
        ++tried;
        if (lldp_dev_tx_send(n, data, len) != 0) ++failed;
    }
    return tried > 0 && failed == 0 ? 0 : -1;
}
