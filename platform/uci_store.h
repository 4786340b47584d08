// UCI package files (<dir>/<package>) read and written in the format of
// OpenWrt's own uci tools, so that either side reads what the other wrote.
//
// Reading follows libuci's strict parser: `package`, `config <type> [name]`,
// `option <name> <value>`, `list <name> <value>`, arguments unquoted,
// 'single-quoted' (no escapes) or "double-quoted" (backslash takes the next
// character literally, backslash-newline continues the line), quoted values
// may span lines, '#' starts a comment. A malformed file is an error for the
// whole package: it is never rewritten, so nothing in it is lost.
//
// Writing emits what `uci commit` emits: values single-quoted with ' as '\'',
// anonymous sections without a name, comments dropped.
//
// Writers of one package are serialised across processes with flock() on
// <dir>/.<package>.lock; each change is a read-modify-write under that lock,
// written to <dir>/.<package>.new, fsynced and renamed over the package
// file, so a reader (which takes no lock) sees either the old or the new
// file, never a mix, and a writer killed halfway leaves the old file intact.
#pragma once

#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace platform::uci {

// The error classes of libuci, with the texts its tools print.
enum class Err {
    ok = 0,
    invalid,    // "Invalid argument": bad name, reference or request
    not_found,  // "Entry not found": package, section or option missing
    io,         // "I/O error"
    parse,      // "Parse error": malformed package file or reference
};
const char *err_text(Err e);

struct Option {
    std::string name;
    bool is_list = false;
    std::string value;               // when !is_list
    std::vector<std::string> items;  // when is_list
};

struct Section {
    std::string type;
    // Anonymous sections get the name libuci gives them ("cfg" + counter +
    // hash of the type), so that `uci add` output names the section that a
    // later process finds at the same place.
    std::string name;
    bool anonymous = false;
    std::vector<Option> options;

    Option *find(std::string_view option);
    const Option *find(std::string_view option) const;
};

// Where a parse failed, in the terms libuci reports it.
struct ParseError {
    std::string reason;  // "invalid command", "EOF with unterminated '", ...
    int line = 0;        // 1-based
    int byte = 0;        // offset within that line
};

struct Package {
    std::string name;
    std::vector<Section> sections;
    unsigned counter = 0;  // drives generated names of anonymous sections

    // `ref` is a section name or an extended reference "@type[n]" / "@[n]",
    // n counting from the end when negative. Returns nullptr when no such
    // section exists or `ref` is malformed (see resolve()).
    Section *find(std::string_view ref);
    const Section *find(std::string_view ref) const;
    // Like find(), but tells a malformed reference (Err::invalid) from a
    // missing section (Err::not_found). *index receives the position.
    Err resolve(std::string_view ref, std::size_t *index) const;

    // Appends a section; an empty name makes it anonymous.
    Section &add_section(std::string_view type, std::string_view name);

    // Option level, as `uci set/delete` behave: set() with an empty value
    // deletes the option (uci keeps no empty options); set() on a list
    // replaces it with a plain value.
    Err set(std::string_view ref, std::string_view option, std::string_view value);
    Err add_list(std::string_view ref, std::string_view option, std::string_view value);
    Err remove(std::string_view ref, std::string_view option);  // not_found when absent
    Err remove_section(std::string_view ref);                   // not_found when absent
};

// Name rules of libuci: section and option names [A-Za-z0-9_]; package
// names also '-'; types any printable non-blank ASCII.
bool valid_name(std::string_view s);
bool valid_package(std::string_view s);
bool valid_type(std::string_view s);

// Parses the text of package `name`. On failure returns Err::parse and
// fills *where; `out` is then unspecified.
Err parse(std::string_view text, std::string_view name, Package &out, ParseError *where);

// The file body `uci commit` writes (export without the "package" line).
// `name_anonymous` also writes generated names (uci export -n).
std::string serialize(const Package &pkg, bool name_anonymous = false);

// Value quoted the way uci show/export quote it: 'it'\''s'.
void append_quoted(std::string &out, std::string_view value);

class Store {
public:
    explicit Store(std::string dir) : dir_(std::move(dir)) {}
    const std::string &dir() const { return dir_; }

    // Reads the package. not_found when the file does not exist; parse with
    // *where filled when it is malformed.
    Err load(std::string_view pkg, Package &out, ParseError *where = nullptr) const;

    // Locks the package, reads it, runs fn(Package&) -> Err and, when fn
    // returns Err::ok and changed the content, writes the result atomically.
    // A missing file is an empty package when `create` is set, otherwise
    // not_found. A malformed file is refused (Err::parse) and left as is.
    template <class F>
    Err update(std::string_view pkg, bool create, F &&fn, ParseError *where = nullptr) const
    {
        return update_impl(pkg, create, &call<F>, &fn, where);
    }

    // Names of the packages in the directory, sorted, as `uci show` lists
    // them (files whose name is a valid package name).
    std::vector<std::string> list() const;

    std::string path_of(std::string_view pkg) const;

private:
    using Fn = Err (*)(Package &, void *);
    template <class F>
    static Err call(Package &p, void *ctx)
    {
        return (*static_cast<std::remove_reference_t<F> *>(ctx))(p);
    }
    Err update_impl(std::string_view pkg, bool create, Fn fn, void *ctx, ParseError *where) const;

    std::string dir_;
};

}  // namespace platform::uci
