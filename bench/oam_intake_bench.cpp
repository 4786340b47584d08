// OAM intake from payload to store: a typical uncompressed delivery and a
// compressed one of about 4 KiB.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdint>
#include <vector>

#include "uplinkd/oam_api.h"

namespace {

using Bytes = std::vector<uint8_t>;

void container(Bytes &b, uint8_t branch, uint16_t leaf, const uint8_t *v, std::size_t n)
{
    b.push_back(branch);
    b.push_back(static_cast<uint8_t>(leaf >> 8));
    b.push_back(static_cast<uint8_t>(leaf));
    b.push_back(static_cast<uint8_t>(n == 128 ? 0 : n));
    b.insert(b.end(), v, v + n);
}

void object(Bytes &b, uint8_t branch, uint16_t leaf, const Bytes &value)
{
    for (std::size_t at = 0; at < value.size(); at += 128)
        container(b, branch, leaf, value.data() + at, value.size() - at < 128 ? value.size() - at : 128);
}

Bytes with_instance(uint32_t instance)
{
    return {0x11, 0x22, 0x33, 3, 0x37, 0x00, 0x01, 4, static_cast<uint8_t>(instance >> 24),
            static_cast<uint8_t>(instance >> 16), static_cast<uint8_t>(instance >> 8),
            static_cast<uint8_t>(instance)};
}

Bytes filled(std::size_t n)
{
    Bytes v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>('a' + i % 26);
    return v;
}

// One SSID object (667 bytes in six containers): what the ONT sends most.
Bytes ssid_delivery()
{
    Bytes p = with_instance(105);
    object(p, 0xC7, 0x2202, filled(667));
    return p;
}

// A dual-stack WAN list of 8 entries (3906 bytes), deflated. Its bytes take
// 4 pseudo-random values so the stream does not shrink to nothing and the
// delivery stays within one LLDPDU.
Bytes compressed_wan_delivery()
{
    Bytes list(2 + 8 * 488);
    uint32_t x = 12345;
    for (auto &b : list) {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>((x >> 16) & 0x03);
    }
    list[0] = 0;
    list[1] = 8;
    Bytes inner;
    object(inner, 0xC7, 0x2209, list);
    uLongf n = compressBound(inner.size());
    Bytes z(n);
    compress(z.data(), &n, inner.data(), inner.size());
    z.resize(n);
    Bytes p = with_instance(1);
    object(p, 0xC7, 0x22FF, z);
    return p;
}

void run(benchmark::State &state, const Bytes &payload)
{
    oam_init();
    for (auto _ : state) {
        int rc = oam_data_handle(payload.data(), payload.size());
        benchmark::DoNotOptimize(rc);
        if (rc != 0) state.SkipWithError("delivery refused");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * payload.size()));
    state.counters["payload_bytes"] = static_cast<double>(payload.size());
    oam_all_data_cleanup();
}

void BM_OamSsidDelivery(benchmark::State &state) { run(state, ssid_delivery()); }
void BM_OamCompressedWanDelivery(benchmark::State &state) { run(state, compressed_wan_delivery()); }

BENCHMARK(BM_OamSsidDelivery);
BENCHMARK(BM_OamCompressedWanDelivery);

}  // namespace

BENCHMARK_MAIN();
