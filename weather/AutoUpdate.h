#pragma once
// When the window asks by itself whether a newer cloud picture exists: once at start-up, then
// every interval, spread a little at random so that many globes do not all ask at the same
// second. A check that finds an update already running waits for it to end; a failed check is
// tried again sooner, backing off up to the interval. Plain state over an injected clock, so the
// window only maps its timer onto it.
#include <functional>
#include <optional>

namespace nimbora {

// [Map] AutoUpdateMinutes: hand-made, never written.
inline constexpr int DefaultAutoUpdateMinutes = 180;
inline constexpr int MaxAutoUpdateMinutes = 7 * 24 * 60; // a week: pictures are renewed hourly
// Below 1 reads as 1, above the week as the week.
int ClampAutoUpdateMinutes(int minutes);

class TAutoUpdateSchedule {
public:
    using TClock = std::function<double()>;  // seconds, from any origin
    using TRandom = std::function<double()>; // uniform in [0, 1)

    // The spread of each wait, as a share of it either way.
    static constexpr double Spread = 0.05;
    // The first retry after a failure; each further one waits twice as long, at most the interval.
    static constexpr double FirstBackOffSeconds = 120;
    // A check put off by a running update (or servers not known yet) comes this long after.
    static constexpr double RetrySoonSeconds = 5;
    // The longest the window's timer sleeps before asking again, so that a suspended machine or a
    // changed clock is noticed within this time.
    static constexpr double PollSeconds = 60;

    TAutoUpdateSchedule(TClock clock, TRandom random);

    void SetMinutes(int minutes); // clamped as ClampAutoUpdateMinutes
    int Minutes() const { return IntervalMinutes; }
    // On: a check is due at once. Off: nothing is due until it is on again.
    void SetEnabled(bool on);
    bool Enabled() const { return On; }

    // True when a check is due now; the caller then either starts it (Started) or cannot
    // (Refused).
    bool Due();
    void Started();
    // An update runs already, or there is nothing to ask yet: wait for Unblocked.
    void Refused();
    // The check that Started ended; failed: it brought neither a picture nor "not modified".
    void Finished(bool failed);
    // An update ended or the servers became known: a refused check follows soon.
    void Unblocked();

    // How long the timer should sleep before calling Due again; nullopt while off, while a check
    // runs or while one waits for Unblocked.
    std::optional<double> SecondsToWait() const;

    int Failures() const { return FailureCount; }

private:
    enum TSpread { SpreadNone, SpreadBoth, SpreadBelow };
    void ScheduleIn(double seconds, TSpread spread);
    double Interval() const { return IntervalMinutes * 60.0; }

    TClock Clock;
    TRandom Random;
    int IntervalMinutes = DefaultAutoUpdateMinutes;
    bool On = false;
    enum { Idle, Running, Waiting } State = Idle;
    double Next = 0;     // clock time of the next check, while Idle
    double LastSeen = 0; // the clock at the last look, to notice it going back
    int FailureCount = 0;
};

} // namespace nimbora
