// `uci` on the project's own store: the commands the router's programs and
// scripts use, with the output and exit statuses of OpenWrt's uci. Changes
// are written at once, so `commit` and `revert` only check the package and
// `changes` has nothing to list.
#include "platform/uci_store.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>
#include <unistd.h>

using platform::uci::Err;
using platform::uci::Option;
using platform::uci::Package;
using platform::uci::ParseError;
using platform::uci::Section;
using platform::uci::Store;

namespace {

// Exit statuses of `uci add`, which returns libuci's error number.
int uci_errno(Err e)
{
    switch (e) {
    case Err::ok: return 0;
    case Err::invalid: return 2;
    case Err::not_found: return 3;
    case Err::io: return 4;
    case Err::parse: return 5;
    }
    return 1;
}

struct Cli {
    std::string confdir = "/etc/config";
    std::string delimiter = " ";
    bool quiet = false;
    bool show_ext = true;       // anonymous sections as @type[n] in show
    bool export_names = false;  // name anonymous sections in export

    void error(Err e, const ParseError *where = nullptr) const
    {
        if (quiet) return;
        if (e == Err::parse && where && !where->reason.empty())
            std::fprintf(stderr, "uci: %s (%s) at line %d, byte %d\n", platform::uci::err_text(e),
                         where->reason.c_str(), where->line, where->byte);
        else
            std::fprintf(stderr, "uci: %s\n", platform::uci::err_text(e));
    }
};

void usage()
{
    std::fputs("Usage: uci [<options>] <command> [<arguments>]\n\n"
               "Commands:\n"
               "\texport     [<config>]\n"
               "\tchanges    [<config>]\n"
               "\tcommit     [<config>]\n"
               "\trevert     <config>\n"
               "\tadd        <config> <section-type>\n"
               "\tadd_list   <config>.<section>.<option>=<string>\n"
               "\tdel_list   <config>.<section>.<option>=<string>\n"
               "\tshow       [<config>[.<section>[.<option>]]]\n"
               "\tget        <config>.<section>[.<option>]\n"
               "\tset        <config>.<section>[.<option>]=<value>\n"
               "\tdelete     <config>[.<section>[[.<option>][=<id>]]]\n"
               "\n"
               "Options:\n"
               "\t-c <path>  set the search path for config files (default: /etc/config)\n"
               "\t-d <str>   set the delimiter for list values in uci show\n"
               "\t-n         name unnamed sections on export\n"
               "\t-N         don't name unnamed sections (default)\n"
               "\t-q         quiet mode (don't print error messages)\n"
               "\t-X         do not use extended syntax on 'show'\n"
               "\n"
               "Changes are written at once; commit has nothing left to do.\n",
               stderr);
}

// <package>[.<section>[.<option>]][=<value>]
struct Ptr {
    std::string package, section, option, value;
    bool has_section = false, has_option = false, has_value = false;
};

bool valid_text(std::string_view v)
{
    for (char c : v) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 32 && c != '\t' && c != '\n' && c != '\r') return false;
    }
    return true;
}

bool parse_ptr(std::string_view s, Ptr &p)
{
    if (const std::size_t eq = s.find('='); eq != std::string_view::npos) {
        p.value = std::string(s.substr(eq + 1));
        p.has_value = true;
        s = s.substr(0, eq);
    }
    std::string_view parts[3];
    int n = 0;
    for (;;) {
        const std::size_t dot = s.find('.');
        if (n == 3) return false;
        parts[n++] = s.substr(0, dot);
        if (dot == std::string_view::npos) break;
        s.remove_prefix(dot + 1);
    }
    p.package = std::string(parts[0]);
    p.has_section = n > 1;
    p.has_option = n > 2;
    if (p.has_section) p.section = std::string(parts[1]);
    if (p.has_option) p.option = std::string(parts[2]);
    if (!platform::uci::valid_package(p.package)) return false;
    if (p.has_option && !platform::uci::valid_name(p.option)) return false;
    if (p.has_value && !valid_text(p.value)) return false;
    return true;
}

void print_quoted(std::string_view v)
{
    std::string out;
    platform::uci::append_quoted(out, v);
    std::fwrite(out.data(), 1, out.size(), stdout);
}

void print_value(const Cli &cli, const Option &o, bool quote)
{
    if (!o.is_list) {
        if (quote)
            print_quoted(o.value);
        else
            std::fwrite(o.value.data(), 1, o.value.size(), stdout);
        std::fputc('\n', stdout);
        return;
    }
    for (std::size_t i = 0; i < o.items.size(); ++i) {
        if (i) std::fputs(cli.delimiter.c_str(), stdout);
        const std::string &item = o.items[i];
        if (!quote && item.find_first_of(" \t\r\n") == std::string::npos)
            std::fwrite(item.data(), 1, item.size(), stdout);
        else
            print_quoted(item);
    }
    std::fputc('\n', stdout);
}

