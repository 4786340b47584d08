// The agent's contact with the network and the clock: LLDP frames on raw
// packet sockets of the router's ports, port identity, monotonic time.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int LLDP_DEV_MAX_PORTS = 5;
constexpr uint16_t LLDP_DEV_ETHERTYPE = 0x88CC;

// Watched ports, in slot order; also the targets of lldp_dev_tx_send_all.
extern const char *const lldp_dev_port_names[LLDP_DEV_MAX_PORTS];

struct lldp_dev_caps {
    uint8_t chassis_mac[6];
    uint16_t ttl;
    char port_desc[64];
    char system_name[64];
    char system_desc[128];
    uint16_t sys_caps;
    uint16_t sys_caps_enabled;
    uint8_t mgmt_addr_subtype;
    uint8_t mgmt_addr[16];
    uint8_t mgmt_addr_len;
    uint8_t mgmt_if_subtype;
    uint32_t mgmt_if_number;
    uint8_t mgmt_oid[64];
    uint8_t mgmt_oid_len;
};

struct lldp_rx_port {
    int sock;
    int ifindex;
};

struct lldp_rx_mgr {
    int initialised;
    char ifname[LLDP_DEV_MAX_PORTS][32];
    int count;
    lldp_rx_port port[LLDP_DEV_MAX_PORTS];
};

// Monotonic milliseconds; 0 means the clock could not be read.
uint64_t lldp_dev_now_ms();
int lldp_dev_get_if_hwaddr(const char *name, uint8_t mac[6]);
int lldp_dev_get_caps(const char *name, lldp_dev_caps *caps);

// Receive side: used by the receive thread only.
int lldp_dev_rx_init();
void lldp_dev_rx_deinit();
// 0: one frame delivered; 1: nothing (time-out, no port open, interrupted);
// -1: bad arguments or poll failure.
int lldp_dev_rx_get(uint8_t *buf, size_t size, uint16_t *len, char *name, size_t name_size, int timeout_ms);

int lldp_dev_tx_send(const char *name, const uint8_t *data, size_t len);
int lldp_dev_tx_send_all(const uint8_t *data, size_t len);
