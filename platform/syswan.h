// Client of the WAN service, the ubus object "syswan", through the ubus
// command-line client (argument vector, no shell). Documents carrying texts
// are built with platform::JsonObject, so they arrive escaped and intact.
#pragma once

#include <string>
#include <string_view>

namespace platform::syswan {

// Each returns the ubus client's exit status (0 success, -1 could not run).
int all(std::string *out);                       // ubus call syswan all
int get(unsigned wan_id, std::string *out);      // ubus call syswan get {"wanId":n}
int max_id(unsigned *id);                        // ubus call syswan maxId; 0 when none
int add(std::string_view object_json);           // ubus call syswan add <doc>
int modify(std::string_view object_json);        // ubus call syswan modify <doc>, wanId first
int del(unsigned wan_id);                        // ubus call syswan del {"wanId":n}

// Largest document passed to add/modify; a longer one is refused (-1), never cut.
inline constexpr std::size_t kMaxDocument = 8192;

}  // namespace platform::syswan
