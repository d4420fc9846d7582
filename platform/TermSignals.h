#pragma once
// Turning the end-of-session signals into an ordinary close of the window.
#include <functional>

class QObject;

namespace nimbora {

// From now on SIGTERM, SIGINT and SIGHUP call onSignal on the main thread (from the event
// loop) instead of ending the process at once, so that the program closes the way it does when
// the user closes its window. A second signal while the first is handled ends the process. A
// signal that was ignored when the program started stays ignored.
// parent owns the watcher.
void WatchTermSignals(QObject* parent, std::function<void()> onSignal);

} // namespace nimbora
