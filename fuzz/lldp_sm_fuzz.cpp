// Frames into the session, nothing but state out. The input is a script:
// one control byte, then frames each prefixed with a 16-bit length. Control
// bit 0 starts from an authenticated session (the fuzzer cannot answer a
// random challenge itself); each frame's arrival port comes from its first
// length byte, and every frame is followed by a tick.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "uplinkd/lldp_auth_crypto.h"
#include "uplinkd/lldp_sm.h"
#include "uplinkd/test/fake_device.h"
#include "uplinkd/test/lldp_test_util.h"

namespace {

int ignore_cfg(void *, int subtype, const uint8_t *data, int len) {
    if (len < 0 || len > 1600 || (len && !data) || (subtype != 6 && subtype != 8 && subtype != 11)) std::abort();
    return 0;
}

void authenticate(lldp_sm_ctx &ctx) {
    using lldp_test::Bytes;
    Bytes hello = lldp_test::ont_frame({{0, {}}});
    lldp_sm_on_rx(&ctx, hello.data(), hello.size(), "eth3");
    Bytes ch(ctx.auth.issued, ctx.auth.issued + 32);
    Bytes resp(32);
    calculate_response(ch.data(), resp.data());
    Bytes answer = lldp_test::ont_frame({{1, ch}, {2, resp}});
    lldp_sm_on_rx(&ctx, answer.data(), answer.size(), "eth3");
    if (ctx.auth.state != 2) std::abort();
}

void check(const lldp_sm_ctx &ctx) {
    if (ctx.auth.state < 0 || ctx.auth.state > 2) std::abort();
    if (ctx.auth.state == 1 && ctx.auth.issued_len != 32) std::abort();
    if (ctx.auth.state != 1 && ctx.auth.issued_len != 0) std::abort();
    if (ctx.auth.challenge_len > 32 || ctx.auth.response_len > 32) std::abort();
    if (std::memchr(ctx.session_ifname, 0, sizeof(ctx.session_ifname)) == nullptr) std::abort();
    for (const auto &s : fake_dev::sent)
        if (s.frame.size() > LLDP_FRAME_MAX || lldp_test::vendor_tlvs(s.frame).empty()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const char *const ports[] = {"eth0", "eth1", "eth2", "eth3", "wan1_4096", "missing", ""};
    fake_dev::reset();
    lldp_sm_ctx ctx{};
    lldp_sm_init(&ctx);
    lldp_sm_register_cfg_update_hook(&ctx, ignore_cfg, nullptr);
    if (size == 0) return 0;
    if (data[0] & 1) authenticate(ctx);
    size_t pos = 1;
    while (pos + 2 <= size) {
        const size_t len = static_cast<size_t>(((data[pos] & 0x0F) << 8) | data[pos + 1]);
        const char *port = ports[(data[pos] >> 4) % 7];
        pos += 2;
        const size_t n = len < size - pos ? len : size - pos;
        fake_dev::sent.clear();
        lldp_sm_on_rx(&ctx, data + pos, n, port);
        check(ctx);
        pos += n;
        fake_dev::now_ms += 700;
        lldp_sm_on_tick(&ctx, fake_dev::now_ms);
        check(ctx);
    }
    return 0;
}
