// Fuzzes the settings file parser: any bytes must parse without a fault, and whatever was
// accepted must come back unchanged after writing it out and reading it again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "settings/reg_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace vexa::settings;
    const RegValues parsed = ParseRegText(std::string_view(reinterpret_cast<const char*>(data), size));
    const RegValues again = ParseRegText(FormatRegText(parsed));
    if (again.size() != parsed.size()) std::abort();
    for (const auto& [folded, value] : parsed) {
        const auto found = again.find(folded);
        if (found == again.end() || found->second.name != value.name || found->second.type != value.type ||
            found->second.data != value.data)
            std::abort();
    }
    return 0;
}
