#include "platform/TermSignals.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#include <xcb/xcb.h>

namespace nimbora {

namespace {

int SignalPipe[2] = {-1, -1};
volatile std::sig_atomic_t Pending = 0;

void OnTermSignal(int signal) {
    if (Pending) {
        // Asked twice: the user means it.
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    Pending = 1;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(SignalPipe[1], &byte, 1);
}

class TWindowWatch : public QObject, public QAbstractNativeEventFilter {
public:
    TWindowWatch(QObject* parent, std::function<quintptr()> windowId,
                 std::function<void()> onDestroyed)
        : QObject(parent), WindowId(std::move(windowId)), OnDestroyed(std::move(onDestroyed)) {
        QCoreApplication::instance()->installNativeEventFilter(this);
    }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (Reported || type != "xcb_generic_event_t") return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7f) != XCB_DESTROY_NOTIFY) return false;
        const quintptr id = WindowId();
        if (id == 0 || static_cast<const xcb_destroy_notify_event_t*>(message)->window != id)
            return false;
        Reported = true;
        // Later, not inside the toolkit's event handling: closing may run an event loop of
        // its own (a message box).
        QMetaObject::invokeMethod(this, OnDestroyed, Qt::QueuedConnection);
        return false;
    }

private:
    std::function<quintptr()> WindowId;
    std::function<void()> OnDestroyed;
    bool Reported = false;
};

} // namespace

void WatchWindowDestroyed(QObject* parent, std::function<quintptr()> windowId,
                          std::function<void()> onDestroyed) {
    new TWindowWatch(parent, std::move(windowId), std::move(onDestroyed));
}

void WatchTermSignals(QObject* parent, std::function<void()> onSignal) {
    if (SignalPipe[0] < 0 && pipe2(SignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    auto* notifier = new QSocketNotifier(SignalPipe[0], QSocketNotifier::Read, parent);
    QObject::connect(notifier, &QSocketNotifier::activated, parent, [onSignal] {
        char buffer[16];
        while (read(SignalPipe[0], buffer, sizeof buffer) > 0) {
        }
        onSignal();
        Pending = 0;
    });
    struct sigaction action {};
    action.sa_handler = OnTermSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        // A signal ignored by whoever started us (nohup; a background job of a script ignores
        // SIGINT) stays ignored: they asked that it should not end the program.
        struct sigaction before {};
        if (sigaction(signal, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
        sigaction(signal, &action, nullptr);
    }
}

} // namespace nimbora
