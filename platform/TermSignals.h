#pragma once
// Turning the end-of-session signals, and the window system taking the window away, into an
// ordinary close of the window.
#include <QtGlobal>
#include <functional>

class QObject;

namespace nimbora {

// From now on SIGTERM, SIGINT and SIGHUP call onSignal on the main thread (from the event
// loop) instead of ending the process at once, so that the program closes the way it does when
// the user closes its window. A second signal while the first is handled ends the process. A
// signal that was ignored when the program started stays ignored.
// parent owns the watcher.
void WatchTermSignals(QObject* parent, std::function<void()> onSignal);

// Calls onDestroyed once, from the event loop, when the X server reports that the native window
// windowId() names (0: none yet) was destroyed by someone else, e.g. another program closing it
// where no window manager runs. Qt reports such a window only as no longer exposed, as if it
// had been minimised. Nothing happens on other window systems. parent owns the watcher.
void WatchWindowDestroyed(QObject* parent, std::function<quintptr()> windowId,
                          std::function<void()> onDestroyed);

} // namespace nimbora
