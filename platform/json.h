// Small JSON text helpers for documents that carry outside text.
// Nothing here parses JSON as a tree: readers search text as the router's
// programs always have.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// Appends `text` as a JSON string literal (with the quotes): escapes '"',
// '\\' and every control character; bytes >= 0x80 pass through unchanged.
void json_append_string(std::string &out, std::string_view text);
std::string json_quote(std::string_view text);

// Builds one flat object in the order its members are added, with no blanks
// ("{\"a\":1,\"b\":\"x\"}"), the form the router's programs send to ubus.
class JsonObject {
public:
    JsonObject &raw(std::string_view key, std::string_view json_value);  // value written as given
    JsonObject &str(std::string_view key, std::string_view text);        // escaped string
    JsonObject &num(std::string_view key, long long value);
    JsonObject &boolean(std::string_view key, bool value);
    // The finished document.
    std::string text() const;

private:
    void key(std::string_view k);
    std::string body_;
};

}  // namespace platform