void show_section(const Cli &cli, const Package &p, const Section &s, const std::string &ref)
{
    std::printf("%s.%s=%s\n", p.name.c_str(), ref.c_str(), s.type.c_str());
    for (const Option &o : s.options) {
        std::printf("%s.%s.%s=", p.name.c_str(), ref.c_str(), o.name.c_str());
        print_value(cli, o, true);
    }
}

void show_package(const Cli &cli, const Package &p)
{
    for (std::size_t i = 0; i < p.sections.size(); ++i) {
        const Section &s = p.sections[i];
        std::string ref = s.name;
        if (cli.show_ext && s.anonymous) {
            // The index counts every section of the type, named or not.
            std::size_t idx = 0;
            for (std::size_t k = 0; k < i; ++k) idx += p.sections[k].type == s.type;
            ref = "@" + s.type + "[" + std::to_string(idx) + "]";
        }
        show_section(cli, p, s, ref);
    }
}

// Loads the package a pointer names, printing the error when it fails.
bool load(const Cli &cli, const std::string &pkg, Package &p)
{
    ParseError where;
    const Err e = Store(cli.confdir).load(pkg, p, &where);
    if (e == Err::ok) return true;
    cli.error(e, &where);
    return false;
}

int cmd_show(const Cli &cli, const Ptr &ptr)
{
    Package p;
    if (!load(cli, ptr.package, p)) return 1;
    if (!ptr.has_section) {
        show_package(cli, p);
        return 0;
    }
    std::size_t i;
    if (const Err e = p.resolve(ptr.section, &i); e != Err::ok) {
        cli.error(e);
        return 1;
    }
    const Section &s = p.sections[i];
    if (!ptr.has_option) {
        show_section(cli, p, s, s.name);
        return 0;
    }
    const Option *o = s.find(ptr.option);
    if (!o) {
        cli.error(Err::not_found);
        return 1;
    }
    std::printf("%s.%s.%s=", p.name.c_str(), s.name.c_str(), o->name.c_str());
    print_value(cli, *o, true);
    return 0;
}

int cmd_export(const Cli &cli, const Ptr &ptr)
{
    Package p;
    if (!load(cli, ptr.package, p)) return 1;
    std::printf("package %s\n", p.name.c_str());
    const std::string body = platform::uci::serialize(p, cli.export_names);
    std::fwrite(body.data(), 1, body.size(), stdout);
    return 0;
}

int cmd_check(const Cli &cli, const Ptr &ptr)
{
    Package p;
    return load(cli, ptr.package, p) ? 0 : 1;
}

int cmd_changes(const Cli &cli, const Ptr &ptr)
{
    return cmd_check(cli, ptr);
}

using PackageCmd = int (*)(const Cli &, const Ptr &);

// show, export, commit, changes: one package, or every package when none is
// named (errors then only printed).
int package_cmd(const Cli &cli, PackageCmd fn, int argc, char **argv)
{
    if (argc > 2) return 255;
    if (argc == 2) {
        Ptr ptr;
        if (!parse_ptr(argv[1], ptr)) {
            cli.error(Err::parse);
            return 1;
        }
        return fn(cli, ptr);
    }
    for (const std::string &name : Store(cli.confdir).list()) {
        Ptr ptr;
        ptr.package = name;
        fn(cli, ptr);
    }
    return 0;
}

int cmd_get(const Cli &cli, const Ptr &ptr)
{
    if (ptr.has_value) return 1;
    Package p;
    if (!load(cli, ptr.package, p)) return 1;
    if (!ptr.has_section) return 0;
    std::size_t i;
    if (const Err e = p.resolve(ptr.section, &i); e != Err::ok) {
        cli.error(e);
        return 1;
    }
    const Section &s = p.sections[i];
    if (!ptr.has_option) {
        std::printf("%s\n", s.type.c_str());
        return 0;
    }
    const Option *o = s.find(ptr.option);
    if (!o) {
        cli.error(Err::not_found);
        return 1;
    }
    print_value(cli, *o, false);
    return 0;
}

Err do_set(const Ptr &ptr, Package &p)
{
    if (!ptr.has_value || !ptr.has_section) return Err::invalid;
    std::size_t i;
    const Err found = p.resolve(ptr.section, &i);
    if (found == Err::invalid) return Err::invalid;
    if (ptr.has_option) {
        if (found != Err::ok) return Err::invalid;  // uci refuses options of a missing section
        return p.set(ptr.section, ptr.option, ptr.value);
    }
    // <package>.<section>=<type>: create, retype or (empty type) delete.
    if (ptr.value.empty()) return found == Err::ok ? p.remove_section(ptr.section) : Err::ok;
    if (!platform::uci::valid_type(ptr.value)) return Err::invalid;
    if (found == Err::ok) {
        p.sections[i].type = ptr.value;
        return Err::ok;
    }
    if (!platform::uci::valid_name(ptr.section)) return Err::invalid;
    p.add_section(ptr.value, ptr.section);
    return Err::ok;
}

