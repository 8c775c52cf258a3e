// The one error type of every layer (platform, engine, net, app, the windows). An Error is a code
// that callers may branch on, a message for people that names what failed and the system's reason
// ("cannot create folder /a/b: Permission denied"), and, where a window shows a number, the native
// code it shows (the camera window's 0x00040268). A default Error is success.
//
// Result<T> carries a value or an Error. Both are plain values: copy them across threads freely.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>

namespace vexa {

enum class ErrorCode : uint8_t {
    kOk = 0,
    kInvalidArgument,  // the caller's input is unusable
    kNotFound,         // a file, device or window that is not there
    kBusy,             // a device used by someone else
    kPermission,       // the system refused access
    kNoSpace,          // the disk (or quota) is full
    kIo,               // a read or write failed
    kUnavailable,      // a service is not reachable (X display, sound server, portal)
    kUnsupported,      // no format, encoder or method fits
    kTimeout,
    kCancelled,  // the user or a stop request ended it
    kProtocol,   // a peer's reply is malformed or not trusted
    kInternal,   // a library call failed for a reason of its own
};

// A short name for logs and tests ("busy", "no space").
[[nodiscard]] const char* ErrorCodeName(ErrorCode code);

class [[nodiscard]] Error {
  public:
    Error() = default;  // success
    Error(ErrorCode code, std::string message, uint32_t native_code = 0)
        : code_(code), native_code_(native_code), message_(std::move(message)) {}

    // "<what>: <strerror(err)>" with the code that fits the errno value.
    [[nodiscard]] static Error FromErrno(int err, const std::string& what);
    [[nodiscard]] static ErrorCode CodeForErrno(int err);

    [[nodiscard]] bool ok() const { return code_ == ErrorCode::kOk; }
    [[nodiscard]] ErrorCode code() const { return code_; }
    [[nodiscard]] uint32_t native_code() const { return native_code_; }
    [[nodiscard]] const std::string& message() const { return message_; }

    // The same failure seen from a caller: "<context>: <message>", code kept.
    [[nodiscard]] Error Within(const std::string& context) const;

    friend bool operator==(const Error& a, const Error& b) {
        return a.code_ == b.code_ && a.native_code_ == b.native_code_ && a.message_ == b.message_;
    }

  private:
    ErrorCode code_ = ErrorCode::kOk;
    uint32_t native_code_ = 0;
    std::string message_;
};

template <typename T>
class [[nodiscard]] Result {
  public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}      // NOLINT: implicit on purpose
    Result(Error error) : state_(std::in_place_index<1>, std::move(error)) {}  // NOLINT

    [[nodiscard]] bool ok() const { return state_.index() == 0; }
    [[nodiscard]] T& value() & { return std::get<0>(state_); }
    [[nodiscard]] const T& value() const& { return std::get<0>(state_); }
    [[nodiscard]] T&& value() && { return std::get<0>(std::move(state_)); }
    [[nodiscard]] T& operator*() & { return value(); }
    [[nodiscard]] const T& operator*() const& { return value(); }
    [[nodiscard]] T* operator->() { return &value(); }
    [[nodiscard]] const T* operator->() const { return &value(); }
    // The failure; a success reads as a default (ok) Error.
    [[nodiscard]] Error error() const { return ok() ? Error{} : std::get<1>(state_); }

  private:
    std::variant<T, Error> state_;
};

}  // namespace vexa
