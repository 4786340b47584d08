#include "platform/uci_store.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace platform::uci {

const char *err_text(Err e)
{
    switch (e) {
    case Err::ok: return "Success";
    case Err::invalid: return "Invalid argument";
    case Err::not_found: return "Entry not found";
    case Err::io: return "I/O error";
    case Err::parse: return "Parse error";
    }
    return "Unknown error";
}

namespace {

bool is_alnum_(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

// Whitespace that does not end a line.
bool is_blank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

bool is_space(char c)
{
    return is_blank(c) || c == '\n';
}

// The hash libuci names anonymous sections with; kept bit for bit so that
// generated names agree with the uci tool's.
unsigned djbhash(std::string_view s)
{
    unsigned hash = 5381;
    for (char c : s) hash = ((hash << 5) + hash) + static_cast<unsigned>(static_cast<signed char>(c));
    return hash & 0x7FFFFFFF;
}

// `o` is the option of that name in `s`, if any.
void set_value(Section &s, Option *o, std::string_view name, std::string_view value)
{
    if (value.empty()) {
        if (o) s.options.erase(s.options.begin() + (o - s.options.data()));
        return;
    }
    if (!o) {
        Option n;
        n.name = std::string(name);
        n.value = std::string(value);
        s.options.push_back(std::move(n));
        return;
    }
    o->is_list = false;
    o->items.clear();
    o->value = std::string(value);
}

void add_item(Section &s, Option *o, std::string_view name, std::string_view value)
{
    if (!o) {
        Option n;
        n.name = std::string(name);
        n.is_list = true;
        n.items.emplace_back(value);
        s.options.push_back(std::move(n));
        return;
    }
    if (!o->is_list) {
        o->is_list = true;
        o->items.clear();
        o->items.push_back(std::move(o->value));
        o->value.clear();
    }
    o->items.emplace_back(value);
}

class Parser {
public:
    Parser(std::string_view text, Package &pkg) : t_(text), p_(pkg) {}

    bool run()
    {
        while (!at_end()) {
            while (!at_end() && is_blank(c())) step();
            if (at_end()) break;
            if (c() == '\n' || c() == '#') {
                skip_line();
                continue;
            }
            // The command word ends at a blank, as libuci splits it.
            const std::size_t start = pos_;
            while (!at_end() && c() != ' ' && c() != '\t' && c() != '\n') step();
            const std::string_view w = t_.substr(start, pos_ - start);
            cmd_done_ = false;
            semicolon_ = false;
            bool ok;
            if (w == "p" || w == "package") {
                ok = cmd_package();
            } else if (w == "c" || w == "config") {
                ok = cmd_config();
            } else if (w == "o" || w == "option") {
                ok = cmd_option(false);
            } else if (w == "l" || w == "list") {
                ok = cmd_option(true);
            } else {
                pos_ = start;
                return fail("invalid command");
            }
            if (!ok) return false;
            if (!semicolon_) skip_line();
        }
        return true;
    }

    ParseError error;

private:
    bool at_end() const { return pos_ >= t_.size(); }
    char c() const { return at_end() ? '\0' : t_[pos_]; }
    void step()
    {
        if (t_[pos_] == '\n') {
            ++line_;
            line_start_ = pos_ + 1;
        }
        ++pos_;
    }
    void skip_line()
    {
        while (!at_end() && c() != '\n') step();
        if (!at_end()) step();
    }
    bool fail(const char *why)
    {
        error.reason = why;
        error.line = line_;
        error.byte = static_cast<int>(pos_ - line_start_);
        if (at_end() && line_ > 1 && line_start_ == pos_) {
            // Running off the end counts against the last line read.
            const std::size_t nl = pos_ >= 2 ? t_.rfind('\n', pos_ - 2) : std::string_view::npos;
            const std::size_t start = nl == std::string_view::npos ? 0 : nl + 1;
            --error.line;
            error.byte = static_cast<int>(pos_ - 1 - start);
        }
        return false;
    }

    // Backslash outside single quotes: the next character literally, or
    // nothing when it ends the line (the value continues on the next one).
    void backslash(std::string &out)
    {
        step();
        if (at_end()) return;
        if (c() == '\n') {
            step();
            return;
        }
        if (c() == '\r' && pos_ + 1 < t_.size() && t_[pos_ + 1] == '\n') {
            step();
            step();
            return;
        }
        out.push_back(c());
        step();
    }

    bool word(std::string &out)
    {
        do {
            switch (c()) {
            case '\'':
                step();
                for (;;) {
                    if (at_end()) return fail("EOF with unterminated '");
                    if (c() == '\'') break;
                    out.push_back(c());
                    step();
                }
                step();
                break;
            case '"':
                step();
                for (;;) {
                    if (at_end()) return fail("EOF with unterminated \"");
                    if (c() == '"') break;
                    if (c() == '\\') {
                        backslash(out);
                        continue;
                    }
                    out.push_back(c());
                    step();
                }
                step();
                break;
            case '#':  // comment up to the end of the line
            case ';':  // next command; arg() consumes it
                return true;
            case '\\':
                backslash(out);
                break;
            default:
                out.push_back(c());
                step();
                break;
            }
        } while (!at_end() && !is_space(c()));
        return true;
    }

    // The next argument of the current command; empty at its end (an empty
    // quoted string counts as missing, as in libuci).
    bool arg(std::string &out)
    {
        out.clear();
        if (cmd_done_) return true;
        while (!at_end() && is_blank(c())) step();
        if (at_end() || c() == '\n' || c() == '#') {
            cmd_done_ = true;
            return true;
        }
        if (c() == ';') {
            step();
            cmd_done_ = true;
            semicolon_ = true;
            return true;
        }
        return word(out);
    }

    bool assert_eol()
    {
        std::string extra;
        if (!arg(extra)) return false;
        if (!extra.empty()) return fail("too many arguments");
        return true;
    }

    bool cmd_package()
    {
        std::string name;
        if (!arg(name)) return false;
        if (name.empty()) return fail("insufficient arguments");
        if (!valid_package(name)) return fail("invalid character in name field");
        return assert_eol();
    }

    bool cmd_config()
    {
        std::string type, name;
        if (!arg(type)) return false;
        if (type.empty()) return fail("insufficient arguments");
        if (!valid_type(type)) return fail("invalid character in type field");
        if (!arg(name)) return false;
        if (!name.empty() && !valid_name(name)) return fail("invalid character in name field");
        if (!assert_eol()) return false;
        if (!name.empty()) {
            // A repeated named section continues the first one.
            for (std::size_t i = 0; i < p_.sections.size(); ++i) {
                if (p_.sections[i].name == name) {
                    p_.sections[i].type = type;
                    enter(i);
                    return true;
                }
            }
        }
        p_.add_section(type, name);
        enter(p_.sections.size() - 1);
        return true;
    }

    bool cmd_option(bool list)
    {
        if (cur_ < 0) return fail("option/list command found before the first section");
        std::string name, value;
        if (!arg(name)) return false;
        if (name.empty()) return fail("insufficient arguments");
        if (!valid_name(name)) return fail("invalid character in name field");
        if (!arg(value)) return false;
        if (!assert_eol()) return false;
        Section &s = p_.sections[static_cast<std::size_t>(cur_)];
        const auto it = index_.find(name);
        Option *o = it == index_.end() ? nullptr : &s.options[it->second];
        const std::size_t before = s.options.size();
        if (list)
            add_item(s, o, name, value);
        else
            set_value(s, o, name, value);
        if (s.options.size() > before)
            index_.emplace(std::move(name), before);
        else if (s.options.size() < before)
            enter(static_cast<std::size_t>(cur_));
        return true;
    }

    // Options are looked up by name on every line; the index keeps large
    // sections from costing quadratic time.
    void enter(std::size_t i)
    {
        cur_ = static_cast<long>(i);
        index_.clear();
        const auto &opts = p_.sections[i].options;
        for (std::size_t k = 0; k < opts.size(); ++k) index_.emplace(opts[k].name, k);
    }

    std::string_view t_;
    Package &p_;
    std::size_t pos_ = 0;
    std::size_t line_start_ = 0;
    int line_ = 1;
    long cur_ = -1;
    std::unordered_map<std::string, std::size_t> index_;
    bool cmd_done_ = false;
    bool semicolon_ = false;
};

// Types are written bare, as uci does, unless a character would change how
// the line reads back.
void append_type(std::string &out, std::string_view type)
{
    if (type.find_first_of("'\"#;\\") == std::string_view::npos)
        out += type;
    else
        append_quoted(out, type);
}

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    ~Fd()
    {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    int release()
    {
        int f = fd_;
        fd_ = -1;
        return f;
    }

private:
    int fd_;
};

Err read_file(const std::string &path, std::string &out)
{
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return (errno == ENOENT || errno == ENOTDIR) ? Err::not_found : Err::io;
    struct stat st{};
    if (::fstat(fd.get(), &st) != 0) return Err::io;
    if (!S_ISREG(st.st_mode)) return Err::not_found;
    out.clear();
    char buf[4096];
    for (;;) {
        ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            return Err::io;
        }
        if (n == 0) break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    return Err::ok;
}

bool write_all(int fd, std::string_view data)
{
    while (!data.empty()) {
        ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Temporary file beside the target, fsync, rename: a reader or a crash sees
// the old file or the new one. Only called under the package lock, which is
// what makes the fixed temporary name safe.
Err write_atomic(const std::string &path, std::string_view text)
{
    std::string target = path;
    char real[PATH_MAX];
    if (::realpath(path.c_str(), real)) target = real;  // keep a symlinked package a symlink
    mode_t mode = 0600;
    struct stat st{};
    if (::stat(target.c_str(), &st) == 0) mode = st.st_mode & 07777;

    const std::size_t slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : target.substr(0, slash == 0 ? 1 : slash);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    const std::string tmp = dir + "/." + base + ".new";

    Fd fd(::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (fd.get() < 0) return Err::io;
    bool ok = ::fchmod(fd.get(), mode) == 0 && write_all(fd.get(), text) && ::fsync(fd.get()) == 0;
    ok = (::close(fd.release()) == 0) && ok;
    if (!ok || ::rename(tmp.c_str(), target.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return Err::io;
    }
    // Make the rename itself durable.
    Fd d(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (d.get() >= 0) ::fsync(d.get());
    return Err::ok;
}

}  // namespace

bool valid_name(std::string_view s)
{
    if (s.empty()) return false;
    return std::all_of(s.begin(), s.end(), is_alnum_);
}

bool valid_package(std::string_view s)
{
    if (s.empty()) return false;
    return std::all_of(s.begin(), s.end(), [](char c) { return is_alnum_(c) || c == '-'; });
}

bool valid_type(std::string_view s)
{
    if (s.empty()) return false;
    return std::all_of(s.begin(), s.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u >= 33 && u <= 126;
    });
}

Option *Section::find(std::string_view option)
{
    for (Option &o : options)
        if (o.name == option) return &o;
    return nullptr;
}

const Option *Section::find(std::string_view option) const
{
    return const_cast<Section *>(this)->find(option);
}

Err Package::resolve(std::string_view ref, std::size_t *index) const
{
    if (ref.empty()) return Err::invalid;
    if (ref[0] != '@') {
        if (!valid_name(ref)) return Err::invalid;
        for (std::size_t i = 0; i < sections.size(); ++i) {
            if (sections[i].name == ref) {
                if (index) *index = i;
                return Err::ok;
            }
        }
        return Err::not_found;
    }
    // @type[n] or @[n]; n may be negative to count from the end.
    const std::size_t lb = ref.find('[');
    if (lb == std::string_view::npos || ref.back() != ']' || lb + 1 >= ref.size()) return Err::invalid;
    const std::string_view type = ref.substr(1, lb - 1);
    std::string_view num = ref.substr(lb + 1, ref.size() - lb - 2);
    if (!type.empty() && !valid_type(type)) return Err::invalid;
    bool neg = false;
    if (!num.empty() && (num[0] == '-' || num[0] == '+')) {
        neg = num[0] == '-';
        num.remove_prefix(1);
        if (num.empty()) return Err::invalid;
    }
    long idx = 0;
    for (char ch : num) {
        if (ch < '0' || ch > '9') return Err::invalid;
        if (idx > 100000000) return Err::not_found;
        idx = idx * 10 + (ch - '0');
    }
    if (neg) idx = -idx;
    auto matches = [&](const Section &s) { return type.empty() || s.type == type; };
    if (idx < 0) idx += static_cast<long>(std::count_if(sections.begin(), sections.end(), matches));
    if (idx < 0) return Err::not_found;
    long n = 0;
    for (std::size_t i = 0; i < sections.size(); ++i) {
        if (!matches(sections[i])) continue;
        if (n++ == idx) {
            if (index) *index = i;
            return Err::ok;
        }
    }
    return Err::not_found;
}

Section *Package::find(std::string_view ref)
{
    std::size_t i;
    return resolve(ref, &i) == Err::ok ? &sections[i] : nullptr;
}

const Section *Package::find(std::string_view ref) const
{
    return const_cast<Package *>(this)->find(ref);
}

Section &Package::add_section(std::string_view type, std::string_view name)
{
    Section s;
    s.type = std::string(type);
    ++counter;
    if (name.empty()) {
        s.anonymous = true;
        char buf[32];
        std::snprintf(buf, sizeof buf, "cfg%02x%04x", counter, djbhash(type) % (1u << 16));
        s.name = buf;
    } else {
        s.name = std::string(name);
    }
    sections.push_back(std::move(s));
    return sections.back();
}

Err Package::set(std::string_view ref, std::string_view option, std::string_view value)
{
    if (!valid_name(option)) return Err::invalid;
    std::size_t i;
    if (Err e = resolve(ref, &i); e != Err::ok) return e;
    set_value(sections[i], sections[i].find(option), option, value);
    return Err::ok;
}

Err Package::add_list(std::string_view ref, std::string_view option, std::string_view value)
{
    if (!valid_name(option)) return Err::invalid;
    std::size_t i;
    if (Err e = resolve(ref, &i); e != Err::ok) return e;
    add_item(sections[i], sections[i].find(option), option, value);
    return Err::ok;
}

Err Package::remove(std::string_view ref, std::string_view option)
{
    if (!valid_name(option)) return Err::invalid;
    std::size_t i;
    if (Err e = resolve(ref, &i); e != Err::ok) return e;
    auto &opts = sections[i].options;
    auto it = std::find_if(opts.begin(), opts.end(), [&](const Option &o) { return o.name == option; });
    if (it == opts.end()) return Err::not_found;
    opts.erase(it);
    return Err::ok;
}

Err Package::remove_section(std::string_view ref)
{
    std::size_t i;
    if (Err e = resolve(ref, &i); e != Err::ok) return e;
    sections.erase(sections.begin() + static_cast<long>(i));
    return Err::ok;
}

Err parse(std::string_view text, std::string_view name, Package &out, ParseError *where)
{
    out = Package{};
    out.name = std::string(name);
    // A NUL byte cannot be part of any value; libuci would silently cut the
    // line there.
    if (const std::size_t nul = text.find('\0'); nul != std::string_view::npos) {
        if (where) {
            where->reason = "invalid character";
            where->line = 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<long>(nul), '\n'));
            const std::size_t ls = text.rfind('\n', nul);
            where->byte = static_cast<int>(ls == std::string_view::npos ? nul : nul - ls - 1);
        }
        return Err::parse;
    }
    Parser p(text, out);
    if (!p.run()) {
        if (where) *where = p.error;
        return Err::parse;
    }
    return Err::ok;
}

void append_quoted(std::string &out, std::string_view value)
{
    out += '\'';
    for (char ch : value) {
        if (ch == '\'')
            out += "'\\''";
        else
            out += ch;
    }
    out += '\'';
}

std::string serialize(const Package &pkg, bool name_anonymous)
{
    std::string out;
    for (const Section &s : pkg.sections) {
        out += "\nconfig ";
        append_type(out, s.type);
        if (!s.anonymous || name_anonymous) {
            out += ' ';
            append_quoted(out, s.name);
        }
        out += '\n';
        for (const Option &o : s.options) {
            if (!o.is_list) {
                out += "\toption ";
                out += o.name;
                out += ' ';
                append_quoted(out, o.value);
                out += '\n';
                continue;
            }
            for (const std::string &item : o.items) {
                out += "\tlist ";
                out += o.name;
                out += ' ';
                append_quoted(out, item);
                out += '\n';
            }
        }
    }
    out += '\n';
    return out;
}

std::string Store::path_of(std::string_view pkg) const
{
    std::string p = dir_;
    p += '/';
    p += pkg;
    return p;
}

Err Store::load(std::string_view pkg, Package &out, ParseError *where) const
{
    if (!valid_package(pkg)) return Err::invalid;
    std::string text;
    if (Err e = read_file(path_of(pkg), text); e != Err::ok) return e;
    return parse(text, pkg, out, where);
}

Err Store::update_impl(std::string_view pkg, bool create, Fn fn, void *ctx, ParseError *where) const
{
    if (!valid_package(pkg)) return Err::invalid;
    const std::string lock_path = dir_ + "/." + std::string(pkg) + ".lock";
    // Read-only and world-readable: flock() needs no write access, so any
    // process that may write the package can take the lock.
    Fd lock(::open(lock_path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (lock.get() < 0) return Err::io;
    while (::flock(lock.get(), LOCK_EX) != 0) {
        if (errno != EINTR) return Err::io;
    }
    // Everything below runs with the lock held; closing the descriptor on
    // return releases it.
    const std::string path = path_of(pkg);
    std::string text;
    Err e = read_file(path, text);
    const bool exists = e == Err::ok;
    if (e == Err::not_found && !create) return e;
    if (e != Err::ok && e != Err::not_found) return e;

    Package p;
    if (exists) {
        if (Err pe = parse(text, pkg, p, where); pe != Err::ok) return pe;
    } else {
        p.name = std::string(pkg);
    }
    const std::string before = exists ? serialize(p) : std::string();
    if (Err fe = fn(p, ctx); fe != Err::ok) return fe;
    std::string after = serialize(p);
    if (exists && after == before) return Err::ok;
    return write_atomic(path, after);
}

std::vector<std::string> Store::list() const
{
    std::vector<std::string> names;
    DIR *d = ::opendir(dir_.c_str());
    if (!d) return names;
    while (const dirent *ent = ::readdir(d)) {
        const std::string_view n = ent->d_name;
        if (!valid_package(n)) continue;  // also skips dot files: locks, temporaries
        struct stat st{};
        if (::stat(path_of(n).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        names.emplace_back(n);
    }
    ::closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace platform::uci
