#pragma once
// A worker thread with cooperative termination, shared by the download and catalogue threads.
//
// The owner starts it, may ask it to stop, and learns of its end through an end callback that
// runs on the main thread (posted to the owner's window). The thread never frees itself, and
// neither does its end callback: the owner releases the object later, from its own code (a
// queued call or a message handler), or stops and joins it at shutdown. The posted callback is
// a copy, so nothing that runs belongs to the object even if the owner frees it meanwhile.
#include <QObject>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace nimbora {

struct THttpProxy;
struct TProxy;

// The proxy of a transfer to `url` from the program's settings: host and port when the proxy
// is on, user name and password only with authentication. With the system's proxies the
// address decides: the https or http proxy by its scheme, none for a host in no_proxy.
THttpProxy HttpProxyOf(const TProxy& proxy, const std::string& url);

// Result code of a transfer (FError of the download and catalogue threads).
enum TThError : int {
    ErrUndecided = -1, // still running
    ErrNone = 0,       // success
    ErrNoBody = 1,     // no usable body
    ErrStatus = 2,     // server status outside 200 to 399
    ErrTransport = 3,  // the connection failed
    ErrCancelled = 4,  // stopped by the program
};

class TWorkerThread {
public:
    virtual ~TWorkerThread();
    TWorkerThread(const TWorkerThread&) = delete;
    TWorkerThread& operator=(const TWorkerThread&) = delete;

    // Runs Execute() on a new thread one priority step below normal. A copy of OnTerminate,
    // when set, is posted to endTarget's thread after Execute() has returned; it runs only while
    // this object still exists and the callback is not detached.
    void Start(QObject* endTarget);
    void Terminate() { StopRequested = true; }
    bool Terminated() const { return StopRequested; }
    // True once Execute() has returned.
    bool Finished() const { return HasEnded; }
    // Waits for the thread to end; call after Finished() or from a wait loop that keeps the
    // main thread's pending calls running.
    void Join();
    // Detaches the end callback (shutdown waits for the thread itself).
    void DetachEndCallback() { EndDetached = true; }

    std::function<void()> OnTerminate;

protected:
    TWorkerThread() = default;
    virtual void Execute() = 0;

private:
    std::thread Thread;
    std::atomic<bool> StopRequested{false};
    std::atomic<bool> HasEnded{false};
    std::atomic<bool> EndDetached{false};
    // Lets a posted end callback find out on the main thread whether this object still exists.
    std::shared_ptr<int> Alive = std::make_shared<int>(0);
};

} // namespace nimbora
