#include "uplinkd/lldp_auth.h"

#include <cstring>

namespace {

void drop_issued(lldp_auth_ctx *ctx) {
    std::memset(ctx->issued, 0, sizeof(ctx->issued));
    ctx->issued_len = 0;
}

void go_idle(lldp_auth_ctx *ctx) {
    ctx->state = LLDP_AUTH_IDLE;
    ctx->last_seen_ms = 0;
    drop_issued(ctx);
}

// A response counts only as the answer to the router's own, still fresh
// challenge; a pair the peer made up itself proves nothing.
bool answers_issued(const lldp_auth_ctx *ctx, uint64_t now) {
    if (ctx->state != LLDP_AUTH_PENDING || ctx->issued_len != LLDP_AUTH_LEN) return false;
    if (now - ctx->req_time_ms >= LLDP_AUTH_CHALLENGE_MS) return false;
    if (ctx->challenge_len != LLDP_AUTH_LEN || lldp_auth_crypto_equal(ctx->challenge, ctx->issued, LLDP_AUTH_LEN) != 0)
        return false;
    return lldp_auth_crypto_verify(ctx->challenge, ctx->challenge_len, ctx->response, ctx->response_len) == 0;
}

}  // namespace

void lldp_auth_init(lldp_auth_ctx *ctx) {
    if (ctx) std::memset(ctx, 0, sizeof(*ctx));
}

int lldp_auth_is_ok(const lldp_auth_ctx *ctx) { return ctx && ctx->state == LLDP_AUTH_OK ? 1 : 0; }

int lldp_auth_handle_rx(lldp_auth_ctx *ctx, int dispatch, uint64_t now, lldp_auth_result *result) {
    lldp_auth_result scratch{};
    lldp_auth_result &res = result ? *result : scratch;
    res = {};
    if (!ctx) return -1;

    switch (dispatch) {
    case 0:  // hello
        if (ctx->state == LLDP_AUTH_OK) {
            ctx->last_seen_ms = now;
            res = {LLDP_AUTH_ST_REPLY, LLDP_AUTH_F_ALREADY};
            break;
        }
        {
            uint8_t len = 0;
            if (lldp_auth_crypto_get_req(ctx->challenge, &len) != 0) break;
            ctx->challenge_len = len;
            std::memcpy(ctx->issued, ctx->challenge, LLDP_AUTH_LEN);
            ctx->issued_len = len;
            ctx->req_time_ms = now;
            ctx->state = LLDP_AUTH_PENDING;
            ctx->last_seen_ms = 0;
            res = {LLDP_AUTH_ST_REPLY, LLDP_AUTH_F_CHALLENGE};
        }
        break;

    case 1:  // the peer checks the router; only a proven peer may
        if (ctx->state != LLDP_AUTH_OK || ctx->challenge_len != LLDP_AUTH_LEN) break;
        {
            uint8_t len = 0;
            if (lldp_auth_crypto_get_resp(ctx->challenge, ctx->challenge_len, ctx->response, &len) != 0) break;
            ctx->response_len = len;
            ctx->last_seen_ms = now;
            res = {LLDP_AUTH_ST_REPLY, LLDP_AUTH_F_CHALLENGE | LLDP_AUTH_F_RESPONSE};
        }
        break;

    case 2:  // the peer answers the router's challenge
        if (answers_issued(ctx, now)) {
            uint8_t len = 0;
            lldp_auth_crypto_get_resp(ctx->challenge, ctx->challenge_len, ctx->response, &len);
            ctx->response_len = len;
            ctx->state = LLDP_AUTH_OK;
            ctx->last_seen_ms = now;
            drop_issued(ctx);
            res = {LLDP_AUTH_ST_REPLY, LLDP_AUTH_F_CHALLENGE | LLDP_AUTH_F_RESPONSE | LLDP_AUTH_F_SUCCESS};
        } else {
            go_idle(ctx);
            res = {LLDP_AUTH_ST_REPLY, LLDP_AUTH_F_FAILURE};
        }
        break;

    case 3:  // the peer's confirmation grants nothing; from a proven peer it shows it is alive
        if (ctx->state == LLDP_AUTH_OK) ctx->last_seen_ms = now;
        break;

    case 4:
        go_idle(ctx);
        res.status = LLDP_AUTH_ST_LOST;
        break;

    case 5:
        if (ctx->state == LLDP_AUTH_OK) {
            ctx->last_seen_ms = now;
        } else {
            go_idle(ctx);
            res = {LLDP_AUTH_ST_REPLY, LLDP_AUTH_F_FAILURE};
        }
        break;

    default:
        go_idle(ctx);
        res.status = LLDP_AUTH_ST_LOST;
        break;
    }
    return 0;
}

int lldp_auth_on_tick(lldp_auth_ctx *ctx, uint64_t now, lldp_auth_result *result) {
    lldp_auth_result scratch{};
    lldp_auth_result &res = result ? *result : scratch;
    res = {};
    if (!ctx) return -1;
    if (ctx->state == LLDP_AUTH_PENDING) {
        if (now - ctx->req_time_ms >= LLDP_AUTH_CHALLENGE_MS) {
            go_idle(ctx);
            res.status = LLDP_AUTH_ST_LOST;
        }
    } else if (ctx->state == LLDP_AUTH_OK) {
        if (ctx->last_seen_ms == 0) {
            ctx->last_seen_ms = now;
        } else if (now - ctx->last_seen_ms >= LLDP_AUTH_SESSION_MS) {
            go_idle(ctx);
            res.status = LLDP_AUTH_ST_LOST;
        }
    }
    return 0;
}

int lldp_auth_get_req(lldp_auth_ctx *ctx, const uint8_t **data, uint16_t *len) {
    if (!ctx || !data || !len || ctx->challenge_len == 0) return -1;
    *data = ctx->challenge;
    *len = ctx->challenge_len;
    return 0;
}

int lldp_auth_get_resp(lldp_auth_ctx *ctx, const uint8_t **data, uint16_t *len) {
    if (!ctx || !data || !len || ctx->response_len == 0) return -1;
    *data = ctx->response;
    *len = ctx->response_len;
    return 0;
}
