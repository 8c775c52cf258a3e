#include "platform/desktop/window_at_point.h"

#include <vector>

#include "platform/desktop/xcb_display.h"
#include "platform/log/log.h"

namespace vexa::desktop {
namespace {

using platform::ScreenRect;

// Window-manager frames hold their client a level or two down; a few more levels are tolerated.
constexpr int kMaxFrameDepth = 4;

// What the stacking walk needs of each window, asked for all siblings at once.
struct WindowState {
    xcb_window_t window = 0;
    bool visible = false;  // mapped with every ancestor (viewable) and able to show pixels
    ScreenRect outer;      // relative to the parent's origin, border included
    int border = 0;
};

std::vector<WindowState> QueryStates(xcb_connection_t* c, const std::vector<xcb_window_t>& windows) {
    std::vector<xcb_get_window_attributes_cookie_t> attribute_cookies;
    std::vector<xcb_get_geometry_cookie_t> geometry_cookies;
    attribute_cookies.reserve(windows.size());
    geometry_cookies.reserve(windows.size());
    for (xcb_window_t window : windows) {
        attribute_cookies.push_back(xcb_get_window_attributes(c, window));
        geometry_cookies.push_back(xcb_get_geometry(c, window));
    }
    std::vector<WindowState> states(windows.size());
    for (size_t i = 0; i < windows.size(); ++i) {
        const auto attributes = TakeReply(xcb_get_window_attributes_reply, c, attribute_cookies[i]);
        const auto geometry = TakeReply(xcb_get_geometry_reply, c, geometry_cookies[i]);
        WindowState& state = states[i];
        state.window = windows[i];
        if (!attributes || !geometry) continue;  // gone meanwhile
        state.visible = attributes->map_state == XCB_MAP_STATE_VIEWABLE &&
                        attributes->_class == XCB_WINDOW_CLASS_INPUT_OUTPUT;
        state.border = geometry->border_width;
        state.outer = {geometry->x, geometry->y, geometry->x + geometry->width + 2 * geometry->border_width,
                       geometry->y + geometry->height + 2 * geometry->border_width};
    }
    return states;
}

bool Contains(const ScreenRect& r, int x, int y) {
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

ScreenRect Offset(const ScreenRect& r, int dx, int dy) {
    return {r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
}

// The child of the root that holds `window` (the window itself when it is one), or 0.
xcb_window_t TopLevelAncestor(xcb_connection_t* c, xcb_window_t root, xcb_window_t window) {
    while (window != 0 && window != root) {
        const auto tree = TakeReply(xcb_query_tree_reply, c, xcb_query_tree(c, window));
        if (!tree) return 0;
        if (tree->parent == root) return window;
        window = tree->parent;
    }
    return 0;
}

// The application's window in a top-level window: the first one with WM_STATE, level by level;
// the top-level window itself when none has it (no window manager, or an override-redirect one).
xcb_window_t ClientOf(const XcbDisplay& display, xcb_window_t top_level) {
    xcb_connection_t* c = display.get();
    std::vector<xcb_window_t> level{top_level};
    for (int depth = 0; depth < kMaxFrameDepth && !level.empty(); ++depth) {
        std::vector<xcb_get_property_cookie_t> cookies;
        std::vector<xcb_query_tree_cookie_t> tree_cookies;
        for (xcb_window_t window : level) {
            cookies.push_back(RequestProperty(c, window, display.Atom(AtomName::kWmState)));
            tree_cookies.push_back(xcb_query_tree(c, window));
        }
        xcb_window_t client = 0;
        std::vector<xcb_window_t> next;
        for (size_t i = 0; i < level.size(); ++i) {
            if (client == 0 && TakeProperty(c, cookies[i]).type != XCB_ATOM_NONE) client = level[i];
            const std::vector<xcb_window_t> children = TakeChildren(c, tree_cookies[i]);
            next.insert(next.end(), children.begin(), children.end());
        }
        if (client != 0) return client;
        level = std::move(next);
    }
    return top_level;
}

// The client's rectangle in root coordinates grown by the window manager's frame extents (left,
// right, top, bottom); nothing when the window manager sets none.
std::optional<ScreenRect> FrameFromExtents(const XcbDisplay& display, xcb_window_t client) {
    xcb_connection_t* c = display.get();
    const auto extents_cookie =
        RequestProperty(c, client, display.Atom(AtomName::kNetFrameExtents), XCB_ATOM_CARDINAL);
    const auto geometry_cookie = xcb_get_geometry(c, client);
    const auto origin_cookie = xcb_translate_coordinates(c, client, display.Root(), 0, 0);
    const std::vector<uint32_t> extents = Words(TakeProperty(c, extents_cookie));
    const auto geometry = TakeReply(xcb_get_geometry_reply, c, geometry_cookie);
    const auto origin = TakeReply(xcb_translate_coordinates_reply, c, origin_cookie);
    if (extents.size() < 4 || !geometry || !origin) return std::nullopt;
    const int left = origin->dst_x - geometry->border_width;
    const int top = origin->dst_y - geometry->border_width;
    const int width = geometry->width + 2 * geometry->border_width;
    const int height = geometry->height + 2 * geometry->border_width;
    return ScreenRect{left - static_cast<int>(extents[0]), top - static_cast<int>(extents[2]),
                      left + width + static_cast<int>(extents[1]),
                      top + height + static_cast<int>(extents[3])};
}

// The deepest visible descendant of `window` under the point. `origin` is the root position of
// the window's inside (its origin, within the border).
void FindDeepestChild(xcb_connection_t* c, xcb_window_t window, int origin_x, int origin_y, int x, int y,
                      WindowHit& hit) {
    for (;;) {
        const std::vector<WindowState> children = QueryStates(c, TakeChildren(c, xcb_query_tree(c, window)));
        const WindowState* under = nullptr;
        for (auto it = children.rbegin(); it != children.rend() && !under; ++it) {
            if (it->visible && Contains(Offset(it->outer, origin_x, origin_y), x, y)) under = &*it;
        }
        if (!under) return;
        hit.child_window = under->window;
        hit.child = Offset(under->outer, origin_x, origin_y);
        window = under->window;
        origin_x = hit.child->left + under->border;
        origin_y = hit.child->top + under->border;
    }
}

}  // namespace

Result<std::optional<WindowHit>> WindowAtPoint(int x, int y, uint32_t exclude_window) {
    Result<std::shared_ptr<XcbDisplay>> shared = XcbDisplay::Shared();
    if (!shared.ok()) {
        log::Failure(shared.error(), "cannot find the window under the pointer");
        return shared.error();
    }
    const XcbDisplay& display = **shared;
    xcb_connection_t* c = display.get();
    const xcb_window_t excluded = exclude_window ? TopLevelAncestor(c, display.Root(), exclude_window) : 0;
    const std::vector<WindowState> top_levels =
        QueryStates(c, TakeChildren(c, xcb_query_tree(c, display.Root())));
    for (auto it = top_levels.rbegin(); it != top_levels.rend(); ++it) {
        if (!it->visible || it->window == excluded || !Contains(it->outer, x, y)) continue;
        WindowHit hit;
        hit.window = ClientOf(display, it->window);
        hit.frame = FrameFromExtents(display, hit.window).value_or(it->outer);
        if (!Contains(hit.frame, x, y)) continue;
        const auto origin = TakeReply(xcb_translate_coordinates_reply, c,
                                      xcb_translate_coordinates(c, hit.window, display.Root(), 0, 0));
        if (origin) FindDeepestChild(c, hit.window, origin->dst_x, origin->dst_y, x, y, hit);
        return std::optional<WindowHit>(hit);
    }
    if (display.Broken()) {
        Error failure(ErrorCode::kUnavailable, "the X display closed the connection");
        log::Failure(failure, "cannot find the window under the pointer");
        return failure;
    }
    return std::optional<WindowHit>();
}

}  // namespace vexa::desktop
