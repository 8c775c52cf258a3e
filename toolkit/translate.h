// The program's texts in the user's language. The source texts (in the code and in the skin's
// layouts) are Chinese; the catalogues under <locale dir>/<lang>/LC_MESSAGES/vexarecorder.mo (gettext,
// compiled from po/ by msgfmt) give them in other languages. The language follows LANGUAGE, then
// LC_ALL, LC_MESSAGES and LANG: a Chinese locale keeps the source texts as they are, every other one
// (C, POSIX and none included) gets its own catalogue where one exists and English otherwise.
//
// Until InitTranslation has succeeded Tr returns its argument: tests and tools that never call it
// see the source texts. Call InitTranslation once on the first thread, after the toolkit's
// Application exists (Qt sets the process locale when it starts) and before any window is built;
// Tr and TrFormat may be called from any thread after that. The returned texts live as long as the
// process.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "platform/error.h"

namespace vexa::toolkit {

inline constexpr const char* kTextDomain = "vexarecorder";

// The locale variables as the environment holds them (empty for unset).
struct LocaleVariables {
    std::string language, lc_all, lc_messages, lang;
    [[nodiscard]] static LocaleVariables FromEnvironment();
};

// The catalogues to look in, best first, as gettext's LANGUAGE list ("de_DE.UTF-8", "en"); empty
// when the source texts are shown. LANGUAGE's entries come first when it has any, else the first of
// LC_ALL, LC_MESSAGES, LANG that is set. A Chinese entry ("zh", "zh_CN.UTF-8") ends the list there
// (the source texts are Chinese); C and POSIX entries are skipped; a list that does not end in
// Chinese ends in "en".
[[nodiscard]] std::vector<std::string> TranslationLanguages(const LocaleVariables& variables);

// The folder holding the catalogues: $VEXA_LOCALEDIR when set, else share/locale beside the
// program's bin folder (the build tree and an installation both have it), else the folder the
// program was built to be installed with.
[[nodiscard]] std::string LocaleDirectory();

// Sets gettext up for `languages` (from TranslationLanguages) with catalogues under `locale_dir`;
// nothing to do for an empty list. Fails (kUnsupported) when no locale lets gettext translate (the
// C locale does not; C.UTF-8 stands in for it): the texts stay the source ones then.
[[nodiscard]] Error InitTranslation(const std::vector<std::string>& languages, const std::string& locale_dir);

// The text in the user's language; the source text itself when no catalogue translates it.
[[nodiscard]] const char* Tr(const char* source);
[[nodiscard]] std::string Tr(const std::string& source);

// The translated `source` with its placeholders replaced by `arguments` in order: "%s", or "%N$s"
// for the Nth argument (a translation may reorder them), "%%" for a percent sign. A translation
// whose placeholders differ from the source's is not used (the source text is), so a broken
// catalogue never breaks a text.
[[nodiscard]] std::string TrFormat(const char* source, std::initializer_list<std::string_view> arguments);

// Fills `used` with the arguments `format` refers to, in the order it refers to them (0-based);
// false when it holds a conversion other than %s, %N$s and %%, or mixes %s with %N$s.
[[nodiscard]] bool FormatArguments(std::string_view format, std::vector<int>& used);
// `arguments` put into `format` (one FormatArguments accepts); out-of-range references stay as they are.
[[nodiscard]] std::string Substitute(std::string_view format,
                                     std::initializer_list<std::string_view> arguments);
// True when `translation` may stand in for `source`: both are valid and use the same arguments
// the same number of times.
[[nodiscard]] bool SamePlaceholders(std::string_view source, std::string_view translation);

}  // namespace vexa::toolkit
