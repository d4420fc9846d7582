#pragma once
// The window messages that sequence all weather work. They are always posted, never sent, and
// handled on the main thread in the order they were posted.
#include <QCoreApplication>
#include <QEvent>
#include <cstdint>
#include <functional>

namespace nimbora {

enum TMessage : int {
    UM_STARTUP = 0x401,
    UM_BEGINUPDATE = 0x402,
    UM_PROGRESS = 0x403,
    UM_DOWNRESULT = 0x404,
    UM_LOADMAP = 0x405,
    UM_SHOWCLOUDS = 0x406,
    UM_GETCATALOGUE = 0x407,
    UM_CATALOGUE = 0x408,
};

// Event type of message n: QEvent::User + (n - 0x400).
constexpr QEvent::Type MessageEventType(int message) {
    return static_cast<QEvent::Type>(QEvent::User + (message - 0x400));
}

class TMessageEvent : public QEvent {
public:
    TMessageEvent(int message, std::intptr_t wParam, std::intptr_t lParam)
        : QEvent(MessageEventType(message)), Message(message), WParam(wParam), LParam(lParam) {}

    const int Message;
    const std::intptr_t WParam;
    const std::intptr_t LParam;
};

// True for the event types of the eight messages.
inline bool IsMessageEvent(const QEvent* event) {
    const int type = event->type();
    return type >= MessageEventType(UM_STARTUP) && type <= MessageEventType(UM_CATALOGUE);
}

// Posts a message to the window; safe from any thread.
inline void PostMessage(QObject* target, int message, std::intptr_t wParam = 0,
                        std::intptr_t lParam = 0) {
    QCoreApplication::postEvent(target, new TMessageEvent(message, wParam, lParam));
}

// A call to run on the main thread, such as a worker's end-of-thread callback.
class TCallEvent : public QEvent {
public:
    static constexpr QEvent::Type EventType = static_cast<QEvent::Type>(QEvent::User + 101);
    explicit TCallEvent(std::function<void()> call) : QEvent(EventType), Call(std::move(call)) {}
    const std::function<void()> Call;
};

// Posts call to the target's thread; the target's event handler runs it.
inline void PostCall(QObject* target, std::function<void()> call) {
    QCoreApplication::postEvent(target, new TCallEvent(std::move(call)));
}

} // namespace nimbora
