#include "app/crash_filter.h"

#include <execinfo.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>

namespace vexa::app {
namespace {

// Set once at start-up, read by the handlers.
timespec crash_delay{};
int report_fd = -1;
char report_path[PATH_MAX] = {};
long utc_offset_seconds = 0;
// The first crash writes the report; a second thread crashing meanwhile only waits.
std::atomic<bool> reported{false};

constexpr int kMaxFrames = 64;

// A line built in a fixed buffer, without allocation (async-signal-safe); cut at its capacity.
class Text {
  public:
    void Add(const char* s) {
        while (*s) Push(*s++);
    }
    void Add(const char* s, size_t n) {
        for (size_t i = 0; i < n; ++i) Push(s[i]);
    }
    void Decimal(unsigned long long value) {
        char digits[24];
        int n = 0;
        do {
            digits[n++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0);
        while (n > 0) Push(digits[--n]);
    }
    void Hex(uintptr_t value) {
        Add("0x");
        char digits[2 * sizeof value];
        int n = 0;
        do {
            digits[n++] = "0123456789abcdef"[value & 15];
            value >>= 4;
        } while (value != 0);
        while (n > 0) Push(digits[--n]);
    }
    // Ends the text with a line end, in place of its last character when it is full.
    void EndLine() {
        if (size_ == sizeof text_) --size_;
        text_[size_++] = '\n';
    }
    [[nodiscard]] const char* data() const { return text_; }
    [[nodiscard]] size_t size() const { return size_; }

  private:
    void Push(char c) {
        if (size_ < sizeof text_) text_[size_++] = c;
    }
    char text_[1024];
    size_t size_ = 0;
};

void WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        data += n;
        size -= static_cast<size_t>(n);
    }
}

// The log opened at start-up, or the file now under its name when the log has rotated since.
int ReportFd() {
    if (report_fd < 0) return STDERR_FILENO;
    struct stat ours {
    }, named{};
    if (fstat(report_fd, &ours) == 0 && stat(report_path, &named) == 0 && ours.st_dev == named.st_dev &&
        ours.st_ino == named.st_ino)
        return report_fd;
    const int fresh = open(report_path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    return fresh >= 0 ? fresh : report_fd;
}

const char* SignalName(int signal) {
    switch (signal) {
        case SIGSEGV:
            return "SIGSEGV (invalid memory access)";
        case SIGBUS:
            return "SIGBUS (bus error)";
        case SIGILL:
            return "SIGILL (illegal instruction)";
        case SIGFPE:
            return "SIGFPE (arithmetic fault)";
        case SIGABRT:
            return "SIGABRT (abort)";
        default:
            return "a fatal signal";
    }
}

// "<stamp> [<tid> <name>] ERROR ", as the log writes its lines.
void AddLinePrefix(Text& line, long tid, const char* thread_name) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    char stamp[32];
    line.Add(stamp, FormatCrashStamp(stamp, sizeof stamp, now, utc_offset_seconds));
    line.Add(" [");
    line.Decimal(static_cast<unsigned long long>(tid));
    if (thread_name[0]) {
        line.Add(" ");
        line.Add(thread_name);
    }
    line.Add("] ERROR ");
}

// The report: "crash: <cause> in thread <tid> (<name>); backtrace:" in the log's form, then the frames.
void Report(const Text& cause) {
    const long tid = syscall(SYS_gettid);
    char thread_name[17] = {};
    (void)prctl(PR_GET_NAME, thread_name);
    Text line;
    AddLinePrefix(line, tid, thread_name);
    line.Add("crash: ");
    line.Add(cause.data(), cause.size());
    line.Add(" in thread ");
    line.Decimal(static_cast<unsigned long long>(tid));
    if (thread_name[0]) {
        line.Add(" (");
        line.Add(thread_name);
        line.Add(")");
    }
    line.Add("; backtrace:");
    line.EndLine();
    const int fd = ReportFd();
    WriteAll(fd, line.data(), line.size());
    void* frames[kMaxFrames];
    backtrace_symbols_fd(frames, backtrace(frames, kMaxFrames), fd);
}

// Only async-signal-safe calls: a fixed line to standard error, a sleep, _exit.
[[noreturn]] void EndAfterDelay() {
    static const char kLine[] = "VexaRecorder: crashed; ending in a few seconds\n";
    WriteAll(STDERR_FILENO, kLine, sizeof kLine - 1);
    timespec left = crash_delay;
    while (nanosleep(&left, &left) != 0) {
    }
    _exit(kExitCrashed);
}

void OnFatalSignal(int signal, siginfo_t* info, void* /*context*/) {
    if (!reported.exchange(true)) {
        Text cause;
        cause.Add(SignalName(signal));
        if (info && info->si_code > 0) {  // raised by the fault itself
            cause.Add(" at address ");
            cause.Hex(reinterpret_cast<uintptr_t>(info->si_addr));
        } else if (info) {
            cause.Add(" sent by process ");
            cause.Decimal(static_cast<unsigned long long>(info->si_pid));
        }
        Report(cause);
    }
    EndAfterDelay();
}

// Not a signal handler: allocating is allowed here.
std::string UncaughtText() {
    const std::exception_ptr current = std::current_exception();
    if (!current) return "terminated without an exception";
    try {
        std::rethrow_exception(current);
    } catch (const std::exception& e) {
        return std::string("uncaught exception \"") + e.what() + "\"";
    } catch (...) {
        return "uncaught exception of a type not derived from std::exception";
    }
}

[[noreturn]] void OnTerminate() {
    if (!reported.exchange(true)) {
        const std::string text = UncaughtText();
        Text cause;
        cause.Add(text.data(), text.size());
        Report(cause);
    }
    EndAfterDelay();
}

// An alternate stack is per thread: the user-interface thread gets one, so that even its stack
// overflow reaches the handler. Other threads' faults reach it on their own stacks.
void InstallAlternateStack() {
    constexpr size_t kSize = 1 << 16;
    static std::unique_ptr<char[]> stack(new char[kSize]);
    stack_t alternate{};
    alternate.ss_sp = stack.get();
    alternate.ss_size = kSize;
    sigaltstack(&alternate, nullptr);
}

}  // namespace

