// Which blocks of the crop the screen source grabs and converts again after the screen reported the
// rectangles that changed. Pure function; thread-safe.
#pragma once

#include <vector>

#include "platform/screen/screen_backend.h"

namespace vexa::engine {

// Each changed rectangle's part inside the crop (both in screen coordinates), in crop coordinates,
// widened to the 4:2:0 chroma grid of the crop: even left and top, even right and bottom unless they
// are the crop's own edge. Many rectangles, or rectangles that fill half of the box around them or
// more, become that one box, since each block costs a round trip to the display server. Empty when
// nothing changed inside the crop.
[[nodiscard]] std::vector<platform::ScreenRect> ChangedBlocks(const std::vector<platform::ScreenRect>& dirty,
                                                              const platform::ScreenRect& crop);

}  // namespace vexa::engine
