// When the window checks for a newer cloud picture by itself, on a clock the test turns.
#include "weather/AutoUpdate.h"

#include <gtest/gtest.h>

#include <climits>

namespace nimbora {
namespace {

TEST(AutoUpdateTest, ChecksAtStartThenEveryIntervalBacksOffAndWaitsForARunningUpdate) {
    double now = 1000, random = 0.5; // 0.5: no spread
    TAutoUpdateSchedule schedule([&] { return now; }, [&] { return random; });
    schedule.SetMinutes(60);
    // Each row: the clock (and the random draw) before the action, the action, and the answer
    // of Due right after it. Actions: 'e' on, 'x' off, 'd' ask, 's' started, 'r' refused,
    // 'o' ended well, 'f' failed, 'u' unblocked.
    struct {
        double Now;
        char Action;
        bool Due;
        double Random = 0.5;
    } const steps[] = {
        {1000, 'd', false},                         // off
        {1000, 'e', true},                          // the start-up check
        {1000, 'r', false}, {1003, 'u', false},     // the catalogue is still on its way
        {1007.99, 'd', false}, {1008, 'd', true},   // soon after, not an interval later
        {1008, 's', false},  {1010, 'o', false},    // running, then "not modified"
        {4609.99, 'd', false}, {4610, 'd', true},   // one hour later
        {4610, 'r', false},  {5000, 'd', false},    // a manual update runs: wait for its end
        {5000, 'u', false},  {5005, 'd', true},
        {5005, 's', false},  {5005, 'f', false},    // failures: 2, 4, 8, 16, 32 minutes ...
        {5124.99, 'd', false}, {5125, 'd', true},  {5125, 's', false}, {5125, 'f', false},
        {5364.99, 'd', false}, {5365, 'd', true},  {5365, 's', false}, {5365, 'f', false},
        {5845, 'd', true},   {5845, 's', false},   {5845, 'f', false},
        {6805, 'd', true},   {6805, 's', false},   {6805, 'f', false},
        {8725, 'd', true},   {8725, 's', false},
        {8725, 'f', false, 0.0},                    // ... then the hour, never more
        {12324.99, 'd', false}, {12325, 'd', true}, {12325, 's', false},
        {12325, 'f', false, 0.99999},               // at the hour only spread below it
        {12325 + 3600 * (1 - 0.05 * 0.99999) - 0.01, 'd', false},
        {12325 + 3600 * (1 - 0.05 * 0.99999), 'd', true},
        {20000, 's', false}, {20000, 'o', false, 0.0}, // success: the interval again, spread
        {23419.99, 'd', false}, {23420, 'd', true},
        {23420, 's', false}, {23420, 'o', false, 0.99999},
        {27199.9, 'd', false}, {27200, 'd', true},
        {27200, 's', false}, {27200, 'o', false},
        {29000, 'd', false}, {28000, 'd', false},  // the clock goes back 1000 s ...
        {29799.99, 'd', false}, {29800, 'd', true},  // ... and the wait stays the same
        {29800, 'x', false}, {40000, 'd', false},  // off: nothing more
        {40000, 'e', true},                        // on again: at once
        {40000, 's', false}, {40000, 'x', false},  // off while a check runs ...
        {40001, 'o', false}, {90000, 'd', false},  // ... which ends as any update
    };
    int failures = 0;
    for (const auto& s : steps) {
        now = s.Now;
        random = s.Random;
        switch (s.Action) {
        case 'e': schedule.SetEnabled(true); break;
        case 'x': schedule.SetEnabled(false); break;
        case 's': schedule.Started(); break;
        case 'r': schedule.Refused(); break;
        case 'o': schedule.Finished(false); failures = 0; break;
        case 'f': schedule.Finished(true); ++failures; break;
        case 'u': schedule.Unblocked(); break;
        }
        EXPECT_EQ(schedule.Due(), s.Due) << s.Action << " at " << s.Now;
        if (schedule.Enabled()) {
            EXPECT_EQ(schedule.Failures(), failures) << s.Now;
        }
        // The timer sleeps no longer than it takes to notice a changed clock.
        if (const auto wait = schedule.SecondsToWait()) {
            EXPECT_GE(*wait, 0);
            EXPECT_LE(*wait, TAutoUpdateSchedule::PollSeconds);
            EXPECT_EQ(*wait == 0, s.Due) << s.Now;
        } else {
            EXPECT_FALSE(s.Due);
        }
    }
}

TEST(AutoUpdateTest, IntervalIsAtLeastAMinuteAndAtMostAWeek) {
    const std::pair<int, int> cases[] = {{INT_MIN, 1}, {-5, 1},         {0, 1},
                                         {1, 1},       {180, 180},      {10080, 10080},
                                         {10081, 10080}, {INT_MAX, 10080}};
    for (const auto& [minutes, clamped] : cases)
        EXPECT_EQ(ClampAutoUpdateMinutes(minutes), clamped) << minutes;
}

} // namespace
} // namespace nimbora
