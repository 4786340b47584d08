// Our own log-configuration library for hosts without the chip vendor's.
// Settings live in a small text file, one "code print trace" line per module
// that was ever set, so the tool behaves across runs as on the router.

#include "platform/hi_owal_ssf/hi_owal_ssf.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

static_assert(sizeof(hi_log_cfg) == 8);
static_assert(offsetof(hi_log_cfg, module) == 0);
static_assert(offsetof(hi_log_cfg, print) == 4);
static_assert(offsetof(hi_log_cfg, trace) == 5);
static_assert(offsetof(hi_log_cfg, reserved) == 6);

namespace {

struct Module {
    const char *name;
    uint32_t code;
};

constexpr Module kModules[] = {
    {"sys", 0x00010000}, {"cfm", 0x00010100}, {"log", 0x00010200},
    {"pon", 0x00020000}, {"gpon", 0x00020100}, {"epon", 0x00020200},
    {"omci", 0x00020300}, {"oam", 0x00020400}, {"eth", 0x00030000},
    {"switch", 0x00030100}, {"qos", 0x00030200}, {"wifi", 0x00040000},
    {"mesh", 0x00040100}, {"led", 0x00050000}, {"voip", 0x00060000},
};
constexpr std::size_t kCount = sizeof kModules / sizeof kModules[0];

struct Setting {
    uint8_t print = 0;
    uint8_t trace = 0;
};

const char *state_path()
{
    const char *p = std::getenv("HI_OWAL_SSF_STATE");
    return p && *p ? p : "/tmp/hi_owal_ssf.state";
}

int index_of(uint32_t code)
{
    for (std::size_t i = 0; i < kCount; ++i)
        if (kModules[i].code == code) return static_cast<int>(i);
    return -1;
}

void load(Setting (&s)[kCount])
{
    FILE *f = std::fopen(state_path(), "r");
    if (!f) return;
    unsigned code, print, trace;
    char line[128];
    while (std::fgets(line, sizeof line, f)) {
        if (std::sscanf(line, "%x %u %u", &code, &print, &trace) != 3) continue;
        int i = index_of(code);
        if (i < 0) continue;
        s[i].print = static_cast<uint8_t>(print);
        s[i].trace = static_cast<uint8_t>(trace);
    }
    std::fclose(f);
}

// Written beside the old file and renamed over it, so a reader never sees
// half a file.
int store(const Setting (&s)[kCount])
{
    char tmp[512];
    int n = std::snprintf(tmp, sizeof tmp, "%s.%d", state_path(), static_cast<int>(getpid()));
    if (n < 0 || static_cast<std::size_t>(n) >= sizeof tmp) return -1;
    FILE *f = std::fopen(tmp, "w");
    if (!f) return -1;
    for (std::size_t i = 0; i < kCount; ++i)
        std::fprintf(f, "%08x %u %u\n", kModules[i].code, s[i].print, s[i].trace);
    bool ok = std::fflush(f) == 0;
    ok = std::fclose(f) == 0 && ok;
    if (!ok || std::rename(tmp, state_path()) != 0) {
        std::remove(tmp);
        return -1;
    }
    return 0;
}

}  // namespace

extern "C" int hi_get_modcode_byname(const char *name)
{
    if (!name) return -1;
    for (const Module &m : kModules)
        if (std::strcmp(m.name, name) == 0) return static_cast<int>(m.code);
    return -1;
}

extern "C" int hi_log_getcfg(hi_log_cfg *cfg)
{
    if (!cfg) return -1;
    int i = index_of(cfg->module);
    if (i < 0) return -1;
    Setting s[kCount];
    load(s);
    cfg->print = s[i].print;
    cfg->trace = s[i].trace;
    return 0;
}

extern "C" int hi_log_setcfg(hi_log_cfg *cfg)
{
    if (!cfg) return -1;
    int i = index_of(cfg->module);
    if (i < 0) return -1;
    Setting s[kCount];
    load(s);
    s[i].print = cfg->print;
    s[i].trace = cfg->trace;
    return store(s);
}

extern "C" void hi_dump_mod_names(void)
{
    std::fputs("modules:", stdout);
    for (const Module &m : kModules) std::printf(" %s", m.name);
    std::fputs("\n", stdout);
}
