#include "glowctl/test/fake_zkuci.h"

#include "platform/zkuci.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace fake_zkuci {
std::map<std::string, std::string> g_values;
std::vector<std::string> g_writes;
std::string g_fail_set;
void reset()
{
    g_values.clear();
    g_writes.clear();
    g_fail_set.clear();
}
}  // namespace fake_zkuci

using namespace fake_zkuci;

namespace {
std::string key(const char *p, const char *s, const char *o) { return std::string(p) + "." + s + "." + o; }
}  // namespace

extern "C" {

int zkuci_get(const char *package, const char *section, const char *option, char *buf, size_t size)
{
    auto it = g_values.find(key(package, section, option));
    if (it == g_values.end()) return -1;
    snprintf(buf, size, "%s", it->second.c_str());
    return 0;
}

int zkuci_set(const char *package, const char *section, const char *option, const char *value)
{
    const std::string k = key(package, section, option);
    if (k == g_fail_set) return -1;
    g_values[k] = value;
    g_writes.push_back("set " + k + "=" + value);
    return 0;
}

int zkuci_delete(const char *package, const char *section, const char *option)
{
    g_values.erase(key(package, section, option));
    return 0;
}

int zkuci_add_section(const char *package, const char *type, const char *name)
{
    g_writes.push_back(std::string("add ") + package + "." + name + "=" + type);
    return 0;
}

int zkuci_del_section(const char *package, const char *name)
{
    const std::string prefix = std::string(package) + "." + name + ".";
    for (auto it = g_values.begin(); it != g_values.end();)
        it = it->first.compare(0, prefix.size(), prefix) == 0 ? g_values.erase(it) : std::next(it);
    g_writes.push_back(std::string("del ") + package + "." + name);
    return 0;
}

int zkuci_get_int32(const char *package, const char *section, const char *option)
{
    auto it = g_values.find(key(package, section, option));
    if (it == g_values.end()) return -1;
    char *end = nullptr;
    long v = strtol(it->second.c_str(), &end, 10);
    return end && *end == '\0' && end != it->second.c_str() ? static_cast<int>(v) : -1;
}

int zkuci_set_int32(int32_t value, const char *package, const char *section, const char *option)
{
    return zkuci_set(package, section, option, std::to_string(value).c_str());
}

int zkuci_get_more_options(int, const char *, const char *, int, ...) { return -1; }
int zkuci_get_hi_cfm(const char *, const char *, const char *, char *, size_t) { return -1; }
void zkuci_set_config_dir(const char *) {}
const char *zkuci_config_dir(void) { return "/etc/config"; }
}
