#include "platform/json.h"

#include <gtest/gtest.h>

using platform::json_quote;
using platform::JsonObject;

TEST(Json, EscapesWhatWouldBreakTheDocument)
{
    struct Case {
        std::string in, out;
    } cases[] = {
        {"plain", "\"plain\""},
        {"a\"b", "\"a\\\"b\""},
        {"back\\slash", "\"back\\\\slash\""},
        {"line\nbreak\ttab\r", "\"line\\nbreak\\ttab\\r\""},
        {std::string("\x01\x1f\x7f", 3), "\"\\u0001\\u001f\\u007f\""},
        {"it's $(x) `y`", "\"it's $(x) `y`\""},
        {"caf\xc3\xa9 / 2001:db8::1/64", "\"caf\xc3\xa9 / 2001:db8::1/64\""},
        {"", "\"\""},
    };
    for (const auto &c : cases) EXPECT_EQ(json_quote(c.in), c.out) << c.in;
}

TEST(Json, ObjectKeepsMemberOrderWithoutBlanks)
{
    JsonObject o;
    o.num("wanId", 1).boolean("napt", true).str("pppUser", "u\"1").raw("vid", "10");
    EXPECT_EQ(o.text(), "{\"wanId\":1,\"napt\":true,\"pppUser\":\"u\\\"1\",\"vid\":10}");
    EXPECT_EQ(JsonObject().text(), "{}");
}
