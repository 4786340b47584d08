#include "platform/syswan.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/json.h"
#include "platform/runner.h"

namespace platform::syswan {
namespace {

constexpr std::size_t kMaxAnswer = 1 << 20;

int call(const char *method, const char *arg, std::string *out)
{
    RunOptions opt;
    opt.capture = out != nullptr;
    opt.max_output = kMaxAnswer;
    RunResult res;
    int st = arg ? run({"ubus", "call", "syswan", method, arg}, opt, &res)
                 : run({"ubus", "call", "syswan", method}, opt, &res);
    if (out) *out = std::move(res.output);
    return st;
}

std::string id_doc(unsigned wan_id)
{
    return JsonObject().num("wanId", wan_id).text();
}

}  // namespace

int all(std::string *out) { return call("all", nullptr, out); }

int get(unsigned wan_id, std::string *out) { return call("get", id_doc(wan_id).c_str(), out); }

int max_id(unsigned *id)
{
    std::string text;
    int st = call("maxId", nullptr, &text);
    if (id) {
        *id = 0;
        const char *p = std::strstr(text.c_str(), "\"maxId\"");
        if (p) {
            p = std::strchr(p, ':');
            if (p) *id = static_cast<unsigned>(std::strtoul(p + 1, nullptr, 10));
        }
    }
    return st;
}

int add(std::string_view doc)
{
    if (doc.size() > kMaxDocument) return -1;
    return call("add", std::string(doc).c_str(), nullptr);
}

int modify(std::string_view doc)
{
    if (doc.size() > kMaxDocument) return -1;
    return call("modify", std::string(doc).c_str(), nullptr);
}

int del(unsigned wan_id) { return call("del", id_doc(wan_id).c_str(), nullptr); }

}  // namespace platform::syswan
