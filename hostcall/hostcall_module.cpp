// Lua 5.1 entry point of the hostcall module. The script functions are
// registered here as they are built.
extern "C" {
#include <lauxlib.h>
#include <lua.h>
}

namespace {
const luaL_Reg kFunctions[] = {
    {nullptr, nullptr},
};
}  // namespace

extern "C" __attribute__((visibility("default"))) int luaopen_hostcall(lua_State *L)
{
    luaL_register(L, "hostcall", kFunctions);
    return 1;
}
