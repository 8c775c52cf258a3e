// Owning wrappers for Xlib allocations and server-side objects, so that every path releases them.
// Each wrapper is owned by one thread, together with the connection it belongs to.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xdamage.h>
#include <X11/extensions/Xfixes.h>
#include <X11/extensions/Xrandr.h>

#include <memory>
#include <utility>

namespace vexa::platform {

template <auto Free>
struct XFreeWith {
    template <typename T>
    void operator()(T* p) const {
        Free(p);
    }
};
inline void FreeXData(void* p) {
    XFree(p);
}
inline void DestroyXImage(XImage* p) {
    XDestroyImage(p);
}
using XFreePtr = XFreeWith<&FreeXData>;
using CursorImagePtr = std::unique_ptr<XFixesCursorImage, XFreePtr>;
using ImagePtr = std::unique_ptr<XImage, XFreeWith<&DestroyXImage>>;
using ScreenResourcesPtr = std::unique_ptr<XRRScreenResources, XFreeWith<&XRRFreeScreenResources>>;
using OutputInfoPtr = std::unique_ptr<XRROutputInfo, XFreeWith<&XRRFreeOutputInfo>>;
using CrtcInfoPtr = std::unique_ptr<XRRCrtcInfo, XFreeWith<&XRRFreeCrtcInfo>>;

// A server-side object (damage, region) destroyed with its connection's request.
template <void (*Destroy)(Display*, XID)>
class ServerObject {
  public:
    ServerObject() = default;
    ServerObject(Display* display, XID id) : display_(display), id_(id) {}
    ServerObject(ServerObject&& o) noexcept : display_(o.display_), id_(std::exchange(o.id_, 0)) {}
    ServerObject& operator=(ServerObject&& o) noexcept {
        if (this != &o) {
            Reset();
            display_ = o.display_;
            id_ = std::exchange(o.id_, 0);
        }
        return *this;
    }
    ~ServerObject() { Reset(); }
    [[nodiscard]] XID get() const { return id_; }
    void Reset() {
        if (id_) Destroy(display_, id_);
        id_ = 0;
    }

  private:
    Display* display_ = nullptr;
    XID id_ = 0;
};
inline void DestroyDamage(Display* d, XID id) {
    XDamageDestroy(d, id);
}
inline void DestroyRegion(Display* d, XID id) {
    XFixesDestroyRegion(d, id);
}
using DamageObject = ServerObject<&DestroyDamage>;
using RegionObject = ServerObject<&DestroyRegion>;

}  // namespace vexa::platform
