#include "uplinkd/lldp_sm.h"

#include <cstring>

#include "uplinkd/device_api.h"
#include "uplinkd/lldp_build.h"
#include "uplinkd/lldp_free.h"
#include "uplinkd/lldp_parse.h"

namespace {

lldp_sm_ctx g_lldp_sm;

constexpr size_t kSrcMacOffset = 6;

void copy_name(char (&dst)[32], const char *src) {
    std::memset(dst, 0, sizeof(dst));
    if (src && src[0]) std::strncpy(dst, src, sizeof(dst) - 1);
}

bool oui_ok(const lldp_org_tlv *t) { return std::memcmp(t->oui, lldp_build_default_org_oui(), 3) == 0; }

// While a session stands, only the peer it was granted to may speak for it.
bool from_bound_peer(const lldp_sm_ctx *ctx, const char *ifname, const uint8_t *src_mac) {
    const char *name = ifname ? ifname : "";
    return std::strncmp(name, ctx->bound_ifname, sizeof(ctx->bound_ifname)) == 0 &&
           std::memcmp(src_mac, ctx->bound_mac, sizeof(ctx->bound_mac)) == 0;
}

void lldp_sm_handle_auth(lldp_sm_ctx *ctx, int dispatch, const char *ifname, const uint8_t *src_mac) {
    lldp_auth_result res{};
    lldp_auth_handle_rx(&ctx->auth, dispatch, lldp_dev_now_ms(), &res);
    if (res.status != LLDP_AUTH_ST_REPLY) return;

    if (res.flags & LLDP_AUTH_F_SUCCESS) {
        copy_name(ctx->bound_ifname, ifname);
        std::memcpy(ctx->bound_mac, src_mac, sizeof(ctx->bound_mac));
    }

    lldp_org_entry orgs[5];
    uint8_t n = 0;
    auto add = [&](int subtype, const uint8_t *data, uint32_t len) {
        return lldp_build_prepare_org(subtype, data, len, &orgs[n++]) == 0;
    };
    bool ok = true;
    if (res.flags & LLDP_AUTH_F_FAILURE) ok = ok && add(LLDP_SUB_FAILURE, nullptr, 0);
    if (res.flags & LLDP_AUTH_F_ALREADY) ok = ok && add(LLDP_SUB_KEEPALIVE, nullptr, 0);
    if ((res.flags & LLDP_AUTH_F_CHALLENGE) && ctx->auth.challenge_len)
        ok = ok && add(LLDP_SUB_CHALLENGE, ctx->auth.challenge, ctx->auth.challenge_len);
    if ((res.flags & LLDP_AUTH_F_RESPONSE) && ctx->auth.response_len)
        ok = ok && add(LLDP_SUB_RESPONSE, ctx->auth.response, ctx->auth.response_len);
    if (res.flags & LLDP_AUTH_F_SUCCESS) ok = ok && add(LLDP_SUB_SUCCESS, nullptr, 0);
    if (!ok) return;

    if (n) {
        uint8_t frame[LLDP_FRAME_MAX];
        size_t frame_len = 0;
        if (lldp_build_frame_by_ifname(ifname, orgs, n, frame, sizeof(frame), &frame_len) == 0 && frame_len)
            lldp_dev_tx_send(ifname, frame, frame_len);
    }
    if ((res.flags & LLDP_AUTH_F_SUCCESS) && ctx->auth_hook) ctx->auth_hook(ctx->auth_hook_arg, 1);
}

// Joins the payloads of every vendor TLV of one subtype; false when they
// do not fit.
bool lldp_sm_merge_org_subtype_data(const lldp_info *info, int subtype, uint8_t *buf, size_t size, size_t *total) {
    size_t n = 0;
    for (int32_t i = 0; i < info->org_count; ++i) {
        const lldp_org_tlv *t = info->org_tlvs[i];
        if (!oui_ok(t) || t->subtype != subtype || t->hdr.length <= 4 || !t->data) continue;
        const size_t len = t->hdr.length - 4u;
        if (len > size - n) return false;
        std::memcpy(buf + n, t->data, len);
        n += len;
    }
    *total = n;
    return true;
}

void lldp_sm_handle_cfg_update(lldp_sm_ctx *ctx, int dispatch, const lldp_info *info) {
    if (!lldp_auth_is_ok(&ctx->auth)) return;
    uint8_t buf[LLDP_SM_CFG_MAX];
    size_t total = 0;
    if (!lldp_sm_merge_org_subtype_data(info, dispatch, buf, sizeof(buf), &total)) return;
    if (ctx->cfg_update_hook) ctx->cfg_update_hook(ctx->cfg_update_hook_arg, dispatch, buf, static_cast<int>(total));
}

}  // namespace

