// A worker's call runs on the main thread, both from the event loop and from a shutdown wait.
#include "core/Synchronize.h"
#include "core/Messages.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <atomic>
#include <gtest/gtest.h>
#include <set>
#include <thread>
#include <vector>

namespace nimbora {
namespace {

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "test_app";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

// Receives the pending-call event and the posted messages, like the main window does.
class TReceiver : public QObject {
public:
    TSynchronizer Sync{this};
    std::vector<int> Messages;

protected:
    bool event(QEvent* e) override {
        if (e->type() == TSynchronizer::EventType) {
            Sync.RunPending();
            return true;
        }
        if (IsMessageEvent(e)) {
            Messages.push_back(static_cast<TMessageEvent*>(e)->Message);
            return true;
        }
        return QObject::event(e);
    }
};

TEST(Synchronize, CallRunsOnMainThreadFromTheEventLoop) {
    App();
    TReceiver receiver;
    const auto mainId = std::this_thread::get_id();
    std::thread::id ranOn;
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        receiver.Sync.Synchronize([&] { ranOn = std::this_thread::get_id(); });
        finished = true;
    });
    QElapsedTimer clock;
    clock.start();
    while (!finished && clock.elapsed() < 5000)
        QCoreApplication::processEvents();
    worker.join();
    EXPECT_TRUE(finished);
    EXPECT_EQ(ranOn, mainId);
}

TEST(Synchronize, ShutdownWaitRunsThePendingCallInsteadOfDeadlocking) {
    App();
    TReceiver receiver;
    std::atomic<bool> finished{false};
    int calls = 0;
    std::thread worker([&] {
        for (int i = 0; i < 3; ++i)
            receiver.Sync.Synchronize([&] { ++calls; });
        finished = true;
    });
    // No event processing here: only the wait loop can run the calls.
    receiver.Sync.WaitUntil([&] { return finished.load(); });
    worker.join();
    EXPECT_EQ(calls, 3);
    // The posted wake-up events find nothing left to run.
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 3);
}

TEST(Messages, ArePostedInOrderFromAnyThread) {
    App();
    TReceiver receiver;
    PostMessage(&receiver, UM_STARTUP);
    std::thread worker([&] {
        PostMessage(&receiver, UM_PROGRESS, 100, LpProgressLength);
        PostMessage(&receiver, UM_CATALOGUE, WpCatalogueOk);
    });
    worker.join();
    PostMessage(&receiver, UM_SHOWCLOUDS);
    QCoreApplication::processEvents();
    EXPECT_EQ(receiver.Messages,
              (std::vector<int>{UM_STARTUP, UM_PROGRESS, UM_CATALOGUE, UM_SHOWCLOUDS}));
}

TEST(Messages, EventTypesAreRegisteredAndDistinct) {
    const std::set<int> types{TMessageEvent::EventType, TCallEvent::EventType,
                              TSynchronizer::EventType};
    EXPECT_EQ(types.size(), 3u);
    EXPECT_GT(*types.begin(), QEvent::User);
    EXPECT_LE(*types.rbegin(), QEvent::MaxUser);
}

} // namespace
} // namespace nimbora
