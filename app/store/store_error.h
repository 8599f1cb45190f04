// The one error type of the message store.
//
// Error style of the store: an operation that can fail in a way its caller may report throws
// StoreError, whose description names the operation, the path and the system's reason
// ("Cannot open /app/Data/Health.txt for reading: No such file or directory"); the control
// panel shows that description in a message box. Operations whose behaviour is never to
// report a failure (counting messages, building the run list, reading and saving the options,
// the autostart setting) catch it themselves and say so in their comments. No single file is
// ever left half-written, and operations that change more than one file undo their own steps
// when a later one fails (see catalogue.h).
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kestrane {

class StoreError : public std::runtime_error {
  public:
    explicit StoreError(const std::string& description, std::string reason = {})
        : std::runtime_error(description), reason_(std::move(reason)) {}

    // The text for the message box: bytes, as file names and texts are bytes.
    std::string description() const { return what(); }
    // The system's reason alone ("Permission denied"), when a file step failed.
    const std::string& reason() const { return reason_; }

  private:
    std::string reason_;
};

// The description of a failed file step: "<what> <path>: <reason>".
inline std::string DescribeFileStep(std::string_view what, const std::filesystem::path& path,
                                    std::string_view reason) {
    std::string d(what);
    d += ' ';
    d += path.string();
    d += ": ";
    d += reason;
    return d;
}

// Throws the StoreError of a failed file step.
[[noreturn]] inline void FailFileStep(std::string_view what, const std::filesystem::path& path,
                                      const std::string& reason) {
    throw StoreError(DescribeFileStep(what, path, reason), reason);
}

}  // namespace kestrane
