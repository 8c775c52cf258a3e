// Fonts by id, shared by every window of the process (a pop-up sees the fonts its owner's layout
// declared). Font 1, or the one declared default, is used for unknown ids. Families missing on the
// system fall back to a CJK-capable sans picked through fontconfig, so Chinese text renders well.
// Thread-safety: user-interface thread only.
#pragma once

#include <QFont>

#include <string>

namespace vexa::toolkit {

struct FontSpec {
    std::string family;
    int pixelSize = 12;
    bool bold = false;
    bool italic = false;
    bool underline = false;
};

void registerFont(int id, const FontSpec& spec, bool makeDefault = false);
[[nodiscard]] const QFont& fontById(int id);
[[nodiscard]] bool hasFont(int id);
// Family of the sans font fontconfig prefers for simplified Chinese (empty when it finds none).
[[nodiscard]] const std::string& cjkFontFamily();

}  // namespace vexa::toolkit
