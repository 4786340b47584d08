// Any text the parser accepts must write back in a form that reads back to
// the same package, byte for byte on the second write.
#include "platform/uci_store.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace platform::uci;
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    Package p;
    ParseError where;
    if (parse(text, "fuzz", p, &where) != Err::ok) return 0;
    const std::string once = serialize(p);
    Package back;
    if (parse(once, "fuzz", back, &where) != Err::ok) __builtin_trap();
    if (serialize(back) != once) __builtin_trap();
    for (const Section &s : p.sections) {
        if (s.type.find('[') != std::string::npos) continue;  // not addressable as @type[n], as in uci
        std::size_t i;
        if (p.resolve("@" + s.type + "[-1]", &i) != Err::ok) __builtin_trap();
    }
    return 0;
}
