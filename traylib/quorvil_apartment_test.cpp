// quorvil in a Qt GUI program (the test's QApplication): the objects live on its thread, and a
// sink advised on a worker thread gets every event on that worker.
#include <QCoreApplication>

#include <atomic>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "traylib/quorvil_client.h"

namespace quorvil_test {
namespace {

TEST_F(QuorvilTest, ASinkAdvisedOnAWorkerThreadGetsItsEventsOnThatThread) {
    ComPtr<_SysTray> tray = CreateTray();
    std::mutex mutex;
    std::vector<std::pair<DISPID, std::thread::id>> seen;
    const auto count = [&] {
        std::lock_guard lock(mutex);
        return seen.size();
    };
    std::atomic<int> stage = 0;
    std::thread worker([&] {
        ComPtr<EventSink> sink =
            EventSink::Create(DIID___SysTray, [&](DISPID id, const std::vector<VARIANT*>&) {
                std::lock_guard lock(mutex);
                seen.emplace_back(id, std::this_thread::get_id());
            });
        EXPECT_EQ(sink->Connect(tray.get()), S_OK);
        // Raised on the GUI thread during this call, received here before it returns.
        EXPECT_EQ(tray->SendEvent(513), S_OK);
        EXPECT_EQ(count(), 1u);
        stage = 1;
        // Raised while this thread makes no call: it waits until this thread pumps.
        while (stage != 2) {
            std::this_thread::yield();
        }
        EXPECT_EQ(count(), 1u);
        EXPECT_EQ(CoPumpCalls(5000), 1u);
        EXPECT_EQ(sink->Disconnect(), S_OK);
        stage = 3;
    });
    // The GUI thread runs its event loop while it waits for the worker, whose calls it serves.
    while (stage != 1) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    EXPECT_EQ(tray->SendEvent(516), S_OK);
    stage = 2;
    while (stage != 3) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    const std::thread::id workerId = worker.get_id();
    worker.join();
    EXPECT_EQ(seen, (std::vector<std::pair<DISPID, std::thread::id>>{
                        {DISPID_SysTrayEvents_MouseDown, workerId},
                        {DISPID_SysTrayEvents_MouseDown, workerId}}));
}

}  // namespace
}  // namespace quorvil_test
