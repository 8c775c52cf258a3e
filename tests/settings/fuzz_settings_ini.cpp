// Fuzzes the ini parser and editor: any bytes must parse without a fault; a key that was set must
// read back, and every other key must read as before.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "settings/ini_document.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace vexa::settings;
    // Real ini files are a few hundred bytes; longer inputs only repeat lines and slow the run down.
    if (size > 2048) return 0;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    IniDocument document = IniDocument::Parse(text);
    const auto id_before = document.Get("soft", "id");
    if (document.Set("config", "uuid", "AZaz09-_AZaz09-_").ok()) {
        if (document.Get("config", "uuid") != "AZaz09-_AZaz09-_") std::abort();
        if (document.Get("soft", "id") != id_before) std::abort();
    }
    const IniDocument reparsed = IniDocument::Parse(document.Text());
    if (reparsed.Get("config", "uuid") != document.Get("config", "uuid")) std::abort();
    if (reparsed.Get("soft", "id") != id_before) std::abort();
    return 0;
}
