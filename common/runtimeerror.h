#pragma once
// The one exception type for faults that end the program: overflow, an invalid
// argument, a type mismatch, a file that cannot be created or written, an object
// that cannot be created. Each program catches it at start-up and at the top of
// every user action, shows a stop-icon message and ends with a non-zero status.
#include <stdexcept>
#include <string>

namespace kov {

enum class RuntimeErrorKind {
    Overflow,         // 16-bit or fixed-point range exceeded
    InvalidArgument,  // a call with an argument outside what it accepts
    TypeMismatch,     // a text that is not a number, a value of the wrong kind
    FileError,        // a file that cannot be created, written or read
    ObjectCreation,   // a component that nothing answers to
    Conversion,       // a character that the Japanese code page cannot hold
};

class RuntimeError : public std::runtime_error {
public:
    RuntimeError(RuntimeErrorKind kind, const std::string& detail);

    RuntimeErrorKind kind() const noexcept { return m_kind; }
    // The detail given where the error was raised (may be empty).
    const std::string& detail() const noexcept { return m_detail; }
    // The Japanese text shown to the user: the kind's text, then the detail on a new line.
    std::string userMessage() const;

    static const char* kindText(RuntimeErrorKind kind);

private:
    RuntimeErrorKind m_kind;
    std::string m_detail;
};

[[noreturn]] void throwOverflow(const std::string& detail = {});
[[noreturn]] void throwInvalidArgument(const std::string& detail = {});
[[noreturn]] void throwTypeMismatch(const std::string& detail = {});
[[noreturn]] void throwFileError(const std::string& detail = {});

} // namespace kov
