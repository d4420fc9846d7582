#include "core/Synchronize.h"

#include <QCoreApplication>
#include <chrono>

namespace nimbora {

void TSynchronizer::Synchronize(const std::function<void()>& call) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !busy_; });
    busy_ = true;
    pending_ = call;
    const unsigned long ticket = done_ + 1;
    QCoreApplication::postEvent(target_, new QEvent(EventType));
    changed_.notify_all();
    changed_.wait(lock, [this, ticket] { return done_ >= ticket; });
}

bool TSynchronizer::RunPending() {
    std::function<void()> call;
    {
        std::lock_guard lock(mutex_);
        if (!pending_) return false;
        call.swap(pending_);
    }
    call();
    {
        std::lock_guard lock(mutex_);
        ++done_;
        busy_ = false;
    }
    changed_.notify_all();
    return true;
}

void TSynchronizer::WaitUntil(const std::function<bool()>& finished) {
    using namespace std::chrono_literals;
    for (;;) {
        RunPending();
        if (finished()) return;
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, 10ms, [this] { return static_cast<bool>(pending_); });
    }
}

} // namespace nimbora
