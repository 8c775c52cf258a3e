#include "platform/screen/x11_shm_image.h"

#include <X11/Xutil.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <cerrno>
#include <string>

namespace vexa::platform {

void X11ShmImage::ImageDeleter::operator()(XImage* image) const {
    // The pixels belong to the segment and the segment record to us: only the header is freed.
    image->data = nullptr;
    image->obdata = nullptr;
    XDestroyImage(image);
}

Result<std::unique_ptr<X11ShmImage>> X11ShmImage::Create(X11Connection& connection, Visual* visual, int depth,
                                                         size_t capacity) {
    if (!XShmQueryExtension(connection.get()))
        return Error(ErrorCode::kUnsupported, "the X server lacks MIT-SHM");
    std::unique_ptr<X11ShmImage> shm(new X11ShmImage(connection, visual, depth, capacity));
    if (Error attached = shm->Attach(); !attached.ok()) return attached;
    return shm;
}

X11ShmImage::X11ShmImage(X11Connection& connection, Visual* visual, int depth, size_t capacity)
    : connection_(connection), visual_(visual), depth_(depth), capacity_(capacity) {
    segment_.shmid = -1;
    segment_.shmaddr = reinterpret_cast<char*>(-1);
}

Error X11ShmImage::Attach() {
    const std::string what = "shared memory of " + std::to_string(capacity_) + " bytes";
    segment_.shmid = shmget(IPC_PRIVATE, capacity_, IPC_CREAT | 0600);
    if (segment_.shmid < 0) return Error::FromErrno(errno, "cannot create " + what);
    segment_.shmaddr = static_cast<char*>(shmat(segment_.shmid, nullptr, 0));
    if (segment_.shmaddr == reinterpret_cast<char*>(-1)) return Error::FromErrno(errno, "cannot map " + what);
    segment_.readOnly = False;
    const uint64_t errors = connection_.ErrorCount();
    attached_ = XShmAttach(connection_.get(), &segment_) && connection_.SyncWithoutErrors(errors);
    // Both sides are attached now (or never will be): marking the segment removed lets the kernel
    // free it once both detach, even if this process dies.
    shmctl(segment_.shmid, IPC_RMID, nullptr);
    if (!attached_)
        return Error(ErrorCode::kUnsupported, "the X server cannot attach " + what + " (a remote server?)");
    return {};
}

X11ShmImage::~X11ShmImage() {
    image_.reset();
    if (attached_) {
        XShmDetach(connection_.get(), &segment_);
        XSync(connection_.get(), False);
    }
    if (segment_.shmaddr != reinterpret_cast<char*>(-1)) shmdt(segment_.shmaddr);
    if (segment_.shmid >= 0) shmctl(segment_.shmid, IPC_RMID, nullptr);
}

bool X11ShmImage::FitImage(int width, int height, size_t offset) {
    if (!image_ || image_->width != width || image_->height != height) {
        image_.reset(XShmCreateImage(connection_.get(), visual_, static_cast<unsigned>(depth_), ZPixmap,
                                     segment_.shmaddr, &segment_, static_cast<unsigned>(width),
                                     static_cast<unsigned>(height)));
    }
    if (!image_) return false;
    if (offset > capacity_ ||
        static_cast<size_t>(image_->bytes_per_line) * static_cast<size_t>(height) > capacity_ - offset)
        return false;
    // The request names the place in the segment by the image's data pointer.
    image_->data = segment_.shmaddr + offset;
    return true;
}

const XImage* X11ShmImage::Get(Drawable drawable, int x, int y, int width, int height, size_t offset) {
    if (connection_.Broken() || !FitImage(width, height, offset)) return nullptr;
    if (!XShmGetImage(connection_.get(), drawable, image_.get(), x, y, AllPlanes)) return nullptr;
    return image_.get();
}

}  // namespace vexa::platform
