// Dimming hot path: the cost of one phase change with ten attached LEDs, and
// a run with the real timer at the stock period (200 expiries a second) that
// reports the CPU time used per second and the node writes per LED and phase.
//
//   glowctl_dimming_bench [--seconds N] [--seek-write] [google benchmark flags]
//
// --seek-write runs the timed part with a seek and a write per LED instead of
// one positioned write, for comparison. The timer's own cost per phase (one
// thread per expiry) comes on top; strace -f -c shows it.
#include "glowctl/brightness.h"
#include "glowctl/led_registry.h"
#include "glowctl/log.h"
#include "glowctl/sys.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::atomic<long> g_writes{0};
std::atomic<long> g_calls{0};  // node system calls

ssize_t counting_writer(int fd, const void *buf, std::size_t len)
{
    g_writes.fetch_add(1, std::memory_order_relaxed);
    g_calls.fetch_add(1, std::memory_order_relaxed);
    return pwrite(fd, buf, len, 0);
}

// The seek-then-write form, for comparison.
ssize_t seek_write_writer(int fd, const void *buf, std::size_t len)
{
    g_writes.fetch_add(1, std::memory_order_relaxed);
    g_calls.fetch_add(2, std::memory_order_relaxed);
    if (lseek(fd, 0, SEEK_SET) < 0) return -1;
    return write(fd, buf, len);
}

void quiet(int, const char *) {}

// Ten fake LEDs under a scratch root, registered and attached.
std::string make_tree()
{
    char tmpl[] = "/tmp/glowbenchXXXXXX";
    if (!mkdtemp(tmpl)) {
        perror("mkdtemp");
        exit(1);
    }
    std::string root = tmpl;
    glow_set_root(root.c_str());
    glow_set_log_sink(quiet);
    for (const char *name : g_led_names) {
        std::string dir = root + "/sys";
        mkdir(dir.c_str(), 0755);
        dir += "/class";
        mkdir(dir.c_str(), 0755);
        dir += "/leds";
        mkdir(dir.c_str(), 0755);
        dir += std::string("/") + name;
        mkdir(dir.c_str(), 0755);
        for (const char *node : {"/brightness", "/trigger"}) {
            FILE *f = fopen((dir + node).c_str(), "w");
            if (f) fclose(f);
        }
        led_register(name);
    }
    return root;
}

double cpu_seconds()
{
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

void BM_PhaseChangeTenLeds(benchmark::State &state)
{
    // No timer here: brightness_init is not called, so arming does nothing.
    brightness_reset();
    led_attach_all();
    for (auto _ : state) brightness_tick();
    state.SetItemsProcessed(state.iterations() * kLedSlots);
    brightness_reset();
}
BENCHMARK(BM_PhaseChangeTenLeds);

void run_with_timer(int seconds, bool seek_write)
{
    brightness_set_writer(seek_write ? seek_write_writer : counting_writer);
    brightness_init();
    brightness_reset();  // stock durations: level 30, 10 ms period
    led_attach_all();
    g_writes = 0;
    g_calls = 0;
    const double cpu0 = cpu_seconds();
    sleep(static_cast<unsigned>(seconds));
    const double cpu = cpu_seconds() - cpu0;
    const long writes = g_writes.load();
    const long calls = g_calls.load();
    brightness_reset();
    const double phases = static_cast<double>(writes) / kLedSlots;
    printf("timer run (%s): %d s, %d LEDs, %.0f phase changes (%.1f/s)\n",
           seek_write ? "seek + write" : "positioned write", seconds, kLedSlots, phases, phases / seconds);
    printf("  CPU time: %.2f ms per second (%.2f%% of one core)\n", cpu * 1000.0 / seconds, cpu * 100.0 / seconds);
    printf("  node system calls per LED per phase: %.2f\n",
           phases > 0 ? static_cast<double>(calls) / (phases * kLedSlots) : 0.0);
}

}  // namespace

int main(int argc, char **argv)
{
    int seconds = 10;
    bool seek_write = false;
    for (int i = 1; i < argc;) {
        int take = 0;
        if (strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            seconds = atoi(argv[i + 1]);
            take = 2;
        } else if (strcmp(argv[i], "--seek-write") == 0) {
            seek_write = true;
            take = 1;
        }
        if (!take) {
            ++i;
            continue;
        }
        for (int j = i; j + take <= argc; ++j) argv[j] = argv[j + take];
        argc -= take;
    }
    const std::string root = make_tree();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    if (seconds > 0) run_with_timer(seconds, seek_write);
    led_registry_reset();
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
    return ec ? 1 : 0;
}
