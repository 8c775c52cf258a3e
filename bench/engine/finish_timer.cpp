// Times the in-place finish of fragmented MP4 files named on the command line (each is finished:
// pass copies). Prints one line per file: its size, the index's size, the time the finish took, and
// of that the time spent reading the fragment headers and building the index (the rest is writing
// and syncing).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "engine/regular_mp4.h"

int main(int argc, char** argv) {
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        struct stat before {};
        if (stat(argv[i], &before) != 0) {
            std::fprintf(stderr, "finish_timer: cannot read %s\n", argv[i]);
            status = 1;
            continue;
        }
        const int fd = open(argv[i], O_RDONLY | O_CLOEXEC);
        const auto plan_begin = std::chrono::steady_clock::now();
        const vexa::engine::ReadAt read = [fd](uint64_t offset, void* buffer, size_t n) {
            return pread(fd, buffer, n, static_cast<off_t>(offset)) == static_cast<ssize_t>(n);
        };
        const bool planned =
            vexa::engine::PlanInPlaceFinish(read, static_cast<uint64_t>(before.st_size)).ok();
        const double plan_ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - plan_begin).count();
        if (fd >= 0) close(fd);
        const auto begin = std::chrono::steady_clock::now();
        const vexa::Error e = vexa::engine::FinishInPlace(argv[i]);
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count();
        struct stat after {};
        (void)stat(argv[i], &after);
        if (!e.ok()) {
            std::fprintf(stderr, "finish_timer: %s\n", e.message().c_str());
            status = 1;
            continue;
        }
        std::printf(
            "%s: %.1f MB, index %lld bytes, finished in place in %.1f ms (reading and indexing %.1f ms%s)\n",
            argv[i], static_cast<double>(before.st_size) / 1e6,
            static_cast<long long>(after.st_size - before.st_size), ms, plan_ms, planned ? "" : ", refused");
    }
    return status;
}
