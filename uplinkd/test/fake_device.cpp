#include "uplinkd/test/fake_device.h"

#include <cstring>

#include "uplinkd/device_api.h"

namespace fake_dev {
std::vector<Sent> sent;
uint64_t now_ms = 1000;
void reset() {
    sent.clear();
    now_ms = 1000;
}
}  // namespace fake_dev

const char *const lldp_dev_port_names[LLDP_DEV_MAX_PORTS] = {"eth0", "eth1", "eth2", "eth3", "wan1_4096"};

namespace {
bool exists(const char *name) { return name && name[0] && std::strncmp(name, "missing", 7) != 0; }
uint8_t last_char(const char *name) { return static_cast<uint8_t>(name[std::strlen(name) - 1]); }
}  // namespace

uint64_t lldp_dev_now_ms() { return fake_dev::now_ms; }

int lldp_dev_get_if_hwaddr(const char *name, uint8_t mac[6]) {
    if (!exists(name) || !mac) return -1;
    const uint8_t m[6] = {0x02, 0, 0, 0, 0, last_char(name)};
    std::memcpy(mac, m, 6);
    return 0;
}

int lldp_dev_get_caps(const char *name, lldp_dev_caps *caps) {
    if (!exists(name) || !caps) return -1;
    std::memset(caps, 0, sizeof(*caps));
    lldp_dev_get_if_hwaddr(name, caps->chassis_mac);
    caps->ttl = 120;
    std::strncpy(caps->port_desc, name, sizeof(caps->port_desc) - 1);
    std::strcpy(caps->system_name, "RT8110");
    std::strcpy(caps->system_desc, "The device is router RT8110 OpenWrt");
    caps->sys_caps = 0x0014;
    caps->sys_caps_enabled = 0x0014;
    caps->mgmt_addr_subtype = 6;
    std::memcpy(caps->mgmt_addr, caps->chassis_mac, 6);
    caps->mgmt_addr_len = 6;
    caps->mgmt_if_subtype = 1;
    caps->mgmt_if_number = 10u + last_char(name);
    return 0;
}

int lldp_dev_rx_init() { return 0; }
void lldp_dev_rx_deinit() {}
int lldp_dev_rx_get(uint8_t *, size_t, uint16_t *, char *, size_t, int) { return 1; }

int lldp_dev_tx_send(const char *name, const uint8_t *data, size_t len) {
    if (!exists(name) || !data || len == 0) return -1;
    fake_dev::sent.push_back({name, std::vector<uint8_t>(data, data + len)});
    return 0;
}

int lldp_dev_tx_send_all(const uint8_t *data, size_t len) { return lldp_dev_tx_send("eth0", data, len); }
