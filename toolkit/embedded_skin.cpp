// Bytes of the skin archive, linked into the program by the assembler (.incbin) so the archive
// needs no conversion step; the build passes the archive's path in VEXA_SKIN_ZIP_PATH.
#include "toolkit/skin_archive.h"

#ifdef VEXA_SKIN_ZIP_PATH
asm(".section .rodata\n"
    ".balign 16\n"
    ".hidden vexa_embedded_skin_begin\n"
    ".global vexa_embedded_skin_begin\n"
    "vexa_embedded_skin_begin:\n"
    ".incbin \"" VEXA_SKIN_ZIP_PATH
    "\"\n"
    ".hidden vexa_embedded_skin_end\n"
    ".global vexa_embedded_skin_end\n"
    "vexa_embedded_skin_end:\n"
    ".previous\n");
extern "C" const std::uint8_t vexa_embedded_skin_begin[];
extern "C" const std::uint8_t vexa_embedded_skin_end[];
#endif

namespace vexa::toolkit {

std::span<const std::uint8_t> embeddedSkin() {
#ifdef VEXA_SKIN_ZIP_PATH
    return {vexa_embedded_skin_begin, vexa_embedded_skin_end};
#else
    return {};
#endif
}

}  // namespace vexa::toolkit
