#include "tests/support/temp_folder.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <future>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace vexa::test {

TempFolder::TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vexa-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed for " + pattern);
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> TempFolder::Files() const {
    std::vector<std::string> out;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(path_, ec)) out.push_back(e.path().string());
    std::sort(out.begin(), out.end());
    return out;
}

void WriteFile(const std::filesystem::path& file, const std::string& text, bool executable) {
    if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
    if (executable) {
        std::filesystem::permissions(file, std::filesystem::perms::owner_all |
                                               std::filesystem::perms::group_read |
                                               std::filesystem::perms::group_exec);
    }
}

std::string ReadFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool WaitForFile(const std::filesystem::path& file, int seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!std::filesystem::exists(file)) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

bool ReturnsWithoutBlockingOnFifo(const std::filesystem::path& fifo, const std::function<void()>& call,
                                  int seconds) {
    if (mkfifo(fifo.c_str(), 0600) != 0) throw std::runtime_error("cannot make a FIFO at " + fifo.string());
    std::future<void> done = std::async(std::launch::async, call);
    if (done.wait_for(std::chrono::seconds(seconds)) == std::future_status::ready) return true;
    // A peer on the other end ends a blocked open; closing it ends a blocked read.
    const int peer = open(fifo.c_str(), O_RDWR | O_NONBLOCK);
    if (peer >= 0) close(peer);
    done.wait();
    return false;
}

}  // namespace vexa::test
