// OMCI intake: decoding one message into the store, and building the five
// views from a full store (32 nodes, the snapshot limit).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "uplinkd/omci_api.h"
#include "uplinkd/omci_entity.h"
#include "uplinkd/omci_mib_build.h"

namespace {

std::vector<uint8_t> message(uint8_t type, uint16_t class_id, uint16_t instance, uint16_t mask,
                             std::vector<uint8_t> values)
{
    std::vector<uint8_t> m(48, 0);
    m[2] = type;
    m[4] = static_cast<uint8_t>(class_id >> 8);
    m[5] = static_cast<uint8_t>(class_id);
    m[6] = static_cast<uint8_t>(instance >> 8);
    m[7] = static_cast<uint8_t>(instance);
    m[8] = static_cast<uint8_t>(mask >> 8);
    m[9] = static_cast<uint8_t>(mask);
    for (size_t i = 0; i < values.size() && i < 30; ++i)
        m[10 + i] = values[i];
    return m;
}

void feed(const std::vector<uint8_t> &m)
{
    omci_data_handle(m.data(), m.size());
}

// 32 entities over every family a view builder reads, each attribute set.
void fill_store()
{
    omci_all_data_cleanup();
    omci_init();
    feed(message(0x48, 30001, 0, 0x8000, {2}));
    for (uint16_t inst = 0; inst < 2; ++inst)
        for (uint16_t cls = 30002; cls <= 30011; ++cls)
            feed(message(0x48, cls, inst, 0x8000, std::vector<uint8_t>(30, 0x41)));
    feed(message(0x48, 30101, 0, 0x8000, std::vector<uint8_t>(16, 's')));
    for (uint16_t inst = 0; inst < 3; ++inst)
        feed(message(0x48, 30100, inst, 0xF800, {1, 2, 6, 4, 100}));
    feed(message(0x48, 30101, 1, 0x8000, std::vector<uint8_t>(16, 's')));
    feed(message(0x48, 30101, 2, 0x8000, std::vector<uint8_t>(16, 's')));
    for (uint16_t cls : {30310, 30311, 30312, 30314, 30422})
        feed(message(0x48, cls, 0, 0x8000, std::vector<uint8_t>(22, 'u')));
}

void BM_DecodeSetIntoFullStore(benchmark::State &state)
{
    fill_store();
    // The last entity inserted: the longest search.
    const auto m = message(0x48, 30422, 0, 0x4000, {1});
    for (auto _ : state)
        benchmark::DoNotOptimize(omci_data_handle(m.data(), m.size()));
    state.counters["nodes"] = g_entity_mgr.count;
    omci_all_data_cleanup();
}
BENCHMARK(BM_DecodeSetIntoFullStore);

void BM_DecodeCreateThenDelete(benchmark::State &state)
{
    fill_store();
    const auto create = message(0x04, 30007, 3, 0xC000, std::vector<uint8_t>(20, 0x20));
    const auto remove = message(0x06, 30007, 3, 0, {});
    for (auto _ : state) {
        benchmark::DoNotOptimize(omci_data_handle(create.data(), create.size()));
        benchmark::DoNotOptimize(omci_data_handle(remove.data(), remove.size()));
    }
    omci_all_data_cleanup();
}
BENCHMARK(BM_DecodeCreateThenDelete);

void BM_BuildFiveViews(benchmark::State &state)
{
    fill_store();
    // Extra entities past the snapshot limit must not change the cost.
    for (int i = 0; i < state.range(0); ++i)
        feed(message(0x48, 30105, static_cast<uint16_t>(100 + i), 0x8000, {1}));
    static omci_wan_view wan;
    static omci_wlan_view wlan;
    static omci_tr069_view tr069;
    static omci_stun_view stun;
    static omci_mqtt_view mqtt;
    uint8_t count = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(omci_build_wan_config(&wan));
        benchmark::DoNotOptimize(omci_build_wlan_config_zelk(&wlan, &count));
        benchmark::DoNotOptimize(omci_build_tr069_config_zelk(&tr069));
        benchmark::DoNotOptimize(omci_build_stun_config_zelk(&stun));
        benchmark::DoNotOptimize(omci_build_mqtt_config_zelk(&mqtt));
        benchmark::ClobberMemory();
    }
    state.counters["nodes"] = g_entity_mgr.count;
    state.counters["wan_count"] = wan.wan_count;
    omci_all_data_cleanup();
}
BENCHMARK(BM_BuildFiveViews)->Arg(0)->Arg(96);

}  // namespace

BENCHMARK_MAIN();