Err do_delete(const Ptr &ptr, Package &p)
{
    if (!ptr.has_section) return Err::invalid;
    std::size_t i;
    if (const Err e = p.resolve(ptr.section, &i); e != Err::ok) return e;
    if (!ptr.has_option) return p.remove_section(ptr.section);
    Option *o = p.sections[i].find(ptr.option);
    if (!o) return Err::not_found;
    if (o->is_list && !ptr.value.empty()) {
        // <option>=<n> removes the n-th item of a list.
        const long idx = std::strtol(ptr.value.c_str(), nullptr, 10);
        if (idx >= 0 && static_cast<std::size_t>(idx) < o->items.size())
            o->items.erase(o->items.begin() + idx);
        if (o->items.empty()) return p.remove(ptr.section, ptr.option);
        return Err::ok;
    }
    return p.remove(ptr.section, ptr.option);
}

Err do_add_list(const Ptr &ptr, Package &p)
{
    if (!ptr.has_option || !ptr.has_value) return Err::invalid;
    if (p.resolve(ptr.section, nullptr) != Err::ok) return Err::invalid;
    return p.add_list(ptr.section, ptr.option, ptr.value);
}

Err do_del_list(const Ptr &ptr, Package &p)
{
    if (!ptr.has_option || !ptr.has_value) return Err::invalid;
    Section *s = p.find(ptr.section);
    if (!s) return Err::invalid;
    Option *o = s->find(ptr.option);
    if (!o || !o->is_list) return Err::ok;
    std::erase(o->items, ptr.value);
    if (o->items.empty()) return p.remove(ptr.section, ptr.option);
    return Err::ok;
}

using EditFn = Err (*)(const Ptr &, Package &);

int edit_cmd(const Cli &cli, EditFn fn, const Ptr &ptr)
{
    ParseError where;
    const Err e = Store(cli.confdir).update(
        ptr.package, false, [&](Package &p) { return fn(ptr, p); }, &where);
    if (e == Err::ok) return 0;
    cli.error(e, &where);
    return 1;
}

int cmd_add(const Cli &cli, int argc, char **argv)
{
    if (argc != 3) return 255;
    const std::string type = argv[2];
    std::string name;
    ParseError where;
    const Err e = Store(cli.confdir).update(
        argv[1], false,
        [&](Package &p) {
            if (!platform::uci::valid_type(type)) return Err::invalid;
            name = p.add_section(type, "").name;
            return Err::ok;
        },
        &where);
    if (e != Err::ok) {
        cli.error(e, &where);
        return uci_errno(e);
    }
    std::printf("%s\n", name.c_str());
    return 0;
}

int run(Cli &cli, int argc, char **argv)
{
    const char *cmd = argv[0];
    auto is = [&](const char *name) { return strcasecmp(cmd, name) == 0; };
    if (is("show")) return package_cmd(cli, cmd_show, argc, argv);
    if (is("export")) return package_cmd(cli, cmd_export, argc, argv);
    if (is("commit")) return package_cmd(cli, cmd_check, argc, argv);
    if (is("changes")) return package_cmd(cli, cmd_changes, argc, argv);
    if (is("add")) return cmd_add(cli, argc, argv);
    if (is("help")) {
        usage();
        return 0;
    }
    EditFn edit = nullptr;
    bool get = false, revert = false;
    if (is("get"))
        get = true;
    else if (is("revert"))
        revert = true;
    else if (is("set"))
        edit = do_set;
    else if (is("delete") || is("del"))
        edit = do_delete;
    else if (is("add_list"))
        edit = do_add_list;
    else if (is("del_list"))
        edit = do_del_list;
    else
        return 255;
    if (argc != 2) return 255;
    Ptr ptr;
    if (!parse_ptr(argv[1], ptr)) {
        cli.error(Err::parse);
        return 1;
    }
    if (get) return cmd_get(cli, ptr);
    if (revert) return cmd_check(cli, ptr);
    int index;
    if (edit == do_delete && ptr.has_value && std::sscanf(ptr.value.c_str(), "%d", &index) != 1) return 1;
    return edit_cmd(cli, edit, ptr);
}

}  // namespace

int main(int argc, char **argv)
{
    Cli cli;
    int c;
    while ((c = getopt(argc, argv, "+c:d:nNqsSX")) != -1) {
        switch (c) {
        case 'c': cli.confdir = optarg; break;
        case 'd': cli.delimiter = optarg; break;
        case 'n': cli.export_names = true; break;
        case 'N': cli.export_names = false; break;
        case 'q': cli.quiet = true; break;
        case 's':
        case 'S': break;  // the parser is always strict: a broken file is never rewritten
        case 'X': cli.show_ext = false; break;
        default: usage(); return 0;
        }
    }
    if (optind >= argc) {
        usage();
        return 0;
    }
    const int ret = run(cli, argc - optind, argv + optind);
    std::fflush(stdout);
    if (ret == 255) usage();
    return ret;
}
