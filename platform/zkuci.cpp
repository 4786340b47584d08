#include "platform/zkuci.h"

#include "platform/runner.h"
#include "platform/uci_store.h"

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

using platform::uci::Err;
using platform::uci::Package;
using platform::uci::ParseError;
using platform::uci::Store;

namespace {

std::mutex g_dir_mutex;
char g_config_dir[PATH_MAX] = "/etc/config";

Store store()
{
    std::lock_guard<std::mutex> lock(g_dir_mutex);
    return Store(g_config_dir);
}

bool ok_args(const char *package, const char *section)
{
    return package && section;
}

// Missing entries are the callers' everyday case and stay quiet; a broken
// file or a failed write is worth a line on standard error, once, not at
// every poll of a daemon that keeps reading the same broken file.
Err report(const Store &s, const char *package, Err e, const ParseError &where)
{
    if (e != Err::parse && e != Err::io) return e;
    char line[512];
    if (e == Err::parse)
        std::snprintf(line, sizeof line, "zkuci: %s: %s (%s) at line %d, byte %d\n", s.path_of(package).c_str(),
                      platform::uci::err_text(e), where.reason.c_str(), where.line, where.byte);
    else
        std::snprintf(line, sizeof line, "zkuci: %s: %s\n", s.path_of(package).c_str(), platform::uci::err_text(e));
    static std::mutex mutex;
    static std::string last;
    std::lock_guard<std::mutex> lock(mutex);
    if (last != line) {
        last = line;
        std::fputs(line, stderr);
    }
    return e;
}

Err load(const Store &s, const char *package, Package &p)
{
    ParseError where;
    return report(s, package, s.load(package, p, &where), where);
}

template <class F>
Err update(const char *package, bool create, F &&fn)
{
    const Store s = store();
    ParseError where;
    return report(s, package, s.update(package, create, fn, &where), where);
}

int rc(Err e)
{
    return e == Err::ok ? 0 : -1;
}

// A list reads as `uci get` prints it: items joined by blanks, each quoted
// when it holds whitespace.
std::string value_text(const platform::uci::Option &o)
{
    if (!o.is_list) return o.value;
    std::string out;
    for (std::size_t i = 0; i < o.items.size(); ++i) {
        if (i) out += ' ';
        const std::string &item = o.items[i];
        if (item.find_first_of(" \t\r\n") == std::string::npos)
            out += item;
        else
            platform::uci::append_quoted(out, item);
    }
    return out;
}

void copy_out(const std::string &value, char *buf, size_t size)
{
    const size_t n = value.size() < size - 1 ? value.size() : size - 1;
    std::memcpy(buf, value.data(), n);
    buf[n] = '\0';
}

}  // namespace

extern "C" {

void zkuci_set_config_dir(const char *dir)
{
    std::lock_guard<std::mutex> lock(g_dir_mutex);
    std::snprintf(g_config_dir, sizeof g_config_dir, "%s", dir && *dir ? dir : "/etc/config");
}

const char *zkuci_config_dir(void)
{
    return g_config_dir;
}

int zkuci_get(const char *package, const char *section, const char *option, char *buf, size_t size)
{
    if (!ok_args(package, section) || !option || !buf || size == 0) return -1;
    const Store s = store();
    Package p;
    if (load(s, package, p) != Err::ok) return -1;
    const auto *sec = p.find(section);
    const auto *opt = sec ? sec->find(option) : nullptr;
    if (!opt) return -1;
    copy_out(value_text(*opt), buf, size);
    return 0;
}

int zkuci_set(const char *package, const char *section, const char *option, const char *value)
{
    if (!ok_args(package, section) || !option || !value) return -1;
    return rc(update(package, false, [&](Package &p) { return p.set(section, option, value); }));
}

int zkuci_delete(const char *package, const char *section, const char *option)
{
    if (!ok_args(package, section) || !option) return -1;
    const Err e = update(package, false, [&](Package &p) { return p.remove(section, option); });
    return e == Err::not_found ? 0 : rc(e);
}

int zkuci_add_section(const char *package, const char *type, const char *name)
{
    if (!package || !type || !name) return -1;
    if (!platform::uci::valid_type(type) || !platform::uci::valid_name(name)) return -1;
    return rc(update(package, true, [&](Package &p) {
        if (!p.find(name)) p.add_section(type, name);
        return Err::ok;
    }));
}

int zkuci_del_section(const char *package, const char *name)
{
    if (!package || !name) return -1;
    // A missing package holds no such section either.
    const Err e = update(package, false, [&](Package &p) { return p.remove_section(name); });
    return e == Err::not_found ? 0 : rc(e);
}

int zkuci_get_int32(const char *package, const char *section, const char *option)
{
    char buf[32];
    if (zkuci_get(package, section, option, buf, sizeof buf) != 0) return -1;
    char *end = nullptr;
    errno = 0;
    const long v = std::strtol(buf, &end, 10);
    if (end == buf || errno != 0 || v < INT32_MIN || v > INT32_MAX) return -1;
    while (*end == ' ' || *end == '\t' || *end == '\n' || *end == '\r') ++end;
    if (*end != '\0') return -1;
    return static_cast<int>(v);
}

int zkuci_set_int32(int32_t value, const char *package, const char *section, const char *option)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%d", static_cast<int>(value));
    return zkuci_set(package, section, option, buf);
}

int zkuci_get_more_options(int mode, const char *package, const char *section, int count, ...)
{
    if (mode != 1 || !ok_args(package, section) || count < 0 || count % 3 != 0) return -1;
    const Store s = store();
    Package p;
    const bool loaded = load(s, package, p) == Err::ok;
    const auto *sec = loaded ? p.find(section) : nullptr;
    va_list ap;
    va_start(ap, count);
    for (int i = 0; i < count; i += 3) {
        const char *option = va_arg(ap, const char *);
        char *buf = va_arg(ap, char *);
        const size_t size = va_arg(ap, size_t);
        const auto *opt = (sec && option) ? sec->find(option) : nullptr;
        if (opt && buf && size > 0) copy_out(value_text(*opt), buf, size);
    }
    va_end(ap);
    return sec ? 0 : -1;
}

int zkuci_get_hi_cfm(const char *package, const char *section, const char *option, char *buf, size_t size)
{
    if (!ok_args(package, section) || !option || !buf || size == 0) return -1;
    if (!platform::uci::valid_name(section) || !platform::uci::valid_name(option)) return -1;
    const std::string key = std::string(section) + "." + option;
    platform::RunOptions opt;
    opt.capture = true;
    opt.max_output = 4096;
    opt.timeout_ms = 5000;
    platform::RunResult res;
    if (platform::run({"hi_cfm", "get", key.c_str()}, opt, &res) != 0) return -1;
    std::string value = res.output.substr(0, res.output.find('\n'));
    while (!value.empty() && (value.back() == '\r' || value.back() == ' ' || value.back() == '\t')) value.pop_back();
    if (value.empty() || value == "unknown") return -1;
    copy_out(value, buf, size);
    return 0;
}

}  // extern "C"
