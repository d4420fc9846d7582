#include "weather/AutoUpdate.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace nimbora {

int ClampAutoUpdateMinutes(int minutes) {
    return std::clamp(minutes, 1, MaxAutoUpdateMinutes);
}

TAutoUpdateSchedule::TAutoUpdateSchedule(TClock clock, TRandom random)
    : Clock(std::move(clock)), Random(std::move(random)) {}

void TAutoUpdateSchedule::SetMinutes(int minutes) {
    IntervalMinutes = ClampAutoUpdateMinutes(minutes);
}

void TAutoUpdateSchedule::SetEnabled(bool on) {
    if (on == On) return;
    On = on;
    FailureCount = 0;
    // A check that runs when it is switched off ends as any update; nothing follows it.
    if (State != Running) State = Idle;
    LastSeen = Clock();
    Next = LastSeen;
}

bool TAutoUpdateSchedule::Due() {
    if (!On || State != Idle) return false;
    const double now = Clock();
    // A clock set back would otherwise put the next check off by as much.
    if (now < LastSeen) Next -= LastSeen - now;
    LastSeen = now;
    return now >= Next;
}

void TAutoUpdateSchedule::Started() {
    State = Running;
}

void TAutoUpdateSchedule::Refused() {
    if (On) State = Waiting;
}

void TAutoUpdateSchedule::Finished(bool failed) {
    if (State != Running) return;
    State = Idle;
    if (!On) return;
    if (!failed) {
        FailureCount = 0;
        ScheduleIn(Interval(), SpreadBoth);
        return;
    }
    ++FailureCount;
    const double backOff = FirstBackOffSeconds * std::ldexp(1.0, std::min(FailureCount - 1, 30));
    // The interval stays the longest wait: there the spread goes only below it.
    if (backOff < Interval()) {
        ScheduleIn(backOff, SpreadBoth);
    } else {
        ScheduleIn(Interval(), SpreadBelow);
    }
}

void TAutoUpdateSchedule::Unblocked() {
    if (State != Waiting) return;
    State = Idle;
    ScheduleIn(RetrySoonSeconds, SpreadNone);
}

void TAutoUpdateSchedule::ScheduleIn(double seconds, TSpread spread) {
    if (spread != SpreadNone) {
        const double r = std::clamp(Random ? Random() : 0.5, 0.0, 1.0);
        seconds *= spread == SpreadBoth ? 1 + Spread * (2 * r - 1) : 1 - Spread * r;
    }
    LastSeen = Clock();
    Next = LastSeen + seconds;
}

std::optional<double> TAutoUpdateSchedule::SecondsToWait() const {
    if (!On || State != Idle) return std::nullopt;
    return std::clamp(Next - Clock(), 0.0, PollSeconds);
}

} // namespace nimbora
