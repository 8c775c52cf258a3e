#include "platform/desktop/xcb_display.h"

#include <array>
#include <cstring>
#include <mutex>

namespace vexa::desktop {
namespace {

constexpr std::array<const char*, static_cast<size_t>(AtomName::kCount)> kAtomNames = {
    "_VEXA_WINDOW_MESSAGE", "UTF8_STRING",        "_NET_WM_NAME",
    "_NET_CLIENT_LIST",     "_NET_FRAME_EXTENTS", "WM_STATE",
};

// Longest property read, in 32-bit units: window lists of a busy desktop and long titles fit.
constexpr uint32_t kMaxPropertyWords = 16384;

std::mutex shared_mutex;
std::shared_ptr<XcbDisplay>& SharedSlot() {  // under shared_mutex
    static std::shared_ptr<XcbDisplay> display;
    return display;
}

}  // namespace

Result<std::shared_ptr<XcbDisplay>> XcbDisplay::Shared() {
    std::lock_guard lock(shared_mutex);
    std::shared_ptr<XcbDisplay>& slot = SharedSlot();
    if (slot && !slot->Broken()) {
        // Nothing here selects events, but the server sends some (mapping changes) to every client.
        while (xcb_generic_event_t* event = xcb_poll_for_event(slot->get())) std::free(event);
        return slot;
    }
    slot.reset();
    const char* name = std::getenv("DISPLAY");
    int screen_number = 0;
    xcb_connection_t* connection = xcb_connect(nullptr, &screen_number);
    const auto unavailable = [&] {
        return Error(ErrorCode::kUnavailable,
                     std::string("cannot open X display \"") + (name ? name : "") + "\"");
    };
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return unavailable();
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screen_number && screens.rem > 0; ++i) xcb_screen_next(&screens);
    if (screens.rem == 0) {
        xcb_disconnect(connection);
        return unavailable();
    }
    std::shared_ptr<XcbDisplay> display(new XcbDisplay(connection, screens.data->root));
    if (!display->InternAtoms()) return unavailable();
    slot = display;
    return display;
}

XcbDisplay::XcbDisplay(xcb_connection_t* connection, xcb_window_t root)
    : connection_(connection), root_(root) {}

XcbDisplay::~XcbDisplay() {
    xcb_disconnect(connection_);
}

bool XcbDisplay::InternAtoms() {
    std::array<xcb_intern_atom_cookie_t, kAtomNames.size()> cookies{};
    for (size_t i = 0; i < kAtomNames.size(); ++i) {
        cookies[i] =
            xcb_intern_atom(connection_, 0, static_cast<uint16_t>(std::strlen(kAtomNames[i])), kAtomNames[i]);
    }
    bool all = true;
    for (size_t i = 0; i < kAtomNames.size(); ++i) {
        const XcbReply<xcb_intern_atom_reply_t> reply =
            TakeReply(xcb_intern_atom_reply, connection_, cookies[i]);
        if (reply) atoms_[i] = reply->atom;
        all = all && reply;
    }
    return all;
}

xcb_get_property_cookie_t RequestProperty(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property,
                                          xcb_atom_t type) {
    return xcb_get_property(c, 0, window, property, type, 0, kMaxPropertyWords);
}

Property TakeProperty(xcb_connection_t* c, xcb_get_property_cookie_t cookie) {
    const XcbReply<xcb_get_property_reply_t> reply = TakeReply(xcb_get_property_reply, c, cookie);
    Property property;
    if (!reply || reply->type == XCB_ATOM_NONE) return property;
    property.type = reply->type;
    property.format = reply->format;
    const int length = xcb_get_property_value_length(reply.get());
    if (length > 0)
        property.bytes.assign(static_cast<const char*>(xcb_get_property_value(reply.get())), length);
    return property;
}

std::vector<uint32_t> Words(const Property& property) {
    std::vector<uint32_t> words;
    if (property.format != 32) return words;
    words.resize(property.bytes.size() / 4);
    std::memcpy(words.data(), property.bytes.data(), words.size() * 4);
    return words;
}

std::vector<xcb_window_t> TakeChildren(xcb_connection_t* c, xcb_query_tree_cookie_t cookie) {
    const XcbReply<xcb_query_tree_reply_t> reply = TakeReply(xcb_query_tree_reply, c, cookie);
    if (!reply) return {};
    const xcb_window_t* children = xcb_query_tree_children(reply.get());
    return {children, children + xcb_query_tree_children_length(reply.get())};
}

}  // namespace vexa::desktop
