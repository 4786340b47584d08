// logtune: show or set the debug print level and trace of one module of the
// chip platform's software kit. Always exits 0: it is run by hand and from
// debug scripts that do not look at the status.

#include "platform/hi_owal_ssf/hi_owal_ssf.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int usage()
{
    std::fputs("\nusage: logtune MODNAME:DBG_LVL:SYSTRACE\n", stdout);
    std::fflush(stdout);  // the module list may be written below stdio
    hi_dump_mod_names();
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc < 2) return usage();

    const char *arg = argv[1];
    const char *colon = std::strchr(arg, ':');
    std::string name = colon ? std::string(arg, static_cast<std::size_t>(colon - arg)) : std::string(arg);
    int code = hi_get_modcode_byname(name.c_str());
    if (code < 0) return usage();

    hi_log_cfg cfg;
    std::memset(&cfg, 0, sizeof cfg);
    cfg.module = static_cast<uint32_t>(code);

    const char *rest = colon ? colon + 1 : "";
    if (*rest == '\0') {
        hi_log_getcfg(&cfg);
        std::printf("Now : module=%08x, print=%04x trace=%d\n", cfg.module, cfg.print, cfg.trace);
        return 0;
    }

    // Base 0: decimal, 0x hexadecimal, leading 0 octal. Only the low byte is
    // kept, so 300 becomes 44. Whatever single character follows the level
    // separates it from the trace value.
    char *end = nullptr;
    cfg.print = static_cast<uint8_t>(std::strtol(rest, &end, 0));
    if (*end != '\0') cfg.trace = static_cast<uint8_t>(std::strtol(end + 1, nullptr, 0));

    std::printf("cfg mod %08x print=%04x trace=%d\n", cfg.module, cfg.print, cfg.trace);
    std::fflush(stdout);
    hi_log_setcfg(&cfg);
    return 0;
}
