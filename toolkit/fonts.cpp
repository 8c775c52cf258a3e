#include "toolkit/fonts.h"

#include <fontconfig/fontconfig.h>

#include <QStringList>

#include <map>
#include <memory>

namespace vexa::toolkit {

namespace {

constexpr int kDefaultFontId = 1;

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

struct Registry {
    std::map<int, QFont> fonts;
    int defaultId = kDefaultFontId;
    QFont fallback = makeFont(FontSpec{});
};

Registry& registry() {
    static Registry instance;
    return instance;
}

}  // namespace

const std::string& cjkFontFamily() {
    static const std::string family = matchCjkFamily();
    return family;
}

void registerFont(int id, const FontSpec& spec, bool makeDefault) {
    registry().fonts[id] = makeFont(spec);
    if (makeDefault) registry().defaultId = id;
}

bool hasFont(int id) {
    return registry().fonts.count(id) != 0;
}

const QFont& fontById(int id) {
    Registry& r = registry();
    auto it = r.fonts.find(id);
    if (it == r.fonts.end()) it = r.fonts.find(r.defaultId);
    return it == r.fonts.end() ? r.fallback : it->second;
}

}  // namespace vexa::toolkit
