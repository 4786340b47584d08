// The host bus's request line: {"method":"M","args":{...}}. Argument values
// are typed as blobmsg types them (an integer that fits 32 bits is INT32, a
// string STRING, anything else neither), then matched against the policy.
#pragma once

#include "glowctl/ubus_service.h"

#include <string>
#include <string_view>
#include <vector>

struct ubus_request {
    std::string method;
    bool has_args = false;
    struct member {
        std::string key;
        enum { INT32, STRING, OTHER } kind = OTHER;
        int32_t i = 0;
        std::string s;
    };
    std::vector<member> args;
};

// False for text that is not one JSON object of that shape.
bool ubus_parse_request(std::string_view line, ubus_request &req);

// Fills one glow_arg per policy entry from the request's arguments; the
// strings point into req.
void ubus_match_policy(const ubus_request &req, const glow_arg_policy *policy, int n, glow_arg *out);

// Runs a request against an object: the reply line (without newline).
std::string ubus_dispatch(const glow_object &object, std::string_view line);
