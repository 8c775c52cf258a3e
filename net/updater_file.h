// The updater program on disk: its CRC-32 and the swap that puts a downloaded copy in its place.
// Functions work on the paths they are given; two threads must not swap the same updater at once.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

#include "platform/error.h"

namespace vexa::net {

// CRC-32 of the whole file; 0 when it is missing, empty, no regular file or cannot be read to the end.
[[nodiscard]] std::uint32_t FileCrc32OrZero(const std::filesystem::path& file);

// Writes `bytes` to a new "<updater>_willdel" (executable; whatever had that name is removed first,
// never followed or overwritten), moves the present updater to "<updater>_backup", moves the new file
// in and, if that fails, moves the backup back. Both temporary files are deleted afterwards whatever
// happened. Ok when the new updater is in place.
[[nodiscard]] vexa::Error InstallUpdater(const std::filesystem::path& updater,
                                         std::span<const std::uint8_t> bytes);

}  // namespace vexa::net
