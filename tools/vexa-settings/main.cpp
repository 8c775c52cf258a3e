// vexa-settings: looks at and changes the settings store the way a registry tool would.
//
//   vexa-settings [--file STORE] [--ini INI] list
//   vexa-settings ... catalogue
//   vexa-settings ... get NAME
//   vexa-settings ... set NAME dword|binary|sz VALUE   (dword: decimal or 0x hex; binary: hex bytes
//                                                       of any length, "0a0b" or "0a,0b")
//   vexa-settings ... delete NAME
//   vexa-settings ... ini get SECTION KEY
//   vexa-settings ... ini set SECTION KEY VALUE
//
// Without --ini the ini is the program's own, found the way the program finds it (beside the
// program, or in the user's config folder when the program's folder cannot be written). The program,
// VexaRecorder, is looked for beside this tool (installed together) and then in the bin folder of
// the build tree this tool was built in.
//
// Exit status: 0 done, 1 the value is missing or the change failed, 2 wrong usage.
#include <sys/stat.h>

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/program_folder.h"
#include "settings/reg_text.h"
#include "settings/settings_catalog.h"
#include "settings/settings_ini.h"
#include "settings/settings_key.h"
#include "settings/user_dirs.h"

namespace {

using namespace vexa::settings;

constexpr int kDone = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

constexpr std::string_view kProgramFileName = "VexaRecorder";

int Usage() {
    std::fputs(
        "usage: vexa-settings [--file STORE] [--ini INI] COMMAND\n"
        "  list | catalogue | get NAME | delete NAME\n"
        "  set NAME dword|binary|sz VALUE\n"
        "  ini get SECTION KEY | ini set SECTION KEY VALUE\n",
        stderr);
    return kUsage;
}

std::optional<uint32_t> ParseDword(std::string_view text) {
    int base = 10;
    if (text.starts_with("0x") || text.starts_with("0X")) {
        text.remove_prefix(2);
        base = 16;
    }
    uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<std::string> ParseHex(std::string_view text) {
    std::string digits;
    for (const char c : text) {
        if (c != ',' && c != ' ') digits += c;
    }
    if (digits.size() % 2 != 0) return std::nullopt;
    std::string bytes;
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        unsigned value = 0;
        const auto [end, error] = std::from_chars(digits.data() + i, digits.data() + i + 2, value, 16);
        if (error != std::errc() || end != digits.data() + i + 2) return std::nullopt;
        bytes += static_cast<char>(value);
    }
    return bytes;
}

int List(const SettingsKey& key) {
    for (const auto& [folded, value] : key.Snapshot())
        std::printf("\"%s\"=%s\n", value.name.c_str(), FormatRegData(value.type, value.data).c_str());
    return kDone;
}

std::string_view KindName(ValueKind kind) {
    switch (kind) {
        case ValueKind::kDword:
            return "dword";
        case ValueKind::kBinary16:
            return "binary(16)";
        case ValueKind::kText:
            return "sz";
    }
    return "?";
}

int Catalogue() {
    for (const Setting* setting : AllSettings()) {
        std::printf("%-24.*s %-10.*s", static_cast<int>(setting->name.size()), setting->name.data(),
                    static_cast<int>(KindName(setting->kind).size()), KindName(setting->kind).data());
        if (setting->check == Check::kHotkey) {
            std::printf(" default 0x%08x", DefaultOf(*setting));
        } else if (setting->kind == ValueKind::kDword) {
            std::printf(" default %u", DefaultOf(*setting, 1));
            if (IsPerDevice(*setting) && DefaultOf(*setting, 0) != DefaultOf(*setting, 1))
                std::printf(" (%u at position 0)", DefaultOf(*setting, 0));
        }
        std::printf("  %.*s\n", static_cast<int>(setting->meaning.size()), setting->meaning.data());
    }
    return kDone;
}

int Get(const SettingsKey& key, const std::string& name) {
    const auto value = key.Find(name);
    if (!value) {
        std::fprintf(stderr, "vexa-settings: no value \"%s\"\n", name.c_str());
        return kFailed;
    }
    std::printf("%s\n", FormatRegData(value->type, value->data).c_str());
    if (const auto match = FindSetting(name); match && match->setting->kind == ValueKind::kDword) {
        const uint32_t read = ReadSetting(key, *match->setting, match->position);
        std::printf("; reads as %u\n", read);
    }
    return kDone;
}

int Failed(const vexa::Error& error) {
    std::fprintf(stderr, "vexa-settings: %s\n", error.message().c_str());
    return kFailed;
}

int Set(SettingsKey& key, const std::string& name, std::string_view type, std::string_view text) {
    vexa::Error written;
    if (type == "dword") {
        const auto value = ParseDword(text);
        if (!value) return Usage();
        written = key.WriteDword(name, *value);
    } else if (type == "binary") {
        const auto bytes = ParseHex(text);
        if (!bytes) return Usage();
        written = key.WriteBinary(name, *bytes);
    } else if (type == "sz") {
        written = key.WriteString(name, text);
    } else {
        return Usage();
    }
    return written.ok() ? kDone : Failed(written.Within("cannot write \"" + name + "\""));
}

int Delete(SettingsKey& key, const std::string& name) {
    const vexa::Error deleted = key.Delete(name);
    return deleted.ok() ? kDone : Failed(deleted.Within("cannot delete \"" + name + "\""));
}

bool HoldsProgram(const std::filesystem::path& folder) {
    struct stat st {};
    return ::stat((folder / kProgramFileName).c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           (st.st_mode & 0111);
}

// The program's folder: this tool's own when the program lies beside it, else the build tree's bin
// folder when the program was built there.
vexa::Result<std::string> ProgramFolderOfThisTree() {
    const std::filesystem::path own = std::filesystem::path(ProgramFolder()).parent_path();
    const std::filesystem::path built = (own / VEXA_PROGRAM_FROM_TOOL).lexically_normal();
    for (const std::filesystem::path& folder : {own, built}) {
        if (HoldsProgram(folder)) return folder.string();
    }
    return vexa::Error(vexa::ErrorCode::kNotFound,
                       "cannot find the program " + std::string(kProgramFileName) + " in " + own.string() +
                           " or " + built.string() + "; name the ini with --ini FILE");
}

vexa::Result<SettingsIni> ChosenIni(const std::optional<std::string>& ini_path) {
    if (ini_path) return SettingsIni(*ini_path);
    vexa::Result<std::string> folder = ProgramFolderOfThisTree();
    if (!folder.ok()) return folder.error();
    return SettingsIni::Locate(*folder, ConfigHome());
}

int Ini(const std::optional<std::string>& ini_path, const std::vector<std::string>& args) {
    const bool get = args.size() == 4 && args[1] == "get";
    if (!get && !(args.size() == 5 && args[1] == "set")) return Usage();
    vexa::Result<SettingsIni> ini = ChosenIni(ini_path);
    if (!ini.ok()) return Failed(ini.error());
    if (get) {
        std::printf("%s\n", ini->GetString(args[2], args[3]).c_str());
        return kDone;
    }
    const vexa::Error written = ini->WriteString(args[2], args[3], args[4]);
    return written.ok() ? kDone : Failed(written);
}

int Run(const std::vector<std::string>& args, const std::string& store_path) {
    const std::string& command = args[0];
    if (command == "catalogue" && args.size() == 1) return Catalogue();
    vexa::Result<std::unique_ptr<SettingsKey>> opened = SettingsKey::Open(store_path);
    if (!opened.ok()) return Failed(opened.error());
    const std::unique_ptr<SettingsKey>& key = *opened;
    if (command == "list" && args.size() == 1) return List(*key);
    if (command == "get" && args.size() == 2) return Get(*key, args[1]);
    if (command == "delete" && args.size() == 2) return Delete(*key, args[1]);
    if (command == "set" && args.size() == 4) return Set(*key, args[1], args[2], args[3]);
    return Usage();
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string store_path = SettingsKey::DefaultPath();
    std::optional<std::string> ini_path;
    while (args.size() >= 2 && (args[0] == "--file" || args[0] == "--ini")) {
        (args[0] == "--file" ? store_path : ini_path.emplace()) = args[1];
        args.erase(args.begin(), args.begin() + 2);
    }
    if (args.empty()) return Usage();
    if (args[0] == "ini") return Ini(ini_path, args);
    return Run(args, store_path);
}
