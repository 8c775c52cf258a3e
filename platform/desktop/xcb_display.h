// The process's one xcb connection for the desktop queries that need no events of their own: the
// search for a running instance, window messages and the window under a point. It is opened on
// $DISPLAY at first use and again once it broke; the atoms the queries need are interned with it.
//
// xcb connections are thread-safe: any thread may run requests on it at any time. A query holds
// the shared_ptr for its duration, so a reopen never pulls the connection from under it. Replies
// are always asked for with an error pointer, so that errors never pile up in the event queue.
// Internal to vexa_desktop.
#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/error.h"

namespace vexa::desktop {

// The atoms the queries use, interned once per connection.
enum class AtomName : uint8_t {
    kVexaWindowMessage,
    kUtf8String,
    kNetWmName,
    kNetClientList,
    kNetFrameExtents,
    kWmState,
    kCount,
};

// A reply or error that xcb allocated with malloc.
struct FreeWithFree {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using XcbReply = std::unique_ptr<T, FreeWithFree>;

// The reply to a request; null when the request failed (its error is dropped, never queued).
template <typename Reply, typename Cookie>
[[nodiscard]] XcbReply<Reply> TakeReply(Reply* (*take)(xcb_connection_t*, Cookie, xcb_generic_error_t**),
                                        xcb_connection_t* c, Cookie cookie) {
    xcb_generic_error_t* error = nullptr;
    XcbReply<Reply> reply(take(c, cookie, &error));
    std::free(error);
    return reply;
}

class XcbDisplay {
  public:
    // The shared connection; kUnavailable when $DISPLAY cannot be reached.
    [[nodiscard]] static Result<std::shared_ptr<XcbDisplay>> Shared();

    ~XcbDisplay();
    XcbDisplay(const XcbDisplay&) = delete;
    XcbDisplay& operator=(const XcbDisplay&) = delete;

    [[nodiscard]] xcb_connection_t* get() const { return connection_; }
    [[nodiscard]] xcb_window_t Root() const { return root_; }
    [[nodiscard]] xcb_atom_t Atom(AtomName name) const { return atoms_[static_cast<size_t>(name)]; }
    [[nodiscard]] bool Broken() const { return xcb_connection_has_error(connection_) != 0; }

  private:
    XcbDisplay(xcb_connection_t* connection, xcb_window_t root);
    [[nodiscard]] bool InternAtoms();

    xcb_connection_t* connection_;
    xcb_window_t root_;
    xcb_atom_t atoms_[static_cast<size_t>(AtomName::kCount)] = {};
};

// Properties, asked for in a batch and collected afterwards (one round trip for many windows).
[[nodiscard]] xcb_get_property_cookie_t RequestProperty(xcb_connection_t* c, xcb_window_t window,
                                                        xcb_atom_t property, xcb_atom_t type = XCB_ATOM_ANY);
struct Property {
    xcb_atom_t type = XCB_ATOM_NONE;  // NONE: the window has no such property (or is gone)
    uint8_t format = 0;
    std::string bytes;
};
[[nodiscard]] Property TakeProperty(xcb_connection_t* c, xcb_get_property_cookie_t cookie);
// The 32-bit items of a property of format 32 (window lists, frame extents).
[[nodiscard]] std::vector<uint32_t> Words(const Property& property);

// The children of a window, bottom-most first (the server's stacking order).
[[nodiscard]] std::vector<xcb_window_t> TakeChildren(xcb_connection_t* c, xcb_query_tree_cookie_t cookie);

}  // namespace vexa::desktop
