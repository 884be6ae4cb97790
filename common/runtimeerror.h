#pragma once
// The exception type for the run-time faults that end the program: overflow, an invalid
// argument, a type mismatch, a file that cannot be created or written, an object
// that cannot be created. Each program catches it at start-up and at the top of
// every user action, shows a stop-icon message and ends with a non-zero status.
#include <stdexcept>
#include <string>
#include <vector>

namespace kov {

enum class RuntimeErrorKind {
    Overflow, // 16-bit or fixed-point range exceeded
    InvalidArgument, // a call with an argument outside what it accepts
    TypeMismatch, // a text that is not a number, a value of the wrong kind
    FileError, // a file that cannot be created, written or read
    ObjectCreation, // a component that nothing answers to
    Conversion, // a character that the Japanese code page cannot hold
};

class RuntimeError : public std::runtime_error {
public:
    RuntimeError(RuntimeErrorKind kind, const std::string& detail);

    RuntimeErrorKind kind() const noexcept { return m_kind; }
    // The detail given where the error was raised (may be empty).
    const std::string& detail() const noexcept { return m_detail; }
    // Where the run was when it failed, added by the callers on the way out, innermost
    // first: the column ("列「KENKO」"), then the record ("SKSYKEI の職員コード「000123」").
    const std::vector<std::string>& context() const noexcept { return m_context; }
    RuntimeError& addContext(std::string where);
    // The Japanese text shown to the user: the kind's text, then the detail and the
    // context ("、" between its parts) each on a new line.
    std::string userMessage() const;

    static const char* kindText(RuntimeErrorKind kind);

private:
    RuntimeErrorKind m_kind;
    std::string m_detail;
    std::vector<std::string> m_context;
};

// Runs f; a RuntimeError raised in it leaves with `where` added to its context.
//   const Currency amount = withErrorContext("職員コード「" + code + "」", [&] { return readAmount(); });
template <class F>
decltype(auto) withErrorContext(const std::string& where, F&& f)
{
    try {
        return f();
    } catch (RuntimeError& e) {
        e.addContext(where);
        throw;
    }
}

[[noreturn]] void throwOverflow(const std::string& detail = {});
[[noreturn]] void throwInvalidArgument(const std::string& detail = {});
[[noreturn]] void throwTypeMismatch(const std::string& detail = {});
[[noreturn]] void throwFileError(const std::string& detail = {});

} // namespace kov
