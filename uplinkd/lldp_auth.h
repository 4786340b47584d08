// Authentication state of the one session with the ONT.
#pragma once

#include <cstdint>

#include "uplinkd/lldp_auth_crypto.h"

enum lldp_auth_state : int {
    LLDP_AUTH_IDLE = 0,
    LLDP_AUTH_PENDING = 1,  // the router sent a challenge
    LLDP_AUTH_OK = 2,
};

constexpr uint64_t LLDP_AUTH_CHALLENGE_MS = 3000;
constexpr uint64_t LLDP_AUTH_SESSION_MS = 30000;

enum : int {
    LLDP_AUTH_F_CHALLENGE = 0x02,  // send subtype 1 with `challenge`
    LLDP_AUTH_F_RESPONSE = 0x04,   // send subtype 2 with `response`
    LLDP_AUTH_F_SUCCESS = 0x08,    // send subtype 3 and report the new session
    LLDP_AUTH_F_FAILURE = 0x10,    // send subtype 4
    LLDP_AUTH_F_ALREADY = 0x20,    // send subtype 5
};

enum : int {
    LLDP_AUTH_ST_NONE = 0,
    LLDP_AUTH_ST_REPLY = 1,
    LLDP_AUTH_ST_LOST = 3,
};

struct lldp_auth_ctx {
    int state;
    uint64_t req_time_ms;
    uint64_t last_seen_ms;  // 0: not yet set
    // What the current frame carried (cleared for every frame).
    uint8_t challenge[LLDP_AUTH_LEN];
    uint16_t challenge_len;
    uint8_t response[LLDP_AUTH_LEN];
    uint16_t response_len;
    // The challenge the router issued and still waits an answer for. Kept
    // apart from the per-frame fields: only an answer to it authenticates.
    uint8_t issued[LLDP_AUTH_LEN];
    uint16_t issued_len;
};

struct lldp_auth_result {
    int status;
    int flags;
};

void lldp_auth_init(lldp_auth_ctx *ctx);
int lldp_auth_is_ok(const lldp_auth_ctx *ctx);
int lldp_auth_handle_rx(lldp_auth_ctx *ctx, int dispatch, uint64_t now, lldp_auth_result *result);
int lldp_auth_on_tick(lldp_auth_ctx *ctx, uint64_t now, lldp_auth_result *result);
int lldp_auth_get_req(lldp_auth_ctx *ctx, const uint8_t **data, uint16_t *len);
int lldp_auth_get_resp(lldp_auth_ctx *ctx, const uint8_t **data, uint16_t *len);
