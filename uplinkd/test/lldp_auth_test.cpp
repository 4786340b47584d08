#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "uplinkd/lldp_auth.h"
#include "uplinkd/lldp_auth_crypto.h"
#include "uplinkd/test/lldp_test_util.h"

using lldp_test::Bytes;
using lldp_test::hex;

namespace {

// Vectors worked out once from the response algorithm by hand (a separate
// throw-away implementation), not by this code.
TEST(LldpAuthCrypto, ResponseFunctionVectors) {
    const struct {
        const char *key, *challenge, *response;
    } cases[] = {
        {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
         "0000000000000000000000000000000000000000000000000000000000000000",
         "831b0c257a1f0051e6f3041de2272899feebfcd5ca2f3021d6c3342d99b00ac3"},
        {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
         "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
         "9f11102b022d3447160908230a454cbf1e01003b123d24570619183351f270d1"},
        {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
         "000102030404060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",  // one byte differs
         "9f11142f16273447160908230a454cbf1e01003b123d24570619183351f270d1"},
        {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
         "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa",
         "9644a752a1b09b16edcccfeab988b37e957497629180aba69dbcbf9a977c9ec5"},
        {"fffefdfcfbfaf9f8f7f6f5f4f3f2f1f0efeeedecebeae9e8e7e6e5e4e3e2e1e0",
         "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
         "aef312f900ef36f514eb0af108c74ecd1ce302e910ff26e504fb1ae153f26fc8"},
        {"fffefdfcfbfaf9f8f7f6f5f4f3f2f1f0efeeedecebeae9e8e7e6e5e4e3e2e1e0",
         "5a5d544f4679706b62651c170e0138332a2d24dfd6c9c0fbf2f5ece79e918883",
         "625336296c8f7205686b2e41e4878add8e9b140afffc11669bd8cd2248219c0f"},
    };
    for (const auto &c : cases) {
        const Bytes key = hex(c.key);
        const Bytes ch = hex(c.challenge);
        uint8_t out[32];
        calculate_response_with_key(key.data(), ch.data(), out);
        EXPECT_EQ(Bytes(out, out + 32), hex(c.response)) << c.challenge;
    }
}

TEST(LldpAuthCrypto, AgentKeyResponseAndVerify) {
    uint8_t ch[32];
    for (int i = 0; i < 32; ++i) ch[i] = static_cast<uint8_t>(7 * i + 1);
    uint8_t expect[32];
    calculate_response_with_key(g_secret_key, ch, expect);
    uint8_t out[32];
    uint8_t len = 0;
    ASSERT_EQ(lldp_auth_crypto_get_resp(ch, 32, out, &len), 0);
    EXPECT_EQ(len, 32);
    EXPECT_EQ(0, std::memcmp(out, expect, 32));
    EXPECT_EQ(lldp_auth_crypto_get_resp(ch, 31, out, &len), -1);

    EXPECT_EQ(lldp_auth_crypto_verify(ch, 32, out, 32), 0);
    for (int pos : {0, 17, 31}) {
        out[pos] ^= 0x80;
        EXPECT_EQ(lldp_auth_crypto_verify(ch, 32, out, 32), -1) << pos;
        out[pos] ^= 0x80;
    }
    EXPECT_EQ(lldp_auth_crypto_verify(ch, 32, out, 31), -1);
    EXPECT_EQ(lldp_auth_crypto_verify(ch, 33, out, 32), -1);
    EXPECT_EQ(lldp_auth_crypto_verify(nullptr, 32, out, 32), -1);
}

TEST(LldpAuthCrypto, ChallengesDifferEveryCall) {
    uint8_t a[32], b[32], c[32], d[32];
    uint8_t len = 0;
    ASSERT_EQ(lldp_auth_crypto_get_req(a, &len), 0);
    EXPECT_EQ(len, 32);
    ASSERT_EQ(lldp_auth_crypto_get_req(b, &len), 0);
    EXPECT_NE(0, std::memcmp(a, b, 32));
    // The fallback generator alone, back to back in the same millisecond.
    ASSERT_EQ(lldp_auth_crypto_prng_req(c, &len), 0);
    ASSERT_EQ(lldp_auth_crypto_prng_req(d, &len), 0);
    EXPECT_EQ(len, 32);
    EXPECT_NE(0, std::memcmp(c, d, 32));
    EXPECT_EQ(lldp_auth_crypto_get_req(nullptr, &len), -1);
    EXPECT_EQ(lldp_auth_crypto_prng_req(c, nullptr), -1);
}

// --- the state machine ---

struct Frame {
    enum Content { kNone, kIssued, kIssuedGoodResp, kIssuedBadResp, kOtherGoodPair, kRespOnly, kShortChallenge };
};

void load(lldp_auth_ctx &ctx, Frame::Content what) {
    ctx.challenge_len = 0;
    ctx.response_len = 0;
    uint8_t other[32];
    std::memset(other, 0x33, sizeof(other));
    switch (what) {
    case Frame::kNone:
        break;
    case Frame::kIssued:
        std::memcpy(ctx.challenge, ctx.issued, 32);
        ctx.challenge_len = 32;
        break;
    case Frame::kIssuedGoodResp:
    case Frame::kIssuedBadResp:
        std::memcpy(ctx.challenge, ctx.issued, 32);
        ctx.challenge_len = 32;
        calculate_response(ctx.challenge, ctx.response);
        if (what == Frame::kIssuedBadResp) ctx.response[9] ^= 1;
        ctx.response_len = 32;
        break;
    case Frame::kOtherGoodPair:
        std::memcpy(ctx.challenge, other, 32);
        ctx.challenge_len = 32;
        calculate_response(ctx.challenge, ctx.response);
        ctx.response_len = 32;
        break;
    case Frame::kRespOnly:
        calculate_response(ctx.issued, ctx.response);
        ctx.response_len = 32;
        break;
    case Frame::kShortChallenge:
        std::memset(ctx.challenge, 0x44, 31);
        ctx.challenge_len = 31;
        break;
    }
}

// Puts the context in a state as the exchange would: idle, pending (a hello
// at t=1000) or authenticated (at t=1000).
void enter(lldp_auth_ctx &ctx, int state) {
    lldp_auth_init(&ctx);
    lldp_auth_result r{};
    if (state >= 1) lldp_auth_handle_rx(&ctx, 0, 1000, &r);
    if (state == 2) {
        load(ctx, Frame::kIssuedGoodResp);
        lldp_auth_handle_rx(&ctx, 2, 1000, &r);
    }
    ASSERT_EQ(ctx.state, state);
}

TEST(LldpAuth, TransitionTable) {
    constexpr uint64_t kKeep = ~0ull;  // last_seen unchanged
    const struct {
        const char *what;
        int state;
        int dispatch;
        Frame::Content frame;
        uint64_t now;
        int status, flags, state_after;
        uint64_t last_seen_after;
    } cases[] = {
        {"hello while authenticated", 2, 0, Frame::kNone, 5000, 1, 0x20, 2, 5000},
        {"hello while idle", 0, 0, Frame::kNone, 5000, 1, 0x02, 1, 0},
        {"hello while pending issues a new challenge", 1, 0, Frame::kNone, 5000, 1, 0x02, 1, 0},
        {"challenge from the authenticated peer", 2, 1, Frame::kOtherGoodPair, 5000, 1, 0x06, 2, 5000},
        {"challenge while idle is not answered", 0, 1, Frame::kOtherGoodPair, 5000, 0, 0, 0, kKeep},
        {"challenge while pending is not answered", 1, 1, Frame::kOtherGoodPair, 1500, 0, 0, 1, kKeep},
        {"31-byte challenge while authenticated", 2, 1, Frame::kShortChallenge, 5000, 0, 0, 2, kKeep},
        {"right answer to the issued challenge", 1, 2, Frame::kIssuedGoodResp, 3999, 1, 0x0E, 2, 3999},
        {"right answer after 3 s", 1, 2, Frame::kIssuedGoodResp, 4000, 1, 0x10, 0, 0},
        {"wrong answer", 1, 2, Frame::kIssuedBadResp, 1500, 1, 0x10, 0, 0},
        {"consistent pair for another challenge", 1, 2, Frame::kOtherGoodPair, 1500, 1, 0x10, 0, 0},
        {"consistent pair with nothing issued", 0, 2, Frame::kOtherGoodPair, 1500, 1, 0x10, 0, 0},
        {"response without the challenge", 1, 2, Frame::kRespOnly, 1500, 1, 0x10, 0, 0},
        {"response while authenticated ends the session", 2, 2, Frame::kOtherGoodPair, 1500, 1, 0x10, 0, 0},
        {"confirmation while idle grants nothing", 0, 3, Frame::kOtherGoodPair, 1500, 0, 0, 0, kKeep},
        {"confirmation while pending grants nothing", 1, 3, Frame::kIssuedGoodResp, 1500, 0, 0, 1, kKeep},
        {"confirmation from the authenticated peer is a keep-alive", 2, 3, Frame::kNone, 7000, 0, 0, 2, 7000},
        {"failure while authenticated", 2, 4, Frame::kNone, 1500, 3, 0, 0, 0},
        {"failure while pending", 1, 4, Frame::kNone, 1500, 3, 0, 0, 0},
        {"keep-alive while authenticated", 2, 5, Frame::kNone, 8000, 0, 0, 2, 8000},
        {"keep-alive while idle", 0, 5, Frame::kNone, 1500, 1, 0x10, 0, 0},
        {"keep-alive while pending", 1, 5, Frame::kNone, 1500, 1, 0x10, 0, 0},
        {"dispatch above 5", 2, 6, Frame::kNone, 1500, 3, 0, 0, 0},
    };
    for (const auto &c : cases) {
        lldp_auth_ctx ctx{};
        enter(ctx, c.state);
        const uint64_t seen_before = ctx.last_seen_ms;
        uint8_t issued_before[32];
        std::memcpy(issued_before, ctx.issued, 32);
        load(ctx, c.frame);
        lldp_auth_result r{9, 9};
        ASSERT_EQ(lldp_auth_handle_rx(&ctx, c.dispatch, c.now, &r), 0);
        EXPECT_EQ(r.status, c.status) << c.what;
        EXPECT_EQ(r.flags, c.flags) << c.what;
        EXPECT_EQ(ctx.state, c.state_after) << c.what;
        EXPECT_EQ(ctx.last_seen_ms, c.last_seen_after == kKeep ? seen_before : c.last_seen_after) << c.what;
        if (r.flags & 0x02) {
            EXPECT_EQ(ctx.challenge_len, 32) << c.what;
        }
        if (c.dispatch == 0 && c.state != 2) {
            EXPECT_EQ(0, std::memcmp(ctx.issued, ctx.challenge, 32)) << c.what;
            EXPECT_EQ(ctx.req_time_ms, c.now) << c.what;
            EXPECT_NE(0, std::memcmp(ctx.issued, issued_before, 32)) << c.what;
        }
        if (r.flags & 0x04) {
            uint8_t expect[32];
            calculate_response(ctx.challenge, expect);
            EXPECT_EQ(0, std::memcmp(ctx.response, expect, 32)) << c.what;
        }
        if (ctx.state != 1) {
            EXPECT_EQ(ctx.issued_len, 0) << c.what;
        }
    }
    lldp_auth_result r{};
    EXPECT_EQ(lldp_auth_handle_rx(nullptr, 0, 1, &r), -1);
}

// An issued challenge authenticates once: replaying the same answer fails.
TEST(LldpAuth, IssuedChallengeIsUsedUp) {
    lldp_auth_ctx ctx{};
    enter(ctx, 1);
    load(ctx, Frame::kIssuedGoodResp);
    uint8_t ch[32], resp[32];
    std::memcpy(ch, ctx.challenge, 32);
    std::memcpy(resp, ctx.response, 32);
    lldp_auth_result r{};
    lldp_auth_handle_rx(&ctx, 2, 1100, &r);
    ASSERT_EQ(ctx.state, 2);

    lldp_auth_handle_rx(&ctx, 4, 1200, &r);  // the session ends
    lldp_auth_handle_rx(&ctx, 0, 1300, &r);  // a new challenge is out
    ASSERT_EQ(ctx.state, 1);
    std::memcpy(ctx.challenge, ch, 32);
    ctx.challenge_len = 32;
    std::memcpy(ctx.response, resp, 32);
    ctx.response_len = 32;
    lldp_auth_handle_rx(&ctx, 2, 1400, &r);
    EXPECT_EQ(r.flags, 0x10);
    EXPECT_EQ(ctx.state, 0);
}

TEST(LldpAuth, ChallengeTimer) {
    lldp_auth_ctx ctx{};
    enter(ctx, 1);  // hello at 1000
    lldp_auth_result r{};
    lldp_auth_on_tick(&ctx, 3999, &r);
    EXPECT_EQ(ctx.state, 1);
    EXPECT_EQ(r.status, 0);
    lldp_auth_on_tick(&ctx, 4000, &r);
    EXPECT_EQ(ctx.state, 0);
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(ctx.issued_len, 0);
    EXPECT_EQ(lldp_auth_on_tick(nullptr, 1, &r), -1);
}

TEST(LldpAuth, SessionTimer) {
    lldp_auth_ctx ctx{};
    enter(ctx, 2);  // authenticated at 1000
    lldp_auth_result r{};
    lldp_auth_on_tick(&ctx, 30999, &r);
    EXPECT_EQ(ctx.state, 2);
    lldp_auth_on_tick(&ctx, 31000, &r);
    EXPECT_EQ(ctx.state, 0);
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(ctx.last_seen_ms, 0u);

    // A keep-alive moves the deadline; an unset last-seen time starts it.
    enter(ctx, 2);
    lldp_auth_handle_rx(&ctx, 5, 20000, &r);
    lldp_auth_on_tick(&ctx, 49999, &r);
    EXPECT_EQ(ctx.state, 2);
    ctx.last_seen_ms = 0;
    lldp_auth_on_tick(&ctx, 60000, &r);
    EXPECT_EQ(ctx.last_seen_ms, 60000u);
    lldp_auth_on_tick(&ctx, 89999, &r);
    EXPECT_EQ(ctx.state, 2);
    lldp_auth_on_tick(&ctx, 90000, &r);
    EXPECT_EQ(ctx.state, 0);
    EXPECT_EQ(lldp_auth_is_ok(&ctx), 0);
    EXPECT_EQ(lldp_auth_is_ok(nullptr), 0);
}

TEST(LldpAuth, StoredChallengeAndResponseAccessors) {
    lldp_auth_ctx ctx{};
    lldp_auth_init(&ctx);
    const uint8_t *p = nullptr;
    uint16_t n = 0;
    EXPECT_EQ(lldp_auth_get_req(&ctx, &p, &n), -1);
    EXPECT_EQ(lldp_auth_get_resp(&ctx, &p, &n), -1);
    enter(ctx, 2);
    ASSERT_EQ(lldp_auth_get_req(&ctx, &p, &n), 0);
    EXPECT_EQ(p, ctx.challenge);
    EXPECT_EQ(n, 32);
    ASSERT_EQ(lldp_auth_get_resp(&ctx, &p, &n), 0);
    EXPECT_EQ(p, ctx.response);
}

}  // namespace