size_t FormatCrashStamp(char* out, size_t size, timespec when, long offset) {
    constexpr long long kDay = 86400;
    const long long seconds = static_cast<long long>(when.tv_sec) + offset;
    long long days = seconds / kDay;
    long long in_day = seconds % kDay;
    if (in_day < 0) {
        in_day += kDay;
        --days;
    }
    // Days since 1970-01-01 to a civil date (proleptic Gregorian), by 400-year eras from 0000-03-01.
    const long long z = days + 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long day_of_era = z - era * 146097;
    const long long year_of_era =
        (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    const long long day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const long long shifted_month = (5 * day_of_year + 2) / 153;  // 0 is March
    const long long day = day_of_year - (153 * shifted_month + 2) / 5 + 1;
    const long long month = shifted_month < 10 ? shifted_month + 3 : shifted_month - 9;
    const long long year = year_of_era + era * 400 + (month <= 2 ? 1 : 0);

    const long long fields[] = {
        year, month, day, in_day / 3600, in_day / 60 % 60, in_day % 60, when.tv_nsec / 1'000'000};
    constexpr int kWidths[] = {4, 2, 2, 2, 2, 2, 3};
    constexpr char kAfter[] = {'-', '-', ' ', ':', ':', '.', '\0'};
    size_t n = 0;
    for (int f = 0; f < 7; ++f) {
        char digits[24];
        int count = 0;
        for (long long v = fields[f] < 0 ? 0 : fields[f]; v != 0 || count < kWidths[f]; v /= 10)
            digits[count++] = static_cast<char>('0' + v % 10);
        while (count > 0 && n + 1 < size) out[n++] = digits[--count];
        if (kAfter[f] && n + 1 < size) out[n++] = kAfter[f];
    }
    if (size > 0) out[n] = '\0';
    return n;
}

void InstallCrashFilter(std::chrono::milliseconds delay) {
    crash_delay.tv_sec = static_cast<time_t>(delay.count() / 1000);
    crash_delay.tv_nsec = static_cast<long>(delay.count() % 1000) * 1'000'000;
    const time_t now = time(nullptr);
    tm local{};
    if (localtime_r(&now, &local)) utc_offset_seconds = local.tm_gmtoff;
    // backtrace loads its unwinder on first use, which a signal handler must not do.
    void* frame[1];
    (void)backtrace(frame, 1);
    InstallAlternateStack();
    struct sigaction action {};
    action.sa_sigaction = OnFatalSignal;
    action.sa_flags = SA_ONSTACK | SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT}) sigaction(signal, &action, nullptr);
    std::set_terminate(OnTerminate);
}

Error ReportCrashesTo(const std::string& path) {
    if (path.size() >= sizeof report_path)
        return Error(ErrorCode::kInvalidArgument, "crash reports: the log path is too long");
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return Error::FromErrno(errno, "crash reports: cannot open " + path);
    if (report_fd >= 0) close(report_fd);
    std::memcpy(report_path, path.c_str(), path.size() + 1);
    report_fd = fd;
    return {};
}

}  // namespace vexa::app
