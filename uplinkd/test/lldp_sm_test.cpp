#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "uplinkd/lldp_auth_crypto.h"
#include "uplinkd/lldp_sm.h"
#include "uplinkd/test/fake_device.h"
#include "uplinkd/test/lldp_test_util.h"

using lldp_test::Bytes;
using lldp_test::ont_frame;
using lldp_test::subtypes;
using lldp_test::Tlv;
using lldp_test::vendor_tlvs;

namespace {

const uint8_t kIntruderMac[6] = {0x02, 0x66, 0x66, 0x66, 0x66, 0x66};

Bytes resp_of(const Bytes &ch) {
    Bytes r(32);
    calculate_response(ch.data(), r.data());
    return r;
}

struct HookLog {
    std::vector<int> auth_events;
    std::vector<std::pair<int, int>> cfg;  // subtype, length
};

void on_auth(void *arg, int event) { static_cast<HookLog *>(arg)->auth_events.push_back(event); }
int on_cfg(void *arg, int subtype, const uint8_t *, int len) {
    static_cast<HookLog *>(arg)->cfg.emplace_back(subtype, len);
    return 0;
}

class LldpSm : public ::testing::Test {
protected:
    lldp_sm_ctx ctx{};
    HookLog hooks;

    void SetUp() override {
        fake_dev::reset();
        hooks = {};
        lldp_sm_init(&ctx);
        lldp_sm_register_auth_hook(&ctx, on_auth, &hooks);
        lldp_sm_register_cfg_update_hook(&ctx, on_cfg, &hooks);
    }

    // Hands a frame to the session and returns the vendor TLVs of the one
    // reply it sent (none when it sent nothing).
    std::vector<Tlv> rx(const std::vector<Tlv> &tlvs, const char *port = "eth3",
                        const uint8_t *src = lldp_test::kOntMac) {
        fake_dev::sent.clear();
        const Bytes f = ont_frame(tlvs, src);
        EXPECT_EQ(lldp_sm_on_rx(&ctx, f.data(), f.size(), port), 0);
        EXPECT_LE(fake_dev::sent.size(), 1u);
        if (fake_dev::sent.empty()) return {};
        EXPECT_EQ(fake_dev::sent[0].ifname, port);
        return vendor_tlvs(fake_dev::sent[0].frame);
    }

