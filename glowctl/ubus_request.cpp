#include "glowctl/ubus_request.h"

#include "platform/json.h"

#include <climits>
#include <cstring>

namespace {

constexpr int kMaxDepth = 32;

class Parser {
public:
    explicit Parser(std::string_view t) : t_(t) {}

    void ws()
    {
        while (p_ < t_.size() && (t_[p_] == ' ' || t_[p_] == '\t' || t_[p_] == '\n' || t_[p_] == '\r')) ++p_;
    }
    bool eat(char c)
    {
        ws();
        if (p_ < t_.size() && t_[p_] == c) {
            ++p_;
            return true;
        }
        return false;
    }
    bool peek(char c)
    {
        ws();
        return p_ < t_.size() && t_[p_] == c;
    }
    bool at_end()
    {
        ws();
        return p_ == t_.size();
    }

    static void put_utf8(std::string &out, unsigned cp)
    {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }

    bool hex4(unsigned &v)
    {
        if (t_.size() - p_ < 4) return false;
        v = 0;
        for (int k = 0; k < 4; ++k) {
            char c = t_[p_++];
            v <<= 4;
            if (c >= '0' && c <= '9')
                v |= static_cast<unsigned>(c - '0');
            else if (c >= 'a' && c <= 'f')
                v |= static_cast<unsigned>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                v |= static_cast<unsigned>(c - 'A' + 10);
            else
                return false;
        }
        return true;
    }

    bool string(std::string &out)
    {
        out.clear();
        if (!eat('"')) return false;
        while (p_ < t_.size()) {
            unsigned char c = static_cast<unsigned char>(t_[p_++]);
            if (c == '"') return true;
            if (c < 0x20) return false;
            if (c != '\\') {
                out += static_cast<char>(c);
                continue;
            }
            if (p_ >= t_.size()) return false;
            char e = t_[p_++];
            switch (e) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case '/': out += '/'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                unsigned cp;
                if (!hex4(cp)) return false;
                if (cp >= 0xD800 && cp <= 0xDBFF) {
                    unsigned lo;
                    if (t_.size() - p_ < 6 || t_[p_] != '\\' || t_[p_ + 1] != 'u') return false;
                    p_ += 2;
                    if (!hex4(lo) || lo < 0xDC00 || lo > 0xDFFF) return false;
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
                } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
                    return false;
                }
                put_utf8(out, cp);
                break;
            }
            default: return false;
            }
        }
        return false;
    }

    // A number; integer_fits is true for an integer within 32 bits.
    bool number(bool &integer_fits, int32_t &value)
    {
        ws();
        std::size_t s = p_;
        if (p_ < t_.size() && t_[p_] == '-') ++p_;
        std::size_t digits = p_;
        if (p_ < t_.size() && t_[p_] == '0') {
            ++p_;
        } else {
            if (p_ >= t_.size() || t_[p_] < '1' || t_[p_] > '9') return false;
            while (p_ < t_.size() && t_[p_] >= '0' && t_[p_] <= '9') ++p_;
        }
        std::size_t int_end = p_;
        bool integer = true;
        if (p_ < t_.size() && t_[p_] == '.') {
            integer = false;
            ++p_;
            if (p_ >= t_.size() || t_[p_] < '0' || t_[p_] > '9') return false;
            while (p_ < t_.size() && t_[p_] >= '0' && t_[p_] <= '9') ++p_;
        }
        if (p_ < t_.size() && (t_[p_] == 'e' || t_[p_] == 'E')) {
            integer = false;
            ++p_;
            if (p_ < t_.size() && (t_[p_] == '+' || t_[p_] == '-')) ++p_;
            if (p_ >= t_.size() || t_[p_] < '0' || t_[p_] > '9') return false;
            while (p_ < t_.size() && t_[p_] >= '0' && t_[p_] <= '9') ++p_;
        }
        integer_fits = false;
        if (integer && int_end - digits <= 10) {
            long long v = 0;
            for (std::size_t k = digits; k < int_end; ++k) v = v * 10 + (t_[k] - '0');
            if (t_[s] == '-') v = -v;
            if (v >= INT32_MIN && v <= INT32_MAX) {
                integer_fits = true;
                value = static_cast<int32_t>(v);
            }
        }
        return true;
    }

    bool literal(const char *word)
    {
        ws();
        std::size_t n = strlen(word);
        if (t_.substr(p_, n) != word) return false;
        p_ += n;
        return true;
    }

    // Any value, typed for a policy match.
    bool value(ubus_request::member &m, int depth)
    {
        if (depth > kMaxDepth) return false;
        ws();
        if (p_ >= t_.size()) return false;
        char c = t_[p_];
        m.kind = ubus_request::member::OTHER;
        if (c == '"') {
            if (!string(m.s)) return false;
            // A C string ends at its first NUL: such a text cannot be taken as sent.
            if (m.s.find('\0') == std::string::npos) m.kind = ubus_request::member::STRING;
            return true;
        }
        if (c == '{' || c == '[') {
            const char close = c == '{' ? '}' : ']';
            ++p_;
            if (eat(close)) return true;
            do {
                ubus_request::member inner;
                if (c == '{') {
                    std::string k;
                    if (!string(k) || !eat(':')) return false;
                }
                if (!value(inner, depth + 1)) return false;
            } while (eat(','));
            return eat(close);
        }
        if (c == 't') return literal("true");
        if (c == 'f') return literal("false");
        if (c == 'n') return literal("null");
        bool fits = false;
        int32_t v = 0;
        if (!number(fits, v)) return false;
        if (fits) {
            m.kind = ubus_request::member::INT32;
            m.i = v;
        }
        return true;
    }

