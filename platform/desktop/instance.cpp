#include "platform/desktop/instance.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "platform/desktop/xcb_display.h"
#include "platform/log/log.h"

namespace vexa::desktop {
namespace {

// The top-level candidates: the window manager's client list, then the root's children and their
// children (a window manager's frame holds the client one level down), each window once.
std::vector<xcb_window_t> TopLevelCandidates(const XcbDisplay& display) {
    xcb_connection_t* c = display.get();
    const auto clients_cookie =
        RequestProperty(c, display.Root(), display.Atom(AtomName::kNetClientList), XCB_ATOM_WINDOW);
    const auto tree_cookie = xcb_query_tree(c, display.Root());
    std::vector<xcb_window_t> windows = Words(TakeProperty(c, clients_cookie));
    const std::vector<xcb_window_t> children = TakeChildren(c, tree_cookie);
    std::vector<xcb_query_tree_cookie_t> grandchild_cookies;
    grandchild_cookies.reserve(children.size());
    for (xcb_window_t child : children) grandchild_cookies.push_back(xcb_query_tree(c, child));
    windows.insert(windows.end(), children.begin(), children.end());
    for (xcb_query_tree_cookie_t cookie : grandchild_cookies) {
        const std::vector<xcb_window_t> grandchildren = TakeChildren(c, cookie);
        windows.insert(windows.end(), grandchildren.begin(), grandchildren.end());
    }
    std::vector<xcb_window_t> unique;
    unique.reserve(windows.size());
    for (xcb_window_t window : windows) {
        if (std::find(unique.begin(), unique.end(), window) == unique.end()) unique.push_back(window);
    }
    return unique;
}

// WM_CLASS is "instance\0class\0".
bool ClassMatches(const Property& wm_class, std::string_view wanted) {
    std::string_view rest = wm_class.bytes;
    for (int part = 0; part < 2 && !rest.empty(); ++part) {
        const size_t end = std::min(rest.find('\0'), rest.size());
        if (rest.substr(0, end) == wanted) return true;
        rest.remove_prefix(std::min(end + 1, rest.size()));
    }
    return false;
}

// WM_NAME of type STRING is Latin-1; other types are compared as they are.
std::string TitleText(const Property& net_wm_name, const Property& wm_name) {
    if (net_wm_name.type != XCB_ATOM_NONE) return net_wm_name.bytes;
    if (wm_name.type != XCB_ATOM_STRING) return wm_name.bytes;
    std::string utf8;
    for (unsigned char ch : wm_name.bytes) {
        if (ch < 0x80) {
            utf8 += static_cast<char>(ch);
        } else {
            utf8 += static_cast<char>(0xC0 | (ch >> 6));
            utf8 += static_cast<char>(0x80 | (ch & 0x3F));
        }
    }
    return utf8;
}

std::string WindowName(uint32_t window) {
    char text[32];
    std::snprintf(text, sizeof text, "window 0x%x", window);
    return text;
}

struct TitleCookies {
    xcb_get_property_cookie_t wm_class, net_wm_name, wm_name;
};

}  // namespace

Result<uint32_t> FindTopLevelWindow(std::string_view window_class, std::string_view title) {
    Result<std::shared_ptr<XcbDisplay>> display = XcbDisplay::Shared();
    if (!display.ok()) {
        log::Failure(display.error(), "cannot look for a running instance");
        return display.error();
    }
    xcb_connection_t* c = (*display)->get();
    const std::vector<xcb_window_t> windows = TopLevelCandidates(**display);
    std::vector<TitleCookies> cookies;
    cookies.reserve(windows.size());
    for (xcb_window_t window : windows) {
        cookies.push_back({RequestProperty(c, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING),
                           RequestProperty(c, window, (*display)->Atom(AtomName::kNetWmName),
                                           (*display)->Atom(AtomName::kUtf8String)),
                           RequestProperty(c, window, XCB_ATOM_WM_NAME)});
    }
    uint32_t found = 0;
    for (size_t i = 0; i < windows.size(); ++i) {
        // Every reply is taken, also after a match, so that none is left behind on the connection.
        const Property wm_class = TakeProperty(c, cookies[i].wm_class);
        const Property net_wm_name = TakeProperty(c, cookies[i].net_wm_name);
        const Property wm_name = TakeProperty(c, cookies[i].wm_name);
        if (found == 0 && ClassMatches(wm_class, window_class) && TitleText(net_wm_name, wm_name) == title) {
            found = windows[i];
        }
    }
    return found;
}

Error PostWindowMessage(uint32_t window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
    if (wparam > std::numeric_limits<uint32_t>::max() || lparam < std::numeric_limits<int32_t>::min() ||
        lparam > std::numeric_limits<int32_t>::max()) {
        return Error(ErrorCode::kInvalidArgument, "window message parameters wider than 32 bits");
    }
    Result<std::shared_ptr<XcbDisplay>> display = XcbDisplay::Shared();
    if (!display.ok()) {
        log::Failure(display.error(), "cannot post a window message");
        return display.error();
    }
    xcb_connection_t* c = (*display)->get();

    // xcb_send_event copies exactly 32 bytes, the size of every core event.
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = (*display)->Atom(AtomName::kVexaWindowMessage);
    event.data.data32[0] = message;
    event.data.data32[1] = static_cast<uint32_t>(wparam);
    event.data.data32[2] = static_cast<uint32_t>(static_cast<int32_t>(lparam));
    const xcb_void_cookie_t cookie =
        xcb_send_event_checked(c, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
    XcbReply<xcb_generic_error_t> error(xcb_request_check(c, cookie));
    if (error) {
        const bool gone = error->error_code == XCB_WINDOW;
        Error failure(gone ? ErrorCode::kNotFound : ErrorCode::kInternal,
                      "cannot send a message to " + WindowName(window) +
                          (gone ? ": no such window" : ": X error " + std::to_string(error->error_code)),
                      error->error_code);
        log::Failure(failure);
        return failure;
    }
    if ((*display)->Broken()) {
        Error failure(ErrorCode::kUnavailable, "the X display closed the connection");
        log::Failure(failure, "cannot post a window message");
        return failure;
    }
    return {};
}

std::optional<WindowMessage> ParseWindowMessage(const void* xcb_generic_event) {
    const auto* generic = static_cast<const xcb_generic_event_t*>(xcb_generic_event);
    if (!generic || (generic->response_type & 0x7F) != XCB_CLIENT_MESSAGE) return std::nullopt;
    const auto* event = static_cast<const xcb_client_message_event_t*>(xcb_generic_event);
    // Client messages are rare (window-manager pings and requests), so the atom is looked up each time.
    Result<std::shared_ptr<XcbDisplay>> display = XcbDisplay::Shared();
    if (!display.ok() || event->format != 32 || event->type != (*display)->Atom(AtomName::kVexaWindowMessage))
        return std::nullopt;
    return WindowMessage{event->window, event->data.data32[0], event->data.data32[1],
                         static_cast<int32_t>(event->data.data32[2])};
}

}  // namespace vexa::desktop
