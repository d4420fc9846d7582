#pragma once
// The window messages that sequence all weather work. They are always posted, never sent, and
// handled on the main thread in the order they were posted.
#include <QCoreApplication>
#include <QEvent>
#include <cstdint>
#include <functional>

namespace nimbora {

// The message numbers are the platform's first user message (0x400) plus one to eight.
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

// UM_BEGINUPDATE and UM_DOWNRESULT, wParam: what the transfer fetches (the values of TAct).
inline constexpr std::intptr_t WpGetSrvc = 1; // a catalogue
inline constexpr std::intptr_t WpGetMap = 2;  // a cloud picture
// UM_PROGRESS, lParam: what wParam holds.
inline constexpr std::intptr_t LpProgressLength = 0;   // the announced content length
inline constexpr std::intptr_t LpProgressReceived = 1; // the bytes received so far
// UM_CATALOGUE, wParam.
inline constexpr std::intptr_t WpCatalogueFailed = 0;
inline constexpr std::intptr_t WpCatalogueOk = 1;
// UM_LOADMAP's wParam and UM_DOWNRESULT's lParam carry the picture's kind (TTyp).

// One event type, registered with Qt, carries all eight messages.
class TMessageEvent : public QEvent {
public:
    static inline const QEvent::Type EventType =
        static_cast<QEvent::Type>(QEvent::registerEventType());

    TMessageEvent(int message, std::intptr_t wParam, std::intptr_t lParam)
        : QEvent(EventType), Message(message), WParam(wParam), LParam(lParam) {}

    const int Message;
    const std::intptr_t WParam;
    const std::intptr_t LParam;
};

inline bool IsMessageEvent(const QEvent* event) {
    return event->type() == TMessageEvent::EventType;
}

// Posts a message to the window; safe from any thread.
inline void PostMessage(QObject* target, int message, std::intptr_t wParam = 0,
                        std::intptr_t lParam = 0) {
    QCoreApplication::postEvent(target, new TMessageEvent(message, wParam, lParam));
}

// A call to run on the main thread, such as a worker's end-of-thread callback.
class TCallEvent : public QEvent {
public:
    static inline const QEvent::Type EventType =
        static_cast<QEvent::Type>(QEvent::registerEventType());
    explicit TCallEvent(std::function<void()> call) : QEvent(EventType), Call(std::move(call)) {}
    const std::function<void()> Call;
};

// Posts call to the target's thread; the target's event handler runs it.
inline void PostCall(QObject* target, std::function<void()> call) {
    QCoreApplication::postEvent(target, new TCallEvent(std::move(call)));
}

} // namespace nimbora