private:
    std::string_view t_;
    std::size_t p_ = 0;
};

}  // namespace

bool ubus_parse_request(std::string_view line, ubus_request &req)
{
    req = ubus_request{};
    Parser p(line);
    if (!p.eat('{')) return false;
    bool have_method = false;
    if (!p.eat('}')) {
        do {
            std::string key;
            if (!p.string(key) || !p.eat(':')) return false;
            if (key == "method") {
                if (!p.string(req.method)) return false;
                have_method = true;
            } else if (key == "args" && p.peek('{')) {
                req.has_args = true;
                req.args.clear();
                p.eat('{');
                if (!p.eat('}')) {
                    do {
                        ubus_request::member m;
                        if (!p.string(m.key) || !p.eat(':') || !p.value(m, 1)) return false;
                        req.args.push_back(std::move(m));
                    } while (p.eat(','));
                    if (!p.eat('}')) return false;
                }
            } else {
                ubus_request::member ignored;
                if (!p.value(ignored, 1)) return false;
            }
        } while (p.eat(','));
        if (!p.eat('}')) return false;
    }
    return have_method && p.at_end();
}

void ubus_match_policy(const ubus_request &req, const glow_arg_policy *policy, int n, glow_arg *out)
{
    for (int i = 0; i < n; ++i) {
        out[i] = glow_arg{0, 0, nullptr};
        for (const ubus_request::member &m : req.args) {
            if (m.key != policy[i].name) continue;
            if (policy[i].type == GLOW_ARG_INT32 && m.kind == ubus_request::member::INT32) {
                out[i] = glow_arg{1, m.i, nullptr};
            } else if (policy[i].type == GLOW_ARG_STRING && m.kind == ubus_request::member::STRING) {
                out[i] = glow_arg{1, 0, m.s.c_str()};
            }
        }
    }
}

std::string ubus_dispatch(const glow_object &object, std::string_view line)
{
    platform::JsonObject out;
    ubus_request req;
    if (!ubus_parse_request(line, req)) return out.num("status", GLOW_STATUS_INVALID_ARGUMENT).text();
    const glow_method *method = nullptr;
    for (int i = 0; i < object.n_methods; ++i)
        if (req.method == object.methods[i].name) method = &object.methods[i];
    if (!method) return out.num("status", 3).text();  // method not found

    glow_arg args[GLOW_MAX_ARGS] = {};
    const int n = method->n_policy < GLOW_MAX_ARGS ? method->n_policy : GLOW_MAX_ARGS;
    ubus_match_policy(req, method->policy, n, args);
    glow_reply reply{};
    const int status = method->fn(req.has_args ? args : nullptr, &reply);
    out.num("status", status);
    if (status == GLOW_STATUS_OK && reply.n > 0) {
        platform::JsonObject table;
        for (int i = 0; i < reply.n; ++i) {
            const glow_reply_field &f = reply.f[i];
            if (f.is_string)
                table.str(f.name, f.s);
            else
                table.num(f.name, f.i);
        }
        out.raw("reply", table.text());
    }
    return out.text();
}
