// Speed of the agent's receive path: LLDPDU decoding, reply building, the
// receive ring and the response function.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

#include "uplinkd/lldp_auth_crypto.h"
#include "uplinkd/lldp_build.h"
#include "uplinkd/lldp_free.h"
#include "uplinkd/lldp_parse.h"
#include "uplinkd/lldp_queue.h"
#include "uplinkd/lldp_sm.h"
#include "uplinkd/test/fake_device.h"
#include "uplinkd/test/lldp_test_util.h"

namespace {

using lldp_test::Bytes;

// A frame as the ONT sends it during authentication: full identity and
// three vendor TLVs {1: 32 bytes, 2: 32 bytes, 3}.
Bytes typical_frame() {
    static const uint8_t mac[6] = {0x02, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E};
    const Bytes c(32, 0x11), r(32, 0x22);
    lldp_org_entry orgs[3];
    lldp_build_prepare_org(1, c.data(), 32, &orgs[0]);
    lldp_build_prepare_org(2, r.data(), 32, &orgs[1]);
    lldp_build_prepare_org(3, nullptr, 0, &orgs[2]);
    lldp_frame_desc d{};
    d.chassis_mac = mac;
    d.port_mac = mac;
    d.ttl = 120;
    d.port_desc = "pon0";
    d.system_name = "ONT";
    d.system_desc = "optical network terminal";
    d.sys_caps = 0x0014;
    d.sys_caps_enabled = 0x0014;
    d.mgmt_addr_subtype = 6;
    d.mgmt_addr = mac;
    d.mgmt_addr_len = 6;
    d.mgmt_if_subtype = 1;
    d.mgmt_if_number = 3;
    d.orgs = orgs;
    d.org_count = 3;
    Bytes buf(LLDP_FRAME_MAX);
    lldp_packer p{};
    lldp_build_packer_init(&p, buf.data(), static_cast<uint32_t>(buf.size()));
    lldp_build_frame(&p, &d);
    buf.resize(p.used);
    return buf;
}

size_t g_allocs = 0;
void *counting_calloc(size_t n, size_t size) {
    ++g_allocs;
    return std::calloc(n, size);
}

void BM_ParseAndFree(benchmark::State &state) {
    const Bytes f = typical_frame();
    const uint8_t *pdu = nullptr;
    size_t n = 0;
    lldp_parse_eth_lldpdu(f.data(), f.size(), &pdu, &n);
    lldp_parse_set_allocator(counting_calloc);
    g_allocs = 0;
    for (auto _ : state) {
        lldp_info *info = lldp_parse_packet(pdu, n);
        benchmark::DoNotOptimize(info);
        lldp_free_info(info);
    }
    lldp_parse_set_allocator(nullptr);
    state.counters["allocs_per_parse"] =
        benchmark::Counter(static_cast<double>(g_allocs) / static_cast<double>(state.iterations()));
    state.counters["lldpdu_bytes"] = static_cast<double>(n);
}
BENCHMARK(BM_ParseAndFree);

void BM_BuildReplyFrame(benchmark::State &state) {
    const Bytes c(32, 0x11), r(32, 0x22);
    lldp_org_entry orgs[3];
    lldp_build_prepare_org(1, c.data(), 32, &orgs[0]);
    lldp_build_prepare_org(2, r.data(), 32, &orgs[1]);
    lldp_build_prepare_org(3, nullptr, 0, &orgs[2]);
    uint8_t out[LLDP_FRAME_MAX];
    size_t len = 0;
    for (auto _ : state) {
        lldp_build_frame_by_ifname("eth3", orgs, 3, out, sizeof(out), &len);
        benchmark::DoNotOptimize(out);
    }
    state.counters["frame_bytes"] = static_cast<double>(len);
}
BENCHMARK(BM_BuildReplyFrame);

void BM_RingPushPop(benchmark::State &state) {
    auto q = std::make_unique<lldp_queue>();
    lldp_queue_init(q.get());
    const Bytes f = typical_frame();
    auto e = std::make_unique<lldp_queue_entry>();
    for (auto _ : state) {
        lldp_queue_push(q.get(), f.data(), f.size(), "eth3");
        lldp_queue_pop(q.get(), e.get());
        benchmark::DoNotOptimize(e->data[0]);
    }
}
BENCHMARK(BM_RingPushPop);

void BM_CalculateResponse(benchmark::State &state) {
    uint8_t c[32], o[32];
    for (int i = 0; i < 32; ++i) c[i] = static_cast<uint8_t>(i * 37);
    for (auto _ : state) {
        calculate_response(c, o);
        benchmark::DoNotOptimize(o);
        c[0] = o[0];
    }
}
BENCHMARK(BM_CalculateResponse);

// One whole receive step of the session: a keep-alive hello from the
// authenticated ONT, decoded, stepped and answered with {5}.
void BM_SessionHelloToReply(benchmark::State &state) {
    lldp_sm_ctx ctx{};
    lldp_sm_init(&ctx);
    Bytes hello = lldp_test::ont_frame({{0, {}}});
    lldp_sm_on_rx(&ctx, hello.data(), hello.size(), "eth3");
    Bytes ch(ctx.auth.issued, ctx.auth.issued + 32), resp(32);
    calculate_response(ch.data(), resp.data());
    Bytes answer = lldp_test::ont_frame({{1, ch}, {2, resp}});
    lldp_sm_on_rx(&ctx, answer.data(), answer.size(), "eth3");
    for (auto _ : state) {
        lldp_sm_on_rx(&ctx, hello.data(), hello.size(), "eth3");
        fake_dev::sent.clear();
    }
    if (ctx.auth.state != 2) state.SkipWithError("session not authenticated");
}
BENCHMARK(BM_SessionHelloToReply);

}  // namespace

BENCHMARK_MAIN();