lldp_sm_ctx *lldp_sm_get_ctx() { return &g_lldp_sm; }

int lldp_sm_init(lldp_sm_ctx *ctx) {
    if (!ctx) return -1;
    std::memset(ctx, 0, sizeof(*ctx));
    lldp_auth_init(&ctx->auth);
    ctx->active = 1;
    return 0;
}

void lldp_sm_register_auth_hook(lldp_sm_ctx *ctx, lldp_sm_auth_hook fn, void *arg) {
    if (!ctx) return;
    ctx->auth_hook = fn;
    ctx->auth_hook_arg = arg;
}

void lldp_sm_register_cfg_update_hook(lldp_sm_ctx *ctx, lldp_sm_cfg_update_hook fn, void *arg) {
    if (!ctx) return;
    ctx->cfg_update_hook = fn;
    ctx->cfg_update_hook_arg = arg;
}

void lldp_sm_set_session_ifname(lldp_sm_ctx *ctx, const char *name) {
    if (!ctx || !ctx->active) return;
    copy_name(ctx->session_ifname, name);
}

int lldp_sm_on_rx(lldp_sm_ctx *ctx, const uint8_t *frame, size_t len, const char *ifname) {
    if (!ctx || !ctx->active) return -1;
    if (!frame || len == 0) return 0;

    const uint8_t *pdu = nullptr;
    size_t pdu_len = 0;
    if (lldp_parse_eth_lldpdu(frame, len, &pdu, &pdu_len) != 0) return 0;
    lldp_info *info = lldp_parse_packet(pdu, pdu_len);
    if (!info) return 0;
    if (info->org_count == 0) {
        lldp_free_info(info);
        return 0;
    }

    lldp_auth_ctx &auth = ctx->auth;
    auth.challenge_len = 0;
    auth.response_len = 0;

    int dispatch = 0;
    for (int32_t i = 0; i < info->org_count; ++i) {
        const lldp_org_tlv *t = info->org_tlvs[i];
        if (t->hdr.length <= 3 || !oui_ok(t)) {
            auth.challenge_len = 0;
            auth.response_len = 0;
            lldp_free_info(info);
            return 0;
        }
        const uint32_t payload = t->hdr.length - 4u;
        if (payload > 0 && !t->data) continue;
        const int s = t->subtype;
        dispatch = s > 5 ? s : (s > dispatch ? s : dispatch);
        if (s == LLDP_SUB_CHALLENGE && payload <= LLDP_AUTH_LEN && auth.challenge_len == 0) {
            if (payload) std::memcpy(auth.challenge, t->data, payload);
            auth.challenge_len = static_cast<uint16_t>(payload);
        } else if (s == LLDP_SUB_RESPONSE && payload <= LLDP_AUTH_LEN && auth.response_len == 0) {
            if (payload) std::memcpy(auth.response, t->data, payload);
            auth.response_len = static_cast<uint16_t>(payload);
        }
    }

    const uint8_t *src_mac = frame + kSrcMacOffset;
    const bool bound_peer = from_bound_peer(ctx, ifname, src_mac);
    const bool session = lldp_auth_is_ok(&auth) != 0;
    if (dispatch <= LLDP_SUB_KEEPALIVE) {
        if (!session || bound_peer) {
            lldp_sm_handle_auth(ctx, dispatch, ifname, src_mac);
            lldp_sm_set_session_ifname(ctx, ifname);
        }
    } else if (dispatch == LLDP_SUB_OMCI || dispatch == LLDP_SUB_OAM) {
        if (bound_peer) lldp_sm_handle_cfg_update(ctx, dispatch, info);
    } else if (dispatch == LLDP_SUB_STATUS_REQ) {
        // Answered on the session port, which is the bound one while a
        // session stands.
        lldp_sm_handle_cfg_update(ctx, dispatch, info);
    }
    lldp_free_info(info);
    return 0;
}

int lldp_sm_on_tick(lldp_sm_ctx *ctx, uint64_t now) {
    if (!ctx || !ctx->active) return -1;
    lldp_auth_result res{};
    lldp_auth_on_tick(&ctx->auth, now, &res);
    return 0;
}