    // Hello, then the right answer, on `port`. Returns the ONT's answer frame.
    std::vector<Tlv> authenticate(const char *port = "eth3") {
        const auto c = rx({{0, {}}}, port);
        EXPECT_EQ(subtypes(c), std::vector<int>{1});
        if (c.empty()) return {};
        const std::vector<Tlv> answer = {{1, c[0].payload}, {2, resp_of(c[0].payload)}};
        const auto ok = rx(answer, port);
        EXPECT_EQ(subtypes(ok), (std::vector<int>{1, 2, 3}));
        EXPECT_EQ(ctx.auth.state, 2);
        return answer;
    }
};

TEST_F(LldpSm, RouterChallengesAndTheOntAnswers) {
    const auto c = rx({{0, {}}});
    ASSERT_EQ(subtypes(c), std::vector<int>{1});
    EXPECT_EQ(c[0].payload.size(), 32u);
    EXPECT_EQ(ctx.auth.state, 1);
    EXPECT_STREQ(ctx.session_ifname, "eth3");
    EXPECT_TRUE(hooks.auth_events.empty());

    const auto ok = rx({{1, c[0].payload}, {2, resp_of(c[0].payload)}});
    ASSERT_EQ(subtypes(ok), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(ok[0].payload, c[0].payload);
    EXPECT_EQ(ok[1].payload, resp_of(c[0].payload));
    EXPECT_TRUE(ok[2].payload.empty());
    EXPECT_EQ(hooks.auth_events, std::vector<int>{1});
    EXPECT_STREQ(ctx.bound_ifname, "eth3");
    EXPECT_EQ(0, std::memcmp(ctx.bound_mac, lldp_test::kOntMac, 6));

    // While authenticated: hello gets {5}, keep-alive gets nothing.
    EXPECT_EQ(subtypes(rx({{0, {}}})), std::vector<int>{5});
    EXPECT_TRUE(rx({{5, {}}}).empty());
    EXPECT_EQ(ctx.auth.state, 2);
    // The ONT ends the session.
    EXPECT_TRUE(rx({{4, {}}}).empty());
    EXPECT_EQ(ctx.auth.state, 0);
    EXPECT_EQ(subtypes(rx({{5, {}}})), std::vector<int>{4});
}

TEST_F(LldpSm, WrongAnswersFail) {
    const struct {
        const char *what;
        bool with_challenge, with_response, corrupt;
    } cases[] = {
        {"wrong response", true, true, true},
        {"response without challenge", false, true, false},
        {"challenge without response", true, false, false},
    };
    for (const auto &c : cases) {
        SetUp();
        const auto ch = rx({{0, {}}});
        ASSERT_EQ(ch.size(), 1u);
        Bytes r = resp_of(ch[0].payload);
        if (c.corrupt) r[0] ^= 1;
        std::vector<Tlv> f;
        if (c.with_challenge) f.push_back({1, ch[0].payload});
        if (c.with_response) f.push_back({2, r});
        // A frame with only subtype 1 dispatches as a challenge, which an
        // unauthenticated peer does not get answered.
        const auto reply = rx(f);
        if (c.with_response)
            EXPECT_EQ(subtypes(reply), std::vector<int>{4}) << c.what;
        else
            EXPECT_TRUE(reply.empty()) << c.what;
        EXPECT_NE(ctx.auth.state, 2) << c.what;
        EXPECT_TRUE(hooks.auth_events.empty()) << c.what;
    }
}

TEST_F(LldpSm, AuthenticatedOntChecksTheRouter) {
    authenticate();
    Bytes mine(32);
    for (int i = 0; i < 32; ++i) mine[i] = static_cast<uint8_t>(0xC0 + i);
    const auto r = rx({{1, mine}});
    ASSERT_EQ(subtypes(r), (std::vector<int>{1, 2}));
    EXPECT_EQ(r[0].payload, mine);
    EXPECT_EQ(r[1].payload, resp_of(mine));
    // The ONT's confirmation is a keep-alive: no reply, session stands.
    fake_dev::now_ms += 20000;
    EXPECT_TRUE(rx({{1, mine}, {2, resp_of(mine)}, {3, {}}}).empty());
    EXPECT_EQ(ctx.auth.last_seen_ms, fake_dev::now_ms);
    EXPECT_EQ(ctx.auth.state, 2);
    EXPECT_EQ(hooks.auth_events.size(), 1u);
}

// The attack the exchange used to allow: have the router sign a challenge,
// then present the pair back to it. Neither step may work.
TEST_F(LldpSm, TwoFrameAttackFails) {
    Bytes x(32, 0x42);
    EXPECT_TRUE(rx({{1, x}}, "eth1", kIntruderMac).empty());  // the router signs nothing
    EXPECT_EQ(ctx.auth.state, 0);
    // Even a correct pair (as if the key had leaked once) is no answer to a
    // challenge the router issued.
    EXPECT_EQ(subtypes(rx({{1, x}, {2, resp_of(x)}}, "eth1", kIntruderMac)), std::vector<int>{4});
    EXPECT_TRUE(rx({{1, x}, {2, resp_of(x)}, {3, {}}}, "eth1", kIntruderMac).empty());
    EXPECT_EQ(ctx.auth.state, 0);
    EXPECT_TRUE(hooks.auth_events.empty());
    rx({{6, Bytes(48, 1)}}, "eth1", kIntruderMac);
    EXPECT_TRUE(hooks.cfg.empty());
}

// Once bound, the session listens to its peer only.
TEST_F(LldpSm, BoundSessionIgnoresOtherPortsAndMacs) {
    authenticate("eth3");
    const struct {
        const char *port;
        const uint8_t *mac;
    } strangers[] = {{"eth1", kIntruderMac}, {"eth1", lldp_test::kOntMac}, {"eth3", kIntruderMac}};
    for (const auto &s : strangers) {
        const uint64_t seen = ctx.auth.last_seen_ms;
        for (int sub : {0, 1, 2, 3, 4, 5}) {
            std::vector<Tlv> f = {{sub, {}}};
            if (sub == 1 || sub == 2) f = {{1, Bytes(32, 7)}, {2, resp_of(Bytes(32, 7))}};
            if (sub == 1) f.pop_back();
            EXPECT_TRUE(rx(f, s.port, s.mac).empty()) << s.port << " subtype " << sub;
            EXPECT_EQ(ctx.auth.state, 2) << s.port << " subtype " << sub;
            EXPECT_STREQ(ctx.session_ifname, "eth3") << s.port << " subtype " << sub;
        }
        EXPECT_EQ(ctx.auth.last_seen_ms, seen);
        rx({{6, Bytes(48, 1)}}, s.port, s.mac);
        rx({{8, Bytes(20, 1)}}, s.port, s.mac);
    }
    EXPECT_TRUE(hooks.cfg.empty());

    // A status request from elsewhere reaches the hook, which answers on the
    // session port; that port stays the bound one.
    rx({{11, {}}}, "eth2", kIntruderMac);
    EXPECT_EQ(hooks.cfg, (std::vector<std::pair<int, int>>{{11, 0}}));
    EXPECT_STREQ(ctx.session_ifname, "eth3");

    rx({{6, Bytes(48, 1)}});
    EXPECT_EQ(hooks.cfg.back(), (std::pair<int, int>{6, 48}));
}

TEST_F(LldpSm, ReplayedAnswerOfAnEarlierExchangeFails) {
    const auto answer = authenticate();
    rx({{4, {}}});
    ASSERT_EQ(ctx.auth.state, 0);
    EXPECT_EQ(subtypes(rx(answer)), std::vector<int>{4});  // nothing issued
    rx({{0, {}}});
    ASSERT_EQ(ctx.auth.state, 1);
    EXPECT_EQ(subtypes(rx(answer)), std::vector<int>{4});  // another challenge is out
    EXPECT_EQ(ctx.auth.state, 0);
    EXPECT_EQ(hooks.auth_events.size(), 1u);
}

TEST_F(LldpSm, SessionMovesToANewPeerAfterItEnds) {
    authenticate("eth3");
    fake_dev::now_ms += 30000;
    lldp_sm_on_tick(&ctx, fake_dev::now_ms);
    ASSERT_EQ(ctx.auth.state, 0);
    authenticate("eth0");
    EXPECT_STREQ(ctx.bound_ifname, "eth0");
    EXPECT_STREQ(ctx.session_ifname, "eth0");
    EXPECT_TRUE(rx({{0, {}}}, "eth3").empty());
}

TEST_F(LldpSm, DispatchSubtype) {
    const Bytes c32(32, 0x11);
    const struct {
        const char *what;
        std::vector<Tlv> tlvs;
        std::vector<int> reply;
        std::vector<std::pair<int, int>> hook;  // subtype and length handed to the hook
    } cases[] = {
        {"6 then 3 is configuration", {{6, Bytes(5, 1)}, {3, {}}}, {}, {{6, 5}}},
        {"8 then 6: the last above 5 wins", {{8, Bytes(5, 1)}, {6, Bytes(7, 1)}}, {}, {{6, 7}}},
        {"3 then 8", {{3, {}}, {8, Bytes(9, 1)}}, {}, {{8, 9}}},
        {"1 then 2 answers as a response", {{1, c32}, {2, resp_of(c32)}}, {4}, {}},
        {"2 then 1 as well", {{2, resp_of(c32)}, {1, c32}}, {4}, {}},
        {"0 then 5 is a keep-alive", {{0, {}}, {5, {}}}, {}, {}},
        {"status record sent to the router", {{12, Bytes(4, 1)}}, {}, {}},
        {"unknown subtype", {{200, Bytes(4, 1)}}, {}, {}},
        {"7 is ignored", {{7, Bytes(4, 1)}}, {}, {}},
    };
    for (const auto &c : cases) {
        SetUp();
        authenticate();
        hooks.cfg.clear();
        EXPECT_EQ(subtypes(rx(c.tlvs)), c.reply) << c.what;
        EXPECT_EQ(hooks.cfg, c.hook) << c.what;
    }
}

TEST_F(LldpSm, ChallengeStorage) {
    authenticate();
    Bytes first(32, 0xA1), second(32, 0xB2);
    auto r = rx({{1, first}, {1, second}});
    ASSERT_EQ(subtypes(r), (std::vector<int>{1, 2}));
    EXPECT_EQ(r[0].payload, first);
    EXPECT_TRUE(rx({{1, Bytes(33, 0xA1)}}).empty());  // too long to store: no answer
    EXPECT_EQ(ctx.auth.challenge_len, 0);
    EXPECT_TRUE(rx({{1, Bytes(31, 0xA1)}}).empty());
}

TEST_F(LldpSm, ForeignOuiVoidsTheFrame) {
    rx({{0, {}}});
    ASSERT_EQ(ctx.auth.state, 1);
    const Bytes ch(ctx.auth.issued, ctx.auth.issued + 32);
    Bytes f = ont_frame({{1, ch}, {2, resp_of(ch)}});
    // Change the OUI of the second vendor TLV.
    auto it = std::search(f.begin() + 14, f.end(), lldp_build_default_org_oui(), lldp_build_default_org_oui() + 3);
    it = std::search(it + 1, f.end(), lldp_build_default_org_oui(), lldp_build_default_org_oui() + 3);
    ASSERT_NE(it, f.end());
    it[2] = 0x92;
    fake_dev::sent.clear();
    lldp_sm_on_rx(&ctx, f.data(), f.size(), "eth3");
    EXPECT_TRUE(fake_dev::sent.empty());
    EXPECT_EQ(ctx.auth.state, 1);
    EXPECT_EQ(ctx.auth.challenge_len, 0);
    EXPECT_EQ(ctx.auth.response_len, 0);
}

TEST_F(LldpSm, ProvisioningNeedsTheSessionAndFitsIn1600Bytes) {
    rx({{6, Bytes(48, 1)}});
    EXPECT_TRUE(hooks.cfg.empty());
    authenticate();
    rx({{6, Bytes(400, 1)}, {6, Bytes(400, 2)}, {6, Bytes(400, 3)}});
    EXPECT_EQ(hooks.cfg, (std::vector<std::pair<int, int>>{{6, 1200}}));
    // The ring never holds more than 1600 bytes, but the session must not
    // rely on that: hand it longer frames directly.
    for (const auto &[count, expect] : {std::pair<int, size_t>{4, 1}, {5, 0}}) {
        hooks.cfg.clear();
        const Bytes f = ont_frame(std::vector<Tlv>(count, Tlv{6, Bytes(400, 1)}), lldp_test::kOntMac, 4000);
        ASSERT_FALSE(f.empty());
        lldp_sm_on_rx(&ctx, f.data(), f.size(), "eth3");
        ASSERT_EQ(hooks.cfg.size(), expect) << count;
        if (expect) {
            EXPECT_EQ(hooks.cfg[0], (std::pair<int, int>{6, 1600}));
        }
    }
}

TEST_F(LldpSm, FramesThatChangeNothing) {
    rx({{0, {}}});
    const int state = ctx.auth.state;
    const Bytes no_org = ont_frame({});
    const Bytes junk = {1, 2, 3};
    Bytes not_lldp = ont_frame({{5, {}}});
    not_lldp[12] = 0x08;
    not_lldp[13] = 0x00;
    fake_dev::sent.clear();
    for (const Bytes *b : std::vector<const Bytes *>{&no_org, &junk, &not_lldp}) EXPECT_EQ(lldp_sm_on_rx(&ctx, b->data(), b->size(), "eth3"), 0);
    EXPECT_EQ(lldp_sm_on_rx(&ctx, nullptr, 10, "eth3"), 0);
    EXPECT_TRUE(fake_dev::sent.empty());
    EXPECT_EQ(ctx.auth.state, state);

    lldp_sm_ctx idle{};
    EXPECT_EQ(lldp_sm_on_rx(&idle, junk.data(), junk.size(), "eth3"), -1);
    EXPECT_EQ(lldp_sm_on_rx(nullptr, junk.data(), junk.size(), "eth3"), -1);
    EXPECT_EQ(lldp_sm_on_tick(&idle, 5), -1);
    EXPECT_EQ(lldp_sm_init(nullptr), -1);
}

TEST_F(LldpSm, UnbuildableReplyStillReportsTheSession) {
    rx({{0, {}}}, "missing3");
    ASSERT_EQ(ctx.auth.state, 1);
    const Bytes ch(ctx.auth.issued, ctx.auth.issued + 32);
    EXPECT_TRUE(rx({{1, ch}, {2, resp_of(ch)}}, "missing3").empty());
    EXPECT_EQ(ctx.auth.state, 2);
    EXPECT_EQ(hooks.auth_events, std::vector<int>{1});
}

TEST_F(LldpSm, TickRunsTheTimers) {
    rx({{0, {}}});
    fake_dev::now_ms += 2999;
    lldp_sm_on_tick(&ctx, fake_dev::now_ms);
    EXPECT_EQ(ctx.auth.state, 1);
    fake_dev::now_ms += 1;
    lldp_sm_on_tick(&ctx, fake_dev::now_ms);
    EXPECT_EQ(ctx.auth.state, 0);
}

TEST_F(LldpSm, SessionIfname) {
    lldp_sm_set_session_ifname(&ctx, "eth2");
    EXPECT_STREQ(ctx.session_ifname, "eth2");
    lldp_sm_set_session_ifname(&ctx, "");
    EXPECT_STREQ(ctx.session_ifname, "");
    const std::string long_name(40, 'p');
    lldp_sm_set_session_ifname(&ctx, long_name.c_str());
    EXPECT_EQ(std::string(ctx.session_ifname), long_name.substr(0, 31));
    lldp_sm_ctx idle{};
    lldp_sm_set_session_ifname(&idle, "eth1");
    EXPECT_STREQ(idle.session_ifname, "");
}

}  // namespace
