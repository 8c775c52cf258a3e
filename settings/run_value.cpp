#include "settings/run_value.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <iterator>

#include "settings/file_io.h"
#include "settings/joined.h"
#include "settings/reg_text.h"
#include "settings/user_dirs.h"

namespace vexa::settings {

namespace {

constexpr std::string_view kOption = " -autostart";

// Undoes the string escapes of a desktop entry value (\s \n \t \r \\).
std::optional<std::string> UnescapeValue(std::string_view value) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\') {
            out += value[i];
            continue;
        }
        if (++i == value.size()) return std::nullopt;
        switch (value[i]) {
            case 's':
                out += ' ';
                break;
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            case 'r':
                out += '\r';
                break;
            case '\\':
                out += '\\';
                break;
            default:
                return std::nullopt;
        }
    }
    return out;
}

// "%%" stands for a single '%' in an Exec line; other field codes are left as they are.
std::string CollapsePercent(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        out += text[i];
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == '%') ++i;
    }
    return out;
}

// The value of `key` in the [Desktop Entry] group.
std::optional<std::string_view> EntryValue(std::string_view text, std::string_view key) {
    bool in_group = false;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.starts_with('[')) {
            in_group = line == "[Desktop Entry]";
            continue;
        }
        if (!in_group || !line.starts_with(key)) continue;
        line.remove_prefix(key.size());
        const auto first = line.find_first_not_of(' ');
        if (first == std::string_view::npos || line[first] != '=') continue;
        line.remove_prefix(first + 1);
        return line.substr(std::min(line.size(), line.find_first_not_of(' ')));
    }
    return std::nullopt;
}

// The lead bytes of UTF-8: which bits tell the length, how many bytes follow, the least code point
// that needs that length (anything smaller is an overlong form).
struct Utf8Lead {
    unsigned char mask, value;
    std::size_t more;
    char32_t least;
};
constexpr Utf8Lead kUtf8Leads[] = {
    {0x80, 0x00, 0, 0}, {0xE0, 0xC0, 1, 0x80}, {0xF0, 0xE0, 2, 0x800}, {0xF8, 0xF0, 3, 0x10000}};

// Well-formed UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
        const Utf8Lead* lead = std::find_if(std::begin(kUtf8Leads), std::end(kUtf8Leads),
                                            [&](const Utf8Lead& l) { return (byte(i) & l.mask) == l.value; });
        if (lead == std::end(kUtf8Leads) || text.size() - i <= lead->more) return false;
        char32_t code = byte(i) & static_cast<unsigned char>(~lead->mask);
        for (std::size_t k = 1; k <= lead->more; ++k) {
            if ((byte(i + k) & 0xC0) != 0x80) return false;
            code = code << 6 | (byte(i + k) & 0x3F);
        }
        if (code < lead->least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        i += lead->more + 1;
    }
    return true;
}

// A desktop entry's string values hold UTF-8 without control characters, except the ones they
// escape (tab, line feed, carriage return).
Error CheckEntryText(std::string_view program_path) {
    if (!IsUtf8(program_path))
        return Error(ErrorCode::kInvalidArgument,
                     "the program's path is not valid UTF-8, which an autostart entry cannot hold");
    for (const char c : program_path) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\t' && c != '\n' && c != '\r') || u == 0x7F)
            return Error(
                ErrorCode::kInvalidArgument,
                "the program's path holds a control character, which an autostart entry cannot hold");
    }
    return {};
}

}  // namespace

std::string ExecLineFor(std::string_view program_path) {
    // The path is quoted as an Exec argument, '%' doubled, then the value's own escapes applied.
    std::string exec = "\"";
    for (const char c : program_path) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') exec += '\\';
        if (c == '%') exec += '%';
        exec += c;
    }
    exec += "\"";
    exec += kOption;
    std::string escaped;
    for (const char c : exec) {
        switch (c) {
            case '\n':
                escaped += "\\n";
                break;
            case '\t':
                escaped += "\\t";
                break;
            case '\r':
                escaped += "\\r";
                break;
            case '\\':
                escaped += "\\\\";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

std::optional<std::string> DecodeExecLine(std::string_view exec) {
    const auto unescaped = UnescapeValue(exec);
    if (!unescaped) return std::nullopt;
    std::string command;
    bool quoted = false;
    for (std::size_t i = 0; i < unescaped->size(); ++i) {
        const char c = (*unescaped)[i];
        if (c == '"') quoted = !quoted;
        if (quoted && c == '\\' && i + 1 < unescaped->size()) {
            command += (*unescaped)[++i];
            continue;
        }
        command += c;
    }
    return CollapsePercent(command);
}

RunValue::RunValue(std::string entry_path) : path_(std::move(entry_path)) {}

std::string RunValue::DefaultPath() {
    return ConfigHome() + "/autostart/VexaRecorder.desktop";
}

std::string RunValue::CommandFor(std::string_view program_path) {
    return Joined({"\"", program_path, "\"", kOption});
}

Error RunValue::Write(std::string_view program_path) {
    if (Error refused = CheckEntryText(program_path); !refused.ok()) return refused;
    if (Error made = MakeFolders(ParentFolder(path_)); !made.ok()) return made;
    const std::string entry =
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Name=Miravo\n"
        "Exec=" +
        ExecLineFor(program_path) +
        "\n"
        "Terminal=false\n"
        "X-GNOME-Autostart-enabled=true\n";
    // The lock keeps two writers from replacing each other's temporary file.
    Result<FileLock> lock = FileLock::Acquire(path_, 0644);
    if (!lock.ok()) return lock.error();
    return WriteFileAtomically(*lock, entry, 0644);
}

Error RunValue::Remove() {
    if (::unlink(path_.c_str()) == 0 || errno == ENOENT) return {};
    return Error::FromErrno(errno, "cannot remove " + path_);
}

std::optional<std::string> RunValue::ReadCommand() const {
    const Result<FileText> file = ReadFileText(path_, 1 << 20);
    if (!file.ok()) return std::nullopt;
    const std::string& text = file->text;
    if (const auto hidden = EntryValue(text, "Hidden"); hidden && *hidden == "true") return std::nullopt;
    const auto exec = EntryValue(text, "Exec");
    if (!exec) return std::nullopt;
    return DecodeExecLine(*exec);
}

bool RunValue::IsCheckedFor(std::string_view program_path) const {
    const auto command = ReadCommand();
    if (!command || command->empty() || program_path.empty()) return false;
    const std::string_view data = *command;
    if (data.size() != 1 + program_path.size() + 1 + kOption.size()) return false;
    if (data.front() != '"' || data.substr(1, program_path.size()) != program_path) return false;
    const std::string_view tail = data.substr(1 + program_path.size());
    return tail.front() == '"' && FoldName(tail.substr(1)) == kOption;
}

}  // namespace vexa::settings
