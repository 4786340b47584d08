#include "platform/json.h"

namespace platform {

void json_append_string(std::string &out, std::string_view text)
{
    static const char hex[] = "0123456789abcdef";
    out.push_back('"');
    for (unsigned char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        default:
            if (c < 0x20 || c == 0x7f) {
                out += "\\u00";
                out.push_back(hex[c >> 4]);
                out.push_back(hex[c & 15]);
            } else {
                out.push_back(static_cast<char>(c));
            }
        }
    }
    out.push_back('"');
}

std::string json_quote(std::string_view text)
{
    std::string s;
    s.reserve(text.size() + 2);
    json_append_string(s, text);
    return s;
}

void JsonObject::key(std::string_view k)
{
    body_.push_back(body_.empty() ? '{' : ',');
    json_append_string(body_, k);
    body_.push_back(':');
}

JsonObject &JsonObject::raw(std::string_view k, std::string_view json_value)
{
    key(k);
    body_.append(json_value);
    return *this;
}

JsonObject &JsonObject::str(std::string_view k, std::string_view text)
{
    key(k);
    json_append_string(body_, text);
    return *this;
}

JsonObject &JsonObject::num(std::string_view k, long long value)
{
    key(k);
    body_ += std::to_string(value);
    return *this;
}

JsonObject &JsonObject::boolean(std::string_view k, bool value)
{
    key(k);
    body_ += value ? "true" : "false";
    return *this;
}

std::string JsonObject::text() const
{
    return body_.empty() ? std::string("{}") : body_ + "}";
}

}  // namespace platform
