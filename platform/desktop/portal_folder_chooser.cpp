#include "platform/desktop/portal_folder_chooser.h"

#include <cstdlib>
#include <string_view>
#include <vector>

#include "platform/screen/portal_bus.h"

namespace vexa::desktop {

namespace {

constexpr const char* kFileChooser = "org.freedesktop.portal.FileChooser";

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// OpenFile's arguments: parent window, title, and the options (a{sv}) with the byte string
// "current_folder" (NUL-terminated), which the common option writer does not know.
int AppendOpenFile(sd_bus_message* m, const std::string& token, const std::string& parent,
                   const std::string& title, const std::string& initial) {
    int r = sd_bus_message_append(m, "ss", parent.c_str(), title.c_str());
    if (r >= 0) r = sd_bus_message_open_container(m, 'a', "{sv}");
    auto entry = [&](const char* key, const char* type, auto value) {
        if (r >= 0) r = sd_bus_message_open_container(m, 'e', "sv");
        if (r >= 0) r = sd_bus_message_append(m, "s", key);
        if (r >= 0) r = sd_bus_message_append(m, "v", type, value);
        if (r >= 0) r = sd_bus_message_close_container(m);
    };
    entry("handle_token", "s", token.c_str());
    entry("modal", "b", 1);
    entry("directory", "b", 1);
    if (!initial.empty() && r >= 0) {
        r = sd_bus_message_open_container(m, 'e', "sv");
        if (r >= 0) r = sd_bus_message_append(m, "s", "current_folder");
        if (r >= 0) r = sd_bus_message_open_container(m, 'v', "ay");
        if (r >= 0) r = sd_bus_message_append_array(m, 'y', initial.c_str(), initial.size() + 1);
        if (r >= 0) r = sd_bus_message_close_container(m);
        if (r >= 0) r = sd_bus_message_close_container(m);
    }
    if (r >= 0) r = sd_bus_message_close_container(m);
    return r;
}

}  // namespace

std::optional<std::string> FileUriToPath(const std::string& uri) {
    constexpr std::string_view kScheme = "file://";
    if (uri.size() < kScheme.size() || uri.compare(0, kScheme.size(), kScheme) != 0) return std::nullopt;
    std::string_view rest = std::string_view(uri).substr(kScheme.size());
    // "file:///x" has an empty host; "file://localhost/x" names this machine too.
    if (rest.substr(0, 9) == "localhost") rest.remove_prefix(9);
    if (rest.empty() || rest.front() != '/') return std::nullopt;
    std::string path;
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] != '%') {
            path.push_back(rest[i]);
            continue;
        }
        if (i + 2 >= rest.size()) return std::nullopt;
        const int high = HexValue(rest[i + 1]), low = HexValue(rest[i + 2]);
        if (high < 0 || low < 0 || (high == 0 && low == 0)) return std::nullopt;
        path.push_back(static_cast<char>(high * 16 + low));
        i += 2;
    }
    return path;
}

Result<std::optional<std::string>> ChooseFolderThroughPortal(const std::string& parent_window,
                                                             const std::string& title,
                                                             const std::string& initial,
                                                             std::chrono::milliseconds timeout) {
    Result<std::unique_ptr<platform::PortalBus>> opened = platform::PortalBus::Open();
    if (!opened.ok()) return opened.error();
    platform::PortalBus& bus = **opened;
    Result<uint32_t> version = bus.Version(kFileChooser);
    if (!version.ok()) return version.error();
    if (*version < 3)
        return Error(ErrorCode::kUnsupported, "the desktop's file-chooser portal (version " +
                                                  std::to_string(*version) + ") cannot choose folders");
    Result<platform::MessagePtr> answer = bus.Request(
        kFileChooser, "OpenFile",
        [&](sd_bus_message* m, const std::string& token) {
            return AppendOpenFile(m, token, parent_window, title, initial);
        },
        "the folder chooser", timeout);
    if (!answer.ok()) {
        if (answer.error().code() == ErrorCode::kCancelled) return std::optional<std::string>();
        return answer.error();
    }
    std::vector<std::string> uris;
    const int r = platform::ReadOptions(answer->get(), [&](const std::string& key, sd_bus_message* m) {
        if (key != "uris") return false;
        if (sd_bus_message_enter_container(m, 'v', "as") < 0) return false;
        char** list = nullptr;
        if (sd_bus_message_read_strv(m, &list) >= 0 && list) {
            for (char** s = list; *s; ++s) {
                uris.emplace_back(*s);
                free(*s);
            }
            free(list);
        }
        (void)sd_bus_message_exit_container(m);
        return true;
    });
    if (r < 0 || uris.empty())
        return Error(ErrorCode::kProtocol, "the folder chooser's answer names no folder");
    std::optional<std::string> path = FileUriToPath(uris.front());
    if (!path)
        return Error(ErrorCode::kProtocol,
                     "the folder chooser answered " + uris.front() + ", no local folder");
    return path;
}

}  // namespace vexa::desktop
