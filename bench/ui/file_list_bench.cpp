// The recordings list with 2,000 recordings in its folder, in an offscreen window:
//  - Reload plus the first layout and paint, as the user sees it (target: 1 s). Durations are read
//    lazily, for the rows in view only; BM_ReadEveryDuration shows what reading them all would add;
//  - one watcher record (a file being written grows) applied to the full list;
//  - reading the duration of a one-hour recording with every packet in its header;
//  - the process's CPU time while the watched folder is quiet (target: nothing measurable).
#include <benchmark/benchmark.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "tests/support/temp_folder.h"
#include "tests/ui/file_list_harness.h"
#include "tests/ui/sparse_recording.h"
#include "ui/recording_duration.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr int kRecordings = 2000;

vexa::test::TempFolder* folder = nullptr;
std::string recordings;  // the folder of 2,000 recordings
std::string one_hour;    // a dense one-hour recording

// Recordings 97 minutes apart, of 1 s to 2 h, and a few other files.
void MakeFolder() {
    recordings = folder->File("Miravo文件");
    fs::create_directories(recordings);
    const std::chrono::sys_seconds first = std::chrono::sys_days(std::chrono::year(2024) / 1 / 1);
    for (int i = 0; i < kRecordings; ++i) {
        const std::time_t when = std::chrono::system_clock::to_time_t(first + std::chrono::minutes(97 * i));
        std::tm t{};
        gmtime_r(&when, &t);
        char name[40];
        std::strftime(name, sizeof name, i % 2 ? "%Y%m%d_%H%M%S.mp4" : "%Y%m%d_%H%M%S.m4a", &t);
        vexa::test::WriteSparseRecording(recordings + "/" + name, std::chrono::seconds(1 + i * 37 % 7200));
    }
    for (const char* other : {"notes.txt", "cover.png", "20240101_000000.part"})
        vexa::test::WriteFile(recordings + "/" + other, "x");
    one_hour = folder->File("one_hour.mp4");
    vexa::test::WriteDenseRecording(one_hour, 3600s);
}

void BM_ReloadAndShow2000(benchmark::State& state) {
    vexa::test::FileListUnderTest list(recordings);
    list.List().ChangeFolder(recordings);
    for (auto _ : state) {
        list.List().Reload();
        list.Render();
    }
    state.counters["rows"] = list.List().count();
}
BENCHMARK(BM_ReloadAndShow2000)->Unit(benchmark::kMillisecond);

void BM_ReadEveryDuration(benchmark::State& state) {
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(recordings)) {
        if (vexa::ui::ParseRecordingName(entry.path().filename().string()))
            files.push_back(entry.path().string());
    }
    for (auto _ : state) {
        for (const std::string& file : files)
            benchmark::DoNotOptimize(vexa::ui::ReadRecordingDuration(file).ok());
    }
}
BENCHMARK(BM_ReadEveryDuration)->Unit(benchmark::kMillisecond);

void BM_GrowingFileOnFullList(benchmark::State& state) {
    vexa::test::FileListUnderTest list(recordings);
    list.List().ChangeFolder(recordings);
    list.Render();
    const std::string path = list.List().Row(0)->Path();
    const size_t name_offset = recordings.size() + 1;
    const auto recorded = vexa::ui::ParseRecordingName(path.substr(name_offset));
    uint64_t size = 1000;
    for (auto _ : state) list.List().AddOrUpdateRow(path, name_offset, *recorded, true, size += 4096);
}
BENCHMARK(BM_GrowingFileOnFullList)->Unit(benchmark::kMicrosecond);

void BM_DurationOfOneHourRecording(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(vexa::ui::ReadRecordingDuration(one_hour).ok());
}
BENCHMARK(BM_DurationOfOneHourRecording)->Unit(benchmark::kMillisecond);

double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Nanoseconds the watcher thread ("folder-watcher") has run, from the scheduler's statistics; -1
// when there is no such thread.
double WatcherRunNanoseconds() {
    for (const auto& task : fs::directory_iterator("/proc/self/task")) {
        if (vexa::test::ReadFile(task.path() / "comm") != "folder-watcher\n") continue;
        double run = -1;
        if (std::FILE* stat = std::fopen((task.path() / "schedstat").c_str(), "r")) {
            if (std::fscanf(stat, "%lf", &run) != 1) run = -1;
            std::fclose(stat);
        }
        return run;
    }
    return -1;
}

// The main thread sleeps while the folder is quiet: the watcher thread's run time, and the whole
// process's CPU time (Qt's and the benchmark's own included) per second.
void BM_QuietWatcherCpu(benchmark::State& state) {
    vexa::test::FileListUnderTest list(recordings);
    list.List().ChangeFolder(recordings);
    std::this_thread::sleep_for(100ms);
    if (!list.List().Watching() || WatcherRunNanoseconds() < 0) state.SkipWithError("not watching");
    double process = 0, watcher = 0;
    for (auto _ : state) {
        const double process_before = ProcessCpuSeconds();
        const double watcher_before = WatcherRunNanoseconds();
        std::this_thread::sleep_for(1s);
        process += ProcessCpuSeconds() - process_before;
        watcher += WatcherRunNanoseconds() - watcher_before;
    }
    const auto seconds = static_cast<double>(state.iterations());
    state.counters["process_cpu_us_per_s"] = process * 1e6 / seconds;
    state.counters["watcher_run_ns_per_s"] = watcher / seconds;
}
BENCHMARK(BM_QuietWatcherCpu)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    auto app = vexa::test::StartOffscreenUi("bench_file_list");
    vexa::test::TempFolder temp;
    folder = &temp;
    MakeFolder();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
