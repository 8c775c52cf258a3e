#include "toolkit/translate.h"

#include <libintl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace vexa::toolkit {
namespace {

std::atomic<bool> g_active{false};

}  // namespace
}  // namespace vexa::toolkit

// glibc's (and GNU gettext's) count of catalogue changes: raising it drops the translations gettext
// has cached, which it keys by the locale's name, not by LANGUAGE.
extern "C" int _nl_msg_cat_cntr;

namespace vexa::toolkit {
namespace {

std::string Variable(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

// The language part of a locale name: "zh" of "zh_CN.UTF-8@x".
std::string_view LanguagePart(std::string_view name) {
    return name.substr(0, name.find_first_of("_.@"));
}

bool IsSourceLanguage(std::string_view name) {
    return LanguagePart(name) == "zh";
}

bool IsPlainLocale(std::string_view name) {
    const std::string_view language = LanguagePart(name);
    return language == "C" || language == "POSIX";
}

}  // namespace

LocaleVariables LocaleVariables::FromEnvironment() {
    return {Variable("LANGUAGE"), Variable("LC_ALL"), Variable("LC_MESSAGES"), Variable("LANG")};
}

std::vector<std::string> TranslationLanguages(const LocaleVariables& variables) {
    std::vector<std::string> entries;
    for (std::size_t start = 0; start <= variables.language.size();) {
        const std::size_t end = std::min(variables.language.find(':', start), variables.language.size());
        if (end > start) entries.push_back(variables.language.substr(start, end - start));
        start = end + 1;
    }
    if (entries.empty()) {
        for (const std::string* name : {&variables.lc_all, &variables.lc_messages, &variables.lang}) {
            if (name->empty()) continue;
            entries.push_back(*name);
            break;
        }
    }
    std::vector<std::string> languages;
    for (const std::string& entry : entries) {
        if (IsSourceLanguage(entry)) return languages;
        if (IsPlainLocale(entry)) continue;
        if (std::find(languages.begin(), languages.end(), entry) == languages.end())
            languages.push_back(entry);
    }
    if (std::find(languages.begin(), languages.end(), "en") == languages.end()) languages.push_back("en");
    return languages;
}

std::string LocaleDirectory() {
    if (std::string dir = Variable("VEXA_LOCALEDIR"); !dir.empty()) return dir;
    std::error_code ec;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const std::filesystem::path beside = program.parent_path().parent_path() / "share" / "locale";
        if (std::filesystem::is_directory(beside, ec)) return beside.string();
    }
#ifdef VEXA_INSTALL_LOCALEDIR
    return VEXA_INSTALL_LOCALEDIR;
#else
    return "/usr/share/locale";
#endif
}

Error InitTranslation(const std::vector<std::string>& languages, const std::string& locale_dir) {
    g_active = false;
    if (languages.empty()) return {};
    std::string list;
    for (const std::string& language : languages) list += (list.empty() ? "" : ":") + language;
    if (setenv("LANGUAGE", list.c_str(), 1) != 0) return Error::FromErrno(errno, "cannot set LANGUAGE");
    // gettext ignores LANGUAGE and translates nothing while the messages locale is C (also when the
    // user's locale is not installed and setlocale fell back to it).
    const char* current = std::setlocale(LC_MESSAGES, nullptr);
    const std::string_view name = current ? current : "C";
    if (name == "C" || name == "POSIX") {
        if (!std::setlocale(LC_MESSAGES, "C.UTF-8") && !std::setlocale(LC_MESSAGES, "en_US.UTF-8"))
            return Error(ErrorCode::kUnsupported,
                         "no locale other than C is installed (not even C.UTF-8): the texts stay Chinese");
    }
    if (!bindtextdomain(kTextDomain, locale_dir.c_str()))
        return Error::FromErrno(errno, "cannot bind the text domain to " + locale_dir);
    if (!bind_textdomain_codeset(kTextDomain, "UTF-8"))
        return Error::FromErrno(errno, "cannot set the text domain's character set");
    ++_nl_msg_cat_cntr;
    g_active = true;
    return {};
}

const char* Tr(const char* source) {
    if (!g_active || !source || !*source) return source;
    return dgettext(kTextDomain, source);
}

std::string Tr(const std::string& source) {
    return Tr(source.c_str());
}

bool FormatArguments(std::string_view format, std::vector<int>& used) {
    used.clear();
    int next = 0;
    bool numbered = false, plain = false;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') continue;
        if (++i == format.size()) return false;
        if (format[i] == '%') continue;
        if (format[i] == 's') {
            plain = true;
            used.push_back(next++);
            continue;
        }
        // %N$s with N from 1
        int number = 0;
        std::size_t digits = 0;
        while (i < format.size() && format[i] >= '0' && format[i] <= '9' && digits < 3) {
            number = number * 10 + (format[i] - '0');
            ++i;
            ++digits;
        }
        if (digits == 0 || number == 0 || i + 1 >= format.size() || format[i] != '$' || format[i + 1] != 's')
            return false;
        ++i;
        numbered = true;
        used.push_back(number - 1);
    }
    return !(numbered && plain);
}

std::string Substitute(std::string_view format, std::initializer_list<std::string_view> arguments) {
    const std::string_view* args = arguments.begin();
    const int count = static_cast<int>(arguments.size());
    std::string out;
    int next = 0;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%' || i + 1 == format.size()) {
            out += format[i];
            continue;
        }
        const std::size_t start = i++;
        int index = -1;
        if (format[i] == '%') {
            out += '%';
            continue;
        }
        if (format[i] == 's') {
            index = next++;
        } else {
            const std::size_t dollar = format.find("$s", i);
            if (dollar != std::string_view::npos && dollar > i && dollar - i <= 3 &&
                std::all_of(format.begin() + i, format.begin() + dollar,
                            [](char c) { return c >= '0' && c <= '9'; })) {
                index = std::stoi(std::string(format.substr(i, dollar - i))) - 1;
                i = dollar + 1;
            }
        }
        if (index >= 0 && index < count)
            out += args[index];
        else
            out += format.substr(start, i - start + 1);
    }
    return out;
}

bool SamePlaceholders(std::string_view source, std::string_view translation) {
    std::vector<int> a, b;
    if (!FormatArguments(source, a) || !FormatArguments(translation, b)) return false;
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    return a == b;
}

std::string TrFormat(const char* source, std::initializer_list<std::string_view> arguments) {
    const char* translated = Tr(source);
    const bool usable = translated == source || SamePlaceholders(source, translated);
    return Substitute(usable ? translated : source, arguments);
}

}  // namespace vexa::toolkit
