#include "platform/uci_store.h"

#include <gtest/gtest.h>

#include <string>

using namespace platform::uci;

namespace {

// One line per section and option: "name=type" (a '*' marks anonymous),
// ".opt=value", ".opt+=[a|b]" for lists.
std::string dump(const Package &p)
{
    std::string out;
    for (const Section &s : p.sections) {
        out += s.name + (s.anonymous ? "*" : "") + "=" + s.type + "\n";
        for (const Option &o : s.options) {
            if (!o.is_list) {
                out += "." + o.name + "=" + o.value + "\n";
                continue;
            }
            out += "." + o.name + "+=[";
            for (std::size_t i = 0; i < o.items.size(); ++i) out += (i ? "|" : "") + o.items[i];
            out += "]\n";
        }
    }
    return out;
}

std::string parse_dump(std::string_view text)
{
    Package p;
    ParseError where;
    if (parse(text, "pkg", p, &where) != Err::ok)
        return "ERROR " + where.reason + " line " + std::to_string(where.line);
    return dump(p);
}

}  // namespace

TEST(UciParse, ReadsFilesAsOpenWrtWritesThem)
{
    // Exactly what `uci commit` leaves behind: leading blank line, tabs,
    // single quotes, anonymous sections unnamed, lists repeated.
    const char *file =
        "\n"
        "config interface 'loopback'\n"
        "\toption device 'lo'\n"
        "\toption proto 'static'\n"
        "\toption ipaddr '127.0.0.1'\n"
        "\n"
        "config globals 'globals'\n"
        "\toption ula_prefix 'fd12:3456:789a::/48'\n"
        "\n"
        "config device\n"
        "\toption name 'br-lan'\n"
        "\toption type 'bridge'\n"
        "\tlist ports 'eth0'\n"
        "\tlist ports 'eth1'\n"
        "\n"
        "config interface 'lan'\n"
        "\toption description 'it'\\''s \"ours\"'\n"
        "\n";
    EXPECT_EQ(parse_dump(file),
              "loopback=interface\n.device=lo\n.proto=static\n.ipaddr=127.0.0.1\n"
              "globals=globals\n.ula_prefix=fd12:3456:789a::/48\n"
              "cfg030f15*=device\n.name=br-lan\n.type=bridge\n.ports+=[eth0|eth1]\n"
              "lan=interface\n.description=it's \"ours\"\n");
}

TEST(UciParse, AcceptsTheHandWrittenSyntax)
{
    struct Case {
        const char *name;
        const char *text;
        const char *want;
    } cases[] = {
        {"unquoted and double-quoted", "config t s\n option a b\n option c \"x y\"\n",
         "s=t\n.a=b\n.c=x y\n"},
        {"short command words", "c t s\no a 1\nl b 2\np pkg\n", "s=t\n.a=1\n.b+=[2]\n"},
        {"comments and blank lines", "# head\n\nconfig t s # tail\n\t# inner\n\toption a 'x#y' # c\n\n",
         "s=t\n.a=x#y\n"},
        {"hash ends an unquoted word", "config t s\noption a ab#cd\n", "s=t\n.a=ab\n"},
        {"double quotes take the char after a backslash", "config t s\noption a \"q\\\"b\\\\s\\n\"\n",
         "s=t\n.a=q\"b\\sn\n"},
        {"single quotes take backslashes literally", "config t s\noption a 'c:\\dir\\'\n",
         "s=t\n.a=c:\\dir\\\n"},
        {"adjacent quoted parts join", "config t s\noption a 'it'\\''s'\"!\"x\n", "s=t\n.a=it's!x\n"},
        {"quoted value spans lines", "config t s\noption a 'l1\nl2'\noption b 2\n", "s=t\n.a=l1\nl2\n.b=2\n"},
        {"backslash-newline continues", "config t s\noption a \"ab\\\ncd\"\n", "s=t\n.a=abcd\n"},
        {"CRLF line ends", "config t 's'\r\n\toption a 'b'\r\n", "s=t\n.a=b\n"},
        {"semicolon separates commands", "config t s; option a 1\n", "s=t\n.a=1\n"},
        {"repeated named section continues", "config t s\noption a 1\nconfig u s\noption b 2\n",
         "s=u\n.a=1\n.b=2\n"},
        {"later option replaces earlier", "config t s\noption a 1\noption a 2\n", "s=t\n.a=2\n"},
        {"list after option extends it", "config t s\noption a 1\nlist a 2\n", "s=t\n.a+=[1|2]\n"},
        {"empty option is no option", "config t s\noption a ''\noption b\n", "s=t\n"},
        {"empty option deletes an earlier one", "config t s\noption a 1\noption a ''\n", "s=t\n"},
        {"empty name is anonymous", "config t ''\n", "cfg01b619*=t\n"},
        {"package line is accepted", "package pkg\n\nconfig t s\n", "s=t\n"},
        {"empty file", "", ""},
        {"no newline at the end", "config t s\n\toption a 'b'", "s=t\n.a=b\n"},
    };
    for (const Case &c : cases) EXPECT_EQ(parse_dump(c.text), c.want) << c.name;
}

