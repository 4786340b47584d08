// Request lines reach the host bus from any local process.
#include "glowctl/ubus_request.h"

#include <cstddef>
#include <cstdint>

namespace {
int echo(const glow_arg *, glow_reply *r)
{
    glow_reply_string(r, "s", "x");
    return 0;
}
const glow_arg_policy kPolicy[] = {{"a", GLOW_ARG_INT32}, {"b", GLOW_ARG_STRING}};
const glow_method kMethods[] = {{"m", kPolicy, 2, echo}};
const glow_object kObject = {"o", kMethods, 1};
}  // namespace

extern "C" int glow_reply_string(glow_reply *reply, const char *name, const char *value)
{
    if (reply->n >= GLOW_MAX_REPLY) return -1;
    reply->f[reply->n].name = name;
    reply->f[reply->n].is_string = 1;
    reply->f[reply->n].s[0] = value[0];
    reply->f[reply->n++].s[1] = '\0';
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    ubus_dispatch(kObject, std::string_view(reinterpret_cast<const char *>(data), size));
    return 0;
}
