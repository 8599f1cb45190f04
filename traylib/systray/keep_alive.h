#pragma once

#include "traylib/quorvil.h"

namespace quorvil {

// Keeps the object alive while it raises events: a client may release its last reference
// from inside a handler.
class KeepAlive {
  public:
    explicit KeepAlive(IUnknown* object) : object_(object) { object_->AddRef(); }
    ~KeepAlive() { object_->Release(); }
    KeepAlive(const KeepAlive&) = delete;
    KeepAlive& operator=(const KeepAlive&) = delete;

  private:
    IUnknown* object_;
};

}  // namespace quorvil