TEST(UciParse, ReportsMalformedFilesWithLine)
{
    struct Case {
        const char *text;
        const char *want;
    } cases[] = {
        {"\toption a b\n", "ERROR option/list command found before the first section line 1"},
        {"config t s\nbogus x\n", "ERROR invalid command line 2"},
        {"config t s\noptions a b\n", "ERROR invalid command line 2"},
        {"config\n", "ERROR insufficient arguments line 1"},
        {"config t s\n\toption\n", "ERROR insufficient arguments line 2"},
        {"config t 'a b'\n", "ERROR invalid character in name field line 1"},
        {"config t s\noption bad-name 1\n", "ERROR invalid character in name field line 2"},
        {"config t s x\n", "ERROR too many arguments line 1"},
        {"config t s\noption a b c\n", "ERROR too many arguments line 2"},
        {"config t s\noption a 'open\nmore\n", "ERROR EOF with unterminated ' line 3"},
        {"config t s\noption a \"open\n", "ERROR EOF with unterminated \" line 2"},
    };
    for (const Case &c : cases) EXPECT_EQ(parse_dump(c.text), c.want) << c.text;
    const std::string nul("config t s\noption a b\0c\n", 24);
    EXPECT_EQ(parse_dump(nul), "ERROR invalid character line 2");
}

TEST(UciSerialize, WritesWhatUciCommitWrites)
{
    Package p;
    p.name = "net";
    p.add_section("interface", "lan");
    p.add_section("device", "");
    ASSERT_EQ(p.set("lan", "proto", "static"), Err::ok);
    ASSERT_EQ(p.set("lan", "note", "it's"), Err::ok);
    ASSERT_EQ(p.add_list("@device[0]", "ports", "eth0"), Err::ok);
    ASSERT_EQ(p.add_list("@device[0]", "ports", "eth1"), Err::ok);
    EXPECT_EQ(serialize(p),
              "\nconfig interface 'lan'\n\toption proto 'static'\n\toption note 'it'\\''s'\n"
              "\nconfig device\n\tlist ports 'eth0'\n\tlist ports 'eth1'\n\n");
    EXPECT_NE(serialize(p, true).find("\nconfig device 'cfg020f15'\n"), std::string::npos);
}

