#include "platform/screen/x11_screen_info.h"

#include <X11/extensions/XInput2.h>

#include <algorithm>
#include <cstdlib>

#include "platform/screen/x11_handles.h"

namespace vexa::platform {

Extensions QueryExtensions(Display* d) {
    Extensions e;
    int error_base = 0;
    int major = 0;
    int minor = 0;
    // DAMAGE and XFixes refuse requests until the client has announced its version.
    if (XDamageQueryExtension(d, &e.damage_event_base, &error_base)) {
        e.damage = XDamageQueryVersion(d, &major, &minor) && major >= 1;
    }
    if (XFixesQueryExtension(d, &e.fixes_event_base, &error_base)) {
        e.fixes = XFixesQueryVersion(d, &major, &minor) && major >= 2;
    }
    if (XRRQueryExtension(d, &e.randr_event_base, &error_base)) {
        e.randr = XRRQueryVersion(d, &major, &minor) && (major > 1 || minor >= 3);
    }
    int event_base = 0;
    if (XQueryExtension(d, "XInputExtension", &e.xi_opcode, &event_base, &error_base)) {
        major = 2;
        minor = 0;
        e.xi2 = XIQueryVersion(d, &major, &minor) == Success && major >= 2;
    }
    return e;
}

ScreenRect Intersection(const ScreenRect& a, const ScreenRect& b) {
    ScreenRect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                 std::min(a.bottom, b.bottom)};
    if (r.right <= r.left || r.bottom <= r.top) return {};
    return r;
}

std::optional<ScreenRect> PrimaryOutputRect(Display* d, Window root) {
    const RROutput primary = XRRGetOutputPrimary(d, root);
    if (!primary) return std::nullopt;
    ScreenResourcesPtr resources(XRRGetScreenResourcesCurrent(d, root));
    if (!resources) return std::nullopt;
    OutputInfoPtr output(XRRGetOutputInfo(d, resources.get(), primary));
    if (!output || !output->crtc) return std::nullopt;
    CrtcInfoPtr crtc(XRRGetCrtcInfo(d, resources.get(), output->crtc));
    if (!crtc || crtc->width == 0 || crtc->height == 0) return std::nullopt;
    return ScreenRect{crtc->x, crtc->y, crtc->x + static_cast<int>(crtc->width),
                      crtc->y + static_cast<int>(crtc->height)};
}

std::optional<PixelLayout> ScreenPixelLayout(Display* d, const XWindowAttributes& root) {
    const Visual* visual = root.visual;
    if (!visual || visual->c_class != TrueColor) return std::nullopt;
    int count = 0;
    std::unique_ptr<XPixmapFormatValues, XFreePtr> formats(XListPixmapFormats(d, &count));
    for (int i = 0; formats && i < count; ++i) {
        if (formats.get()[i].depth == root.depth) {
            return MakePixelLayout(visual->red_mask, visual->green_mask, visual->blue_mask,
                                   formats.get()[i].bits_per_pixel, ImageByteOrder(d) == MSBFirst);
        }
    }
    return std::nullopt;
}

int ConfiguredCursorSize(Display* d) {
    const char* text = std::getenv("XCURSOR_SIZE");
    if (!text || !*text) text = XGetDefault(d, "Xcursor", "size");
    return text ? std::atoi(text) : 0;
}

}  // namespace vexa::platform
