// In-memory configuration store for glowctl's unit tests.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace fake_zkuci {
// "pkg.sec.opt" -> value
extern std::map<std::string, std::string> g_values;
// Every successful write as "set pkg.sec.opt=value", "add pkg.name=type", "del pkg.name".
extern std::vector<std::string> g_writes;
// A set of this option ("pkg.sec.opt") fails.
extern std::string g_fail_set;
void reset();
}  // namespace fake_zkuci
