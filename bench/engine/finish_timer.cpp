// Times the in-place finish of fragmented MP4 files named on the command line (each is finished:
// pass copies). Prints one line per file: its size, the samples indexed, the index's size and the
// time the finish took.
#include <sys/stat.h>

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
        std::printf("%s: %.1f MB, index %lld bytes, finished in place in %.1f ms\n", argv[i],
                    static_cast<double>(before.st_size) / 1e6,
                    static_cast<long long>(after.st_size - before.st_size), ms);
    }
    return status;
}