TEST(UciSerialize, HostileValuesRoundTripExactly)
{
    const std::string values[] = {
        "plain",
        "it's",
        "'",
        "''\\''",
        "\"double\"",
        "back\\slash\\",
        "\\",
        "line1\nline2\n",
        "\n",
        "trailing backslash then newline \\\n",
        "crlf\r\n",
        "$(touch /tmp/x)",
        "`touch /tmp/x`",
        "; reboot # not a comment",
        "  leading and trailing  ",
        "\ttab",
        "ctl\x01\x7f",
        "utf-8 \xc3\xa9\xe2\x82\xac",
        "config t s\n\toption a b",
        std::string(5000, 'x'),
    };
    for (const std::string &v : values) {
        Package p;
        p.name = "pkg";
        p.add_section("t", "s");
        p.add_section("t", "");
        ASSERT_EQ(p.set("s", "v", v), Err::ok);
        ASSERT_EQ(p.add_list("@t[1]", "l", v), Err::ok);
        ASSERT_EQ(p.add_list("@t[1]", "l", "next"), Err::ok);
        Package back;
        ParseError where;
        ASSERT_EQ(parse(serialize(p), "pkg", back, &where), Err::ok) << where.reason << " for " << v;
        ASSERT_EQ(back.sections.size(), 2u);
        const Option *o = back.sections[0].find("v");
        ASSERT_NE(o, nullptr);
        EXPECT_EQ(o->value, v);
        const Option *l = back.sections[1].find("l");
        ASSERT_NE(l, nullptr);
        ASSERT_EQ(l->items.size(), 2u);
        EXPECT_EQ(l->items[0], v);
        EXPECT_EQ(serialize(back), serialize(p));
    }
}

TEST(UciPackage, ResolvesExtendedReferences)
{
    Package p;
    ASSERT_EQ(parse("config a 'x'\nconfig b\nconfig a\nconfig b 'y'\nconfig a\n", "pkg", p, nullptr), Err::ok);
    struct Case {
        const char *ref;
        Err err;
        std::size_t index;
    } cases[] = {
        {"x", Err::ok, 0},
        {"y", Err::ok, 3},
        {"@a[0]", Err::ok, 0},
        {"@a[1]", Err::ok, 2},
        {"@a[2]", Err::ok, 4},
        {"@a[-1]", Err::ok, 4},
        {"@a[-3]", Err::ok, 0},
        {"@b[1]", Err::ok, 3},
        {"@[1]", Err::ok, 1},
        {"@[-1]", Err::ok, 4},
        {"@a[3]", Err::not_found, 0},
        {"@a[-4]", Err::not_found, 0},
        {"@c[0]", Err::not_found, 0},
        {"z", Err::not_found, 0},
        {"@a", Err::invalid, 0},
        {"@a[x]", Err::invalid, 0},
        {"@a[1]x", Err::invalid, 0},
        {"@a[-]", Err::invalid, 0},
        {"bad-name", Err::invalid, 0},
        {"", Err::invalid, 0},
    };
    for (const Case &c : cases) {
        std::size_t i = 99;
        EXPECT_EQ(p.resolve(c.ref, &i), c.err) << c.ref;
        if (c.err == Err::ok) {
            EXPECT_EQ(i, c.index) << c.ref;
        }
    }
    // Generated names are references too, as the uci tool prints them.
    EXPECT_EQ(p.sections[1].name, "cfg02b607");
    EXPECT_EQ(p.find("cfg02b607"), &p.sections[1]);
}

TEST(UciPackage, EditsFollowUciSetAndDelete)
{
    Package p;
    ASSERT_EQ(parse("config t s\n\toption a 1\n\tlist l x\n\toption b 2\n", "pkg", p, nullptr), Err::ok);
    EXPECT_EQ(p.set("s", "a", "9"), Err::ok);        // replaced in place
    EXPECT_EQ(p.set("s", "l", "plain"), Err::ok);    // a list becomes a value
    EXPECT_EQ(p.set("s", "b", ""), Err::ok);         // empty value deletes
    EXPECT_EQ(p.set("s", "new", "n"), Err::ok);
    EXPECT_EQ(dump(p), "s=t\n.a=9\n.l=plain\n.new=n\n");
    EXPECT_EQ(p.set("missing", "a", "1"), Err::not_found);
    EXPECT_EQ(p.set("s", "bad.name", "1"), Err::invalid);
    EXPECT_EQ(p.remove("s", "nothing"), Err::not_found);
    EXPECT_EQ(p.remove("s", "a"), Err::ok);
    EXPECT_EQ(p.remove_section("@t[0]"), Err::ok);
    EXPECT_EQ(p.remove_section("s"), Err::not_found);
    EXPECT_EQ(dump(p), "");
}
