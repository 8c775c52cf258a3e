// Fonts by id, per window: a layout's <Font> elements fill the FontTable of the paint manager that
// builds it, and that window's controls (and the row templates built into it) draw with them, so
// two windows may give the same id different fonts. The font declared default, else id 1, answers
// for unknown ids; a table without fonts answers with a 12-pixel sans. Families missing on the
// system fall back to a CJK-capable sans picked through fontconfig, so Chinese text renders well.
// Thread-safety: user-interface thread only.
#pragma once

#include <QFont>

#include <map>
#include <string>

namespace vexa::toolkit {

struct FontSpec {
    std::string family;
    int pixelSize = 12;
    bool bold = false;
    bool italic = false;
    bool underline = false;
};

// The QFont for a spec, with the CJK fallback family appended.
[[nodiscard]] QFont makeFont(const FontSpec& spec);

class FontTable {
  public:
    void add(int id, const FontSpec& spec, bool makeDefault = false);
    [[nodiscard]] const QFont& font(int id) const;
    [[nodiscard]] bool contains(int id) const { return fonts_.count(id) != 0; }

  private:
    std::map<int, QFont> fonts_;
    int defaultId_ = 1;  // until a <Font default="true"> names another
};

// Family of the sans font fontconfig prefers for simplified Chinese (empty when it finds none).
[[nodiscard]] const std::string& cjkFontFamily();

}  // namespace vexa::toolkit
