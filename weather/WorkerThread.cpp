#include "weather/WorkerThread.h"

#include "core/Messages.h"
#include "net/Proxy.h"
#include "net/HttpCli.h"
#include "platform/ThreadPriority.h"

namespace nimbora {

TWorkerThread::~TWorkerThread() {
    terminated_ = true;
    Join();
}

void TWorkerThread::Start(QObject* endTarget) {
    // The owner outlives the thread (it joins it at shutdown), so the target stays valid.
    QObject* target = endTarget;
    std::weak_ptr<int> alive = alive_;
    thread_ = std::thread([this, target, alive] {
        LowerCurrentThreadPriority();
        Execute();
        const bool wantsCallback = !detached_ && OnTerminate;
        finished_ = true;
        // From here on the owner may destroy this object; only the weak pointer is safe.
        if (wantsCallback && target)
            PostCall(target, [this, alive] {
                if (alive.lock() && !detached_ && OnTerminate) OnTerminate();
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
    if (thread_.joinable()) thread_.join();
}

} // namespace nimbora
