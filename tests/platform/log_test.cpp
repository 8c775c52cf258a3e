// The shared error type and the rotating log file.
#include "platform/log/log.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/regular_file.h"
#include "tests/support/temp_folder.h"

namespace vexa::log {
namespace {

std::vector<std::string> Lines(const std::string& file) {
    std::vector<std::string> lines;
    std::istringstream in(test::ReadFile(file));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST(ErrorTest, ErrnoFailuresNameTheThingAndTheSystemsReasonWithAFittingCode) {
    const Error denied = Error::FromErrno(EACCES, "cannot create folder /a/b");
    EXPECT_EQ(denied.message(), "cannot create folder /a/b: Permission denied");
    EXPECT_EQ(denied.code(), ErrorCode::kPermission);
    EXPECT_EQ(denied.native_code(), static_cast<uint32_t>(EACCES));
    EXPECT_EQ(Error::FromErrno(ENOSPC, "w").code(), ErrorCode::kNoSpace);
    EXPECT_EQ(Error::FromErrno(EBUSY, "w").code(), ErrorCode::kBusy);
    EXPECT_EQ(Error::FromErrno(0, "w").code(), ErrorCode::kInternal);  // never a success

    const Error outer = denied.Within("preparing the recording");
    EXPECT_EQ(outer.message(), "preparing the recording: cannot create folder /a/b: Permission denied");
    EXPECT_EQ(outer.code(), ErrorCode::kPermission);
    EXPECT_TRUE(Error{}.Within("context").ok());
    EXPECT_EQ(Error{}.Within("context").message(), "");

    Result<int> failed = Error(ErrorCode::kBusy, "microphone 'x' is busy", 0x00040268);
    EXPECT_FALSE(failed.ok());
    EXPECT_EQ(failed.error().native_code(), 0x00040268u);
    Result<int> fine = 7;
    EXPECT_TRUE(fine.ok());
    EXPECT_EQ(*fine, 7);
    EXPECT_TRUE(fine.error().ok());
}

TEST(LogTest, ALineCarriesTimeThreadLevelAndAMessageKeptOnOneLine) {
    const auto when = std::chrono::system_clock::from_time_t(0) + std::chrono::milliseconds(42);
    const std::string line = FormatLine(Level::kError, "a\nb", when, 77, "rec");
    EXPECT_NE(line.find(".042 [77 rec] ERROR a b"), std::string::npos) << line;
    EXPECT_EQ(line.find('\n'), std::string::npos);
    EXPECT_EQ(FormatLine(Level::kInfo, "m", when, 5, "").substr(23), " [5] INFO m");
}

TEST(LogTest, TheFileRotatesAtItsLimitAndKeepsThreeFilesOfWholeLines) {
    test::TempFolder folder;
    const std::string path = folder.File("state/Vexa/app.log");
    auto sink = RotatingFileSink::Open(path, 1000, 3);
    ASSERT_TRUE(sink.ok()) << sink.error().message();
    const std::string payload(90, 'x');  // 100 bytes with the number and line end
    for (int i = 0; i < 45; ++i) (*sink)->Write(std::to_string(1000 + i) + payload.substr(4) + "abcde");
    EXPECT_TRUE(std::filesystem::exists(path + ".1"));
    EXPECT_TRUE(std::filesystem::exists(path + ".2"));
    EXPECT_FALSE(std::filesystem::exists(path + ".3"));
    int total = 0;
    for (const std::string& file : {path, path + ".1", path + ".2"}) {
        EXPECT_LE(std::filesystem::file_size(file), 1000u);
        for (const std::string& line : Lines(file)) {
            EXPECT_EQ(line.size(), 95u);
            ++total;
        }
    }
    EXPECT_EQ(total, 25);  // 10 + 10 + the newest 5
    EXPECT_EQ(Lines(path).back().substr(0, 4), "1044");
    EXPECT_EQ(Lines(path + ".2").front().substr(0, 4), "1020");
}

TEST(LogTest, TwoWritersOfOnePathFollowEachOthersRotation) {
    test::TempFolder folder;
    const std::string path = folder.File("shared.log");
    auto first = RotatingFileSink::Open(path, 400, 2);
    auto second = RotatingFileSink::Open(path, 400, 2);
    ASSERT_TRUE(first.ok() && second.ok());
    std::thread a([&] {
        for (int i = 0; i < 200; ++i) (*first)->Write(std::string(39, 'a'));
    });
    std::thread b([&] {
        for (int i = 0; i < 200; ++i) (*second)->Write(std::string(39, 'b'));
    });
    a.join();
    b.join();
    (*first)->Write("last");
    EXPECT_EQ(Lines(path).back(), "last");  // the rotated-away file was left for the name
    for (const std::string& file : {path, path + ".1"})
        for (const std::string& line : Lines(file)) EXPECT_TRUE(line == "last" || line.size() == 39u) << line;
}

TEST(LogTest, ALinkInPlaceOfTheLogIsRefusedAndNoSinkDropsLines) {
    test::TempFolder folder;
    test::WriteFile(folder.File("target"), "");
    ASSERT_EQ(symlink(folder.File("target").c_str(), folder.File("app.log").c_str()), 0);
    auto sink = RotatingFileSink::Open(folder.File("app.log"));
    ASSERT_FALSE(sink.ok());
    EXPECT_NE(sink.error().message().find("cannot open log"), std::string::npos);
    EXPECT_FALSE(RotatingFileSink::Open("relative.log").ok());

    SetSink(nullptr);
    Write(Level::kError, "dropped");  // must not crash
}

// A FIFO in the place of a file the program keeps for itself (nobody on its other end) is refused at
// once, whichever way it is opened: as the log, for reading, for reading and writing.
TEST(LogTest, AFifoInPlaceOfTheLogOrAnyOwnFileIsRefusedWithoutBlocking) {
    test::TempFolder folder;
    const std::string fifo = folder.File("fifo");
    const std::function<Error()> openers[] = {
        [&] { return RotatingFileSink::Open(fifo).error(); },
        [&] { return platform::OpenRegularFile(fifo, O_RDONLY).error(); },
        [&] { return platform::OpenRegularFile(fifo, O_RDWR | O_CREAT).error(); }};
    for (const auto& open : openers) {
        std::filesystem::remove(fifo);
        Error refused;
        EXPECT_TRUE(test::ReturnsWithoutBlockingOnFifo(fifo, [&] { refused = open(); }));
        EXPECT_EQ(refused.message(), fifo + " is not a regular file");
    }
}

TEST(LogTest, TheDefaultPathFollowsXdgStateHomeElseTheHomeFolder) {
    const char* saved_state = std::getenv("XDG_STATE_HOME");
    const std::string keep_state = saved_state ? saved_state : "";
    setenv("XDG_STATE_HOME", "/s/", 1);
    EXPECT_EQ(DefaultLogPath(), "/s/Vexa/VexaRecorder/VexaRecorder.log");
    setenv("XDG_STATE_HOME", "relative", 1);  // not absolute: ignored
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    if (!home.empty()) {
        EXPECT_EQ(DefaultLogPath(), home + "/.local/state/Vexa/VexaRecorder/VexaRecorder.log");
    }
    if (saved_state) {
        setenv("XDG_STATE_HOME", keep_state.c_str(), 1);
    } else {
        unsetenv("XDG_STATE_HOME");
    }
}

TEST(LogTest, FailuresReachTheSinkWithContextAndCodeAndSuccessIsSilent) {
    test::TempFolder folder;
    auto sink = RotatingFileSink::Open(folder.File("f.log"));
    ASSERT_TRUE(sink.ok());
    auto previous = SetSink(*sink);
    Failure(Error::FromErrno(ENOSPC, "cannot write /x.mp4"), "recording");
    Failure(Error{}, "nothing");
    Writef(Level::kInfo, "mode %d file %s", 0, "/x.mp4");
    SetSink(previous);
    const auto lines = Lines(folder.File("f.log"));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("ERROR recording: cannot write /x.mp4: No space left on device (no space)"),
              std::string::npos);
    EXPECT_NE(lines[1].find("INFO mode 0 file /x.mp4"), std::string::npos);
}

}  // namespace
}  // namespace vexa::log
