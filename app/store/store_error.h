// The one error type of the message store.
//
// Error style of the store: an operation that can fail in a way its caller may report throws
// StoreError, whose description names the operation, the path and the system's reason
// ("Cannot open /app/Data/Health.txt for reading: No such file or directory"); the control
// panel shows that description in a message box. Operations whose behaviour is never to
// report a failure (counting messages, building the run list, reading and saving the options,
// the autostart setting) catch it themselves and say so in their comments. Nothing is rolled
// back: steps already done stay done, but no single file is ever left half-written.
#pragma once

#include <stdexcept>
#include <string>

namespace kestrane {

class StoreError : public std::runtime_error {
  public:
    explicit StoreError(const std::string& description) : std::runtime_error(description) {}

    // The text for the message box: bytes, as file names and texts are bytes.
    std::string description() const { return what(); }
};

}  // namespace kestrane
