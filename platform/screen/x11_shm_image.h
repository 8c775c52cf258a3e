// A shared-memory segment (MIT-SHM) the server copies screen images into, with an image header over
// it for the size asked for. Saves the copy through the socket that XGetImage makes.
// Owned and used by one thread together with its connection, which must outlive it.
#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/error.h"
#include "platform/screen/x11_connection.h"

namespace vexa::platform {

class X11ShmImage {
  public:
    // A segment of capacity bytes attached to the server. Fails when the server lacks MIT-SHM, the
    // system refuses the segment, or the server cannot attach it (a remote server).
    [[nodiscard]] static Result<std::unique_ptr<X11ShmImage>> Create(X11Connection& connection,
                                                                     Visual* visual, int depth,
                                                                     size_t capacity);
    ~X11ShmImage();
    X11ShmImage(const X11ShmImage&) = delete;
    X11ShmImage& operator=(const X11ShmImage&) = delete;

    // Copies the width × height block at (x, y) of the drawable into the segment, its rows packed from
    // offset bytes on. Returns the image (valid until the next call), or null on failure (also when
    // the rows do not fit).
    [[nodiscard]] const XImage* Get(Drawable drawable, int x, int y, int width, int height,
                                    size_t offset = 0);

    // The segment's memory, where Get's images lie.
    [[nodiscard]] uint8_t* Data() const { return reinterpret_cast<uint8_t*>(segment_.shmaddr); }
    [[nodiscard]] size_t Capacity() const { return capacity_; }

  private:
    struct ImageDeleter {
        void operator()(XImage* image) const;
    };

    X11ShmImage(X11Connection& connection, Visual* visual, int depth, size_t capacity);
    [[nodiscard]] Error Attach();
    [[nodiscard]] bool FitImage(int width, int height, size_t offset);

    X11Connection& connection_;
    Visual* visual_;
    int depth_;
    size_t capacity_;
    XShmSegmentInfo segment_{};
    bool attached_ = false;
    std::unique_ptr<XImage, ImageDeleter> image_;
};

}  // namespace vexa::platform
