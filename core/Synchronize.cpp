#include "core/Synchronize.h"

#include <QCoreApplication>
#include <chrono>

namespace nimbora {

void TSynchronizer::Synchronize(const std::function<void()>& call) {
    std::unique_lock lock(Mutex);
    Changed.wait(lock, [this] { return !Busy; });
    Busy = true;
    Pending = call;
    const unsigned long ticket = Done + 1;
    QCoreApplication::postEvent(Target, new QEvent(EventType));
    Changed.notify_all();
    Changed.wait(lock, [this, ticket] { return Done >= ticket; });
}

bool TSynchronizer::RunPending() {
    std::function<void()> call;
    {
        std::lock_guard lock(Mutex);
        if (!Pending) return false;
        call.swap(Pending);
    }
    call();
    {
        std::lock_guard lock(Mutex);
        ++Done;
        Busy = false;
    }
    Changed.notify_all();
    return true;
}

void TSynchronizer::WaitUntil(const std::function<bool()>& finished) {
    using namespace std::chrono_literals;
    for (;;) {
        RunPending();
        if (finished()) return;
        std::unique_lock lock(Mutex);
        Changed.wait_for(lock, 10ms, [this] { return static_cast<bool>(Pending); });
    }
}

} // namespace nimbora
