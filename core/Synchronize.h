#pragma once
// Running a worker's call on the main thread and waiting for it to finish.
//
// The worker puts the call into a pending slot and posts an event to the window; the main thread
// runs it from that event. While the main thread itself waits for a worker to end (at shutdown),
// it runs the pending call directly from its wait loop, so the two never wait for each other.
#include <QEvent>
#include <QObject>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace nimbora {

class TSynchronizer {
public:
    static inline const QEvent::Type EventType =
        static_cast<QEvent::Type>(QEvent::registerEventType());

    // target receives an event of EventType whenever a call is pending; its handler calls
    // RunPending().
    explicit TSynchronizer(QObject* target) : Target(target) {}

    // Worker side: runs call on the main thread and returns when it has run. Calls from several
    // workers take turns.
    void Synchronize(const std::function<void()>& call);

    // Main thread: runs the pending call, if any. Returns true when one ran.
    bool RunPending();

    // Main thread: waits until finished() is true, running pending calls meanwhile.
    void WaitUntil(const std::function<bool()>& finished);

private:
    QObject* Target;
    std::mutex Mutex;
    std::condition_variable Changed;
    std::function<void()> Pending;
    bool Busy = false;      // a worker's call is in the slot or running
    unsigned long Done = 0; // calls completed, so a worker knows its own has run
};

} // namespace nimbora
