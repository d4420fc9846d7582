#include "weather/WorkerThread.h"

#include "core/Messages.h"
#include "net/Proxy.h"
#include "net/HttpCli.h"
#include "platform/ThreadPriority.h"

namespace nimbora {

TWorkerThread::~TWorkerThread() {
    StopRequested = true;
    Join();
}

void TWorkerThread::Start(QObject* endTarget) {
    // The owner outlives the thread (it joins it at shutdown), so the target stays valid.
    QObject* target = endTarget;
    std::weak_ptr<int> alive = Alive;
    Thread = std::thread([this, target, alive] {
        LowerCurrentThreadPriority();
        Execute();
        // The callback travels as a copy: the owner may free this object while it runs.
        std::function<void()> onEnd;
        if (!EndDetached) onEnd = OnTerminate;
        HasEnded = true;
        // From here on the owner may destroy this object; only the weak pointer is safe.
        if (onEnd && target)
            PostCall(target, [this, alive, onEnd = std::move(onEnd)] {
                const std::shared_ptr<int> exists = alive.lock();
                if (exists && !EndDetached) onEnd();
            });
    });
}

THttpProxy HttpProxyOf(const TProxy& proxy, const std::string& url) {
    THttpProxy result;
    if (proxy.Autodetect && proxy.System) {
        const TProxyAddress address = SystemProxyFor(*proxy.System, url);
        if (address.Host.empty()) return result;
        // curl takes the proxy's own scheme from the host text.
        result.Host = (address.Tls ? "https://" : "") + address.Host;
        result.Port = address.Port;
        return result;
    }
    if (!proxy.Enabled) return result;
    result.Host = proxy.Address;
    result.Port = proxy.Port;
    if (proxy.Authenticate) {
        result.Username = proxy.Username;
        result.Password = proxy.Password;
    }
    return result;
}

void TWorkerThread::Join() {
    if (Thread.joinable()) Thread.join();
}

} // namespace nimbora
