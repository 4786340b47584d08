// A small strict reader of flat JSON objects, for tests only: the code under
// test never parses JSON as a tree, so its documents are checked with an
// independent reader.
#pragma once

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace cfgtest {

struct JsonValue {
    enum Kind { String, Number, Bool } kind;
    std::string text;  // decoded string, number text, "true"/"false"
};

using JsonMembers = std::vector<std::pair<std::string, JsonValue>>;

class FlatJson {
public:
    // False when `doc` is not one flat object of strings, numbers and booleans.
    bool parse(const std::string &doc, JsonMembers *out)
    {
        s_ = doc;
        i_ = 0;
        out->clear();
        ws();
        if (!eat('{')) return false;
        ws();
        if (eat('}')) return end();
        for (;;) {
            std::string k;
            JsonValue v{JsonValue::String, {}};
            ws();
            if (!string(&k)) return false;
            ws();
            if (!eat(':')) return false;
            ws();
            if (peek() == '"') {
                if (!string(&v.text)) return false;
            } else if (s_.compare(i_, 4, "true") == 0 || s_.compare(i_, 5, "false") == 0) {
                v.kind = JsonValue::Bool;
                v.text = s_[i_] == 't' ? "true" : "false";
                i_ += v.text.size();
            } else {
                v.kind = JsonValue::Number;
                std::size_t st = i_;
                if (peek() == '-') ++i_;
                while (i_ < s_.size() && s_[i_] >= '0' && s_[i_] <= '9') ++i_;
                if (i_ == st) return false;
                v.text = s_.substr(st, i_ - st);
            }
            out->emplace_back(std::move(k), std::move(v));
            ws();
            if (eat('}')) return end();
            if (!eat(',')) return false;
        }
    }

private:
    char peek() const { return i_ < s_.size() ? s_[i_] : '\0'; }
    bool eat(char c)
    {
        if (peek() != c) return false;
        ++i_;
        return true;
    }
    void ws()
    {
        while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\n' || s_[i_] == '\r')) ++i_;
    }
    bool end()
    {
        ws();
        return i_ == s_.size();
    }
    bool string(std::string *out)
    {
        if (!eat('"')) return false;
        for (;;) {
            if (i_ >= s_.size()) return false;
            unsigned char c = static_cast<unsigned char>(s_[i_++]);
            if (c == '"') return true;
            if (c < 0x20) return false;  // raw control characters are not JSON
            if (c != '\\') {
                out->push_back(static_cast<char>(c));
                continue;
            }
            if (i_ >= s_.size()) return false;
            char e = s_[i_++];
            switch (e) {
            case '"': out->push_back('"'); break;
            case '\\': out->push_back('\\'); break;
            case '/': out->push_back('/'); break;
            case 'b': out->push_back('\b'); break;
            case 'f': out->push_back('\f'); break;
            case 'n': out->push_back('\n'); break;
            case 'r': out->push_back('\r'); break;
            case 't': out->push_back('\t'); break;
            case 'u': {
                if (i_ + 4 > s_.size()) return false;
                unsigned cp = static_cast<unsigned>(std::strtoul(s_.substr(i_, 4).c_str(), nullptr, 16));
                i_ += 4;
                if (cp >= 0x80) return false;  // enough for these tests
                out->push_back(static_cast<char>(cp));
                break;
            }
            default: return false;
            }
        }
    }

    std::string s_;
    std::size_t i_ = 0;
};

inline const JsonValue *member(const JsonMembers &m, const std::string &key)
{
    for (const auto &kv : m)
        if (kv.first == key) return &kv.second;
    return nullptr;
}

}  // namespace cfgtest
