// bench_session_cycles: 100 recordings one after another in one process, as the desktop program
// makes them (Prepare, Start, a moment of recording, the stop): screen with sound and sound alone in
// turn, on the real screen and sound server. Prints the threads, open descriptors, resident memory
// and heap in use (small and mapped blocks) after a warm-up of ten cycles and after the last one, which must
// not grow.
//
// Long (a few minutes): it runs only with VEXA_LONG_BENCH=1. CYCLES overrides the count.
// Expects the test environment of tools/with-test-env.sh (a display and the speaker "vexa_speaker").
#include <dirent.h>
#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "engine/recording.h"

extern "C" {
#include <libavutil/log.h>
}

namespace {

using vexa::engine::RecordingMode;

int CountEntries(const char* folder) {
    int n = 0;
    if (DIR* dir = opendir(folder)) {
        while (const dirent* e = readdir(dir)) n += e->d_name[0] != '.';
        closedir(dir);
    }
    return n;
}

long ResidentKb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

struct Sample {
    int threads = 0;
    int fds = 0;
    long rss_kb = 0;
    double heap_mb = 0;
};

Sample Measure() {
    return {CountEntries("/proc/self/task"), CountEntries("/proc/self/fd"), ResidentKb(),
            static_cast<double>(mallinfo2().uordblks + mallinfo2().hblkhd) / (1024.0 * 1024.0)};
}

void Print(const char* when, const Sample& s) {
    std::printf("%-22s threads %3d  descriptors %3d  resident %7.1f MB  heap in use %7.1f MB\n", when,
                s.threads, s.fds, static_cast<double>(s.rss_kb) / 1024.0, s.heap_mb);
}

// One recording of about a second; false (with the reason printed) when it cannot be made.
bool OneRecording(int cycle, const std::string& folder) {
    static const int kRow = 0;
    vexa::engine::RecordingRequest request;
    request.mode = cycle % 2 ? RecordingMode::kSoundOnly : RecordingMode::kScreen;
    request.output_dir = folder;
    request.frame_rate_text = "30";
    request.region = vexa::engine::RegionRect{0, 0, 639, 479};
    request.sound_sources = {vexa::engine::SoundSourceEntry{0, 100, "vexa_speaker", &kRow}};
    vexa::engine::SessionSlot slot;
    vexa::Result<std::string> path = vexa::engine::Prepare(request, slot);
    if (!path.ok()) {
        std::printf("cycle %d: %s\n", cycle, path.error().message().c_str());
        return false;
    }
    if (vexa::Error e = vexa::engine::Start(slot); !e.ok()) {
        std::printf("cycle %d: %s\n", cycle, e.message().c_str());
        return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    slot.Take().reset();
    std::filesystem::remove(*path);
    return true;
}

}  // namespace

int main() {
    if (const char* on = std::getenv("VEXA_LONG_BENCH"); !on || std::string(on) != "1") {
        std::printf("session cycles: skipped (a few minutes long; set VEXA_LONG_BENCH=1 to run it)\n");
        return 0;
    }
    av_log_set_level(AV_LOG_FATAL);
    // One heap for every thread, so that the heap in use counts all of it.
    mallopt(M_ARENA_MAX, 1);
    const int cycles = std::getenv("CYCLES") ? std::atoi(std::getenv("CYCLES")) : 100;
    const std::string folder =
        std::filesystem::temp_directory_path() / ("vexa-cycles-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const Sample before = Measure();
    Print("before the first", before);
    Sample warm{};
    const auto begin = std::chrono::steady_clock::now();
    for (int cycle = 1; cycle <= cycles; ++cycle) {
        if (!OneRecording(cycle, folder)) return 1;
        if (cycle == 10) Print("after 10 (warm-up)", warm = Measure());
    }
    const Sample after = Measure();
    char label[48];
    std::snprintf(label, sizeof label, "after %d", cycles);
    Print(label, after);
    std::printf(
        "growth after the warm-up: threads %+d, descriptors %+d, resident %+.1f MB, heap %+.2f MB; "
        "%.1f s per cycle\n",
        after.threads - warm.threads, after.fds - warm.fds,
        static_cast<double>(after.rss_kb - warm.rss_kb) / 1024.0, after.heap_mb - warm.heap_mb,
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count() / cycles);
    std::filesystem::remove_all(folder);
    return after.threads == before.threads && after.fds == before.fds ? 0 : 1;
}
