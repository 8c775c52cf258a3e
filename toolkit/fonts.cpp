#include "toolkit/fonts.h"

#include <fontconfig/fontconfig.h>

#include <QStringList>

#include <memory>

namespace vexa::toolkit {

namespace {

struct PatternDeleter {
    void operator()(FcPattern* pattern) const { FcPatternDestroy(pattern); }
};
using PatternPtr = std::unique_ptr<FcPattern, PatternDeleter>;

std::string matchCjkFamily() {
    if (!FcInit()) return {};
    PatternPtr pattern(FcPatternCreate());
    if (!pattern) return {};
    FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>("sans-serif"));
    FcPatternAddString(pattern.get(), FC_LANG, reinterpret_cast<const FcChar8*>("zh-cn"));
    FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(pattern.get());
    FcResult result = FcResultNoMatch;
    PatternPtr match(FcFontMatch(nullptr, pattern.get(), &result));
    if (!match) return {};
    FcChar8* family = nullptr;
    if (FcPatternGetString(match.get(), FC_FAMILY, 0, &family) != FcResultMatch || !family) return {};
    // Only a font that really covers Chinese is worth preferring.
    FcLangSet* langs = nullptr;
    if (FcPatternGetLangSet(match.get(), FC_LANG, 0, &langs) == FcResultMatch &&
        FcLangSetHasLang(langs, reinterpret_cast<const FcChar8*>("zh-cn")) == FcLangDifferentLang) {
        return {};
    }
    return reinterpret_cast<const char*>(family);
}

}  // namespace

QFont makeFont(const FontSpec& spec) {
    QStringList families;
    if (!spec.family.empty()) families << QString::fromStdString(spec.family);
    if (!cjkFontFamily().empty()) families << QString::fromStdString(cjkFontFamily());
    QFont font;
    if (!families.isEmpty()) font.setFamilies(families);
    font.setPixelSize(spec.pixelSize > 0 ? spec.pixelSize : 12);
    font.setBold(spec.bold);
    font.setItalic(spec.italic);
    font.setUnderline(spec.underline);
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

const std::string& cjkFontFamily() {
    static const std::string family = matchCjkFamily();
    return family;
}

void FontTable::add(int id, const FontSpec& spec, bool makeDefault) {
    fonts_[id] = makeFont(spec);
    if (makeDefault) defaultId_ = id;
}

const QFont& FontTable::font(int id) const {
    auto it = fonts_.find(id);
    if (it == fonts_.end()) it = fonts_.find(defaultId_);
    if (it != fonts_.end()) return it->second;
    static const QFont fallback = makeFont(FontSpec{});
    return fallback;
}

}  // namespace vexa::toolkit
