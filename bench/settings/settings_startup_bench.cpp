// What the pages pay at start-up: open the store and read every value of the catalogue once, for
// four speakers, four microphones and four cameras, from a store in which every value is set.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>

#include "settings/output_folder.h"
#include "settings/settings_catalog.h"

namespace {

using namespace vexa::settings;

constexpr int kDevices = 4;

// A temporary folder with a store in which every value is set; removed when the program ends.
class FullStore {
  public:
    FullStore() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vexa-bench-XXXXXX").string();
        folder_ = ::mkdtemp(pattern.data());
        path_ = folder_ + "/settings.reg";
        auto key = SettingsKey::Open(path_).value();
        for (const Setting* setting : AllSettings()) {
            for (int position = 0; position < (IsPerDevice(*setting) ? kDevices : 1); ++position) {
                if (setting->kind == ValueKind::kDword)
                    StoreSetting(*key, *setting, DefaultOf(*setting, position), position);
                if (setting->kind == ValueKind::kBinary16)
                    StoreRectSetting(*key, *setting, {10, 10, 330, 250}, position);
                if (setting->kind == ValueKind::kText)
                    static_cast<void>(key->WriteString(setting->name, folder_));
            }
        }
    }
    ~FullStore() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    const std::string& Path() const { return path_; }

  private:
    std::string folder_;
    std::string path_;
};

uint64_t ReadCatalogue(const SettingsKey& key) {
    uint64_t sum = 0;
    for (const Setting* setting : AllSettings()) {
        for (int position = 0; position < (IsPerDevice(*setting) ? kDevices : 1); ++position) {
            if (setting->kind == ValueKind::kDword) sum += ReadSetting(key, *setting, position, kDevices);
            if (setting->kind == ValueKind::kBinary16)
                sum += ReadRectSetting(key, *setting, position).has_value();
            if (setting->kind == ValueKind::kText) sum += StoredOutputFolder(key).has_value();
        }
    }
    return sum;
}

const std::string& StorePath() {
    static const FullStore store;
    return store.Path();
}

// Open and read everything, as the main window's creation does.
void BM_OpenAndReadCatalogue(benchmark::State& state) {
    for (auto _ : state) {
        const auto key = SettingsKey::Open(StorePath()).value();
        benchmark::DoNotOptimize(ReadCatalogue(*key));
    }
}
BENCHMARK(BM_OpenAndReadCatalogue)->Unit(benchmark::kMicrosecond);

// Reads through a key that is already open (each read still checks that the file is unchanged).
void BM_ReadCatalogueOpenKey(benchmark::State& state) {
    const auto key = SettingsKey::Open(StorePath()).value();
    for (auto _ : state) benchmark::DoNotOptimize(ReadCatalogue(*key));
}
BENCHMARK(BM_ReadCatalogueOpenKey)->Unit(benchmark::kMicrosecond);

// One write: an atomic replacement of the whole file under the lock.
void BM_WriteOneValue(benchmark::State& state) {
    const auto key = SettingsKey::Open(StorePath()).value();
    uint32_t value = 1;
    for (auto _ : state)
        benchmark::DoNotOptimize(key->WriteDword("desktop_video_quality", 1 + value++ % 100));
}
BENCHMARK(BM_WriteOneValue)->Unit(benchmark::kMicrosecond)->Iterations(200);

}  // namespace
