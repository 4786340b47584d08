// Stand-in for the port functions: records what the session sends and
// lets the tests set the clock.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fake_dev {

struct Sent {
    std::string ifname;
    std::vector<uint8_t> frame;
};

extern std::vector<Sent> sent;
extern uint64_t now_ms;

// Port names beginning with "missing" have no interface. Every other port
// gets the MAC 02:00:00:00:00:<last character> and index 10 + that character.
void reset();

}  // namespace fake_dev
