// A step that runs exactly once: when asked to, or else when its holder goes out of scope, so
// that every way out of a function runs it.
#pragma once

#include <functional>
#include <utility>

namespace platform::layered {

// A step run once: when asked, or else when it goes out of scope.
class OnceStep {
  public:
    explicit OnceStep(std::function<void()> step) : step_(std::move(step)) {}
    ~OnceStep() { Run(); }
    OnceStep(const OnceStep&) = delete;
    OnceStep& operator=(const OnceStep&) = delete;
    void Run() {
        if (auto step = std::exchange(step_, nullptr)) {
            step();
        }
    }

  private:
    std::function<void()> step_;
};

}  // namespace platform::layered
