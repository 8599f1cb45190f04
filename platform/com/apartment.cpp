// Apartments: one queue of posted calls per thread, run when the thread pumps.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

#include "platform/com/com_api.h"

namespace platform::com {

class Apartment {
  public:
    std::mutex mutex;
    std::condition_variable posted;
    std::deque<std::function<void()>> calls;
    bool ended = false;
};

namespace {

// The calling thread's apartment; when the thread ends, calls still waiting are dropped on it
// (their references released there) and later posts are refused.
struct ThreadApartment {
    ApartmentRef apartment = std::make_shared<Apartment>();
    ~ThreadApartment() {
        std::deque<std::function<void()>> left;
        {
            std::lock_guard lock(apartment->mutex);
            apartment->ended = true;
            left.swap(apartment->calls);
        }
    }
};

ThreadApartment& Self() {
    thread_local ThreadApartment self;
    return self;
}

// Runs one call with the lock released. A failing call (a handler that throws) is ignored,
// as the failure of an event sink is.
void RunUnlocked(std::unique_lock<std::mutex>& lock, Apartment& a) {
    std::function<void()> call = std::move(a.calls.front());
    a.calls.pop_front();
    lock.unlock();
    try {
        call();
    } catch (...) {
    }
    call = nullptr;
    lock.lock();
}

}  // namespace

ApartmentRef CurrentApartment() {
    return Self().apartment;
}

bool PostToApartment(const ApartmentRef& apartment, std::function<void()> call) {
    if (!apartment) {
        return false;
    }
    {
        std::lock_guard lock(apartment->mutex);
        if (!apartment->ended) {
            apartment->calls.push_back(std::move(call));
            apartment->posted.notify_all();
            return true;
        }
    }
    call = nullptr;  // released outside the lock: it may post again
    return false;
}

void WakeApartment(const ApartmentRef& apartment) {
    if (apartment) {
        std::lock_guard lock(apartment->mutex);
        apartment->posted.notify_all();
    }
}

void CoWaitForCalls(const std::function<bool()>& done) {
    Apartment& a = *Self().apartment;
    std::unique_lock lock(a.mutex);
    for (;;) {
        if (!a.calls.empty()) {
            RunUnlocked(lock, a);
        } else if (done()) {
            return;
        } else {
            a.posted.wait(lock);
        }
    }
}

ULONG CoPumpCalls(DWORD timeoutMs) {
    Apartment& a = *Self().apartment;
    std::unique_lock lock(a.mutex);
    a.posted.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return !a.calls.empty(); });
    ULONG run = 0;
    while (!a.calls.empty()) {
        RunUnlocked(lock, a);
        ++run;
    }
    return run;
}

}  // namespace platform::com
