// When the window checks for a newer cloud picture by itself, on a clock the test turns.
#include "weather/AutoUpdate.h"

#include <gtest/gtest.h>

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
        {1000, 'd', false}, {1000, 'e', true},      // off; on: the start-up check at once
        {1000, 'r', false}, {1003, 'u', false},     // no servers yet, then they come:
        {1007.99, 'd', false}, {1008, 'd', true},   // soon after, not an interval later
        {1008, 's', false}, {1010, 'o', false},     // "not modified": one hour later
        {4609.99, 'd', false}, {4610, 'd', true},
        {4610, 's', false}, {4610, 'f', false},     // failures: 2, 4, 8 ... minutes
        {4729.99, 'd', false}, {4730, 'd', true},  {4730, 's', false}, {4730, 'f', false},
        {4970, 'd', true},  {4970, 's', false}, {4970, 'f', false},  {5450, 'd', true},
        {5450, 's', false}, {5450, 'f', false},  {6410, 'd', true},  {6410, 's', false},
        {6410, 'f', false}, {8330, 'd', true},  {8330, 's', false},
        {8330, 'f', false, 0.0}, {11929.99, 'd', false}, {11930, 'd', true}, // then the hour
        {11930, 's', false}, {11930, 'f', false, 0.99999},         // at most, spread below it
        {11930 + 3600 * (1 - 0.05 * 0.99999), 'd', true},
        {20000, 's', false}, {20000, 'o', false, 0.0},             // success: spread both ways
        {23419.99, 'd', false}, {23420, 'd', true},
        {23420, 's', false}, {23420, 'o', false, 0.99999},
        {27199.9, 'd', false}, {27200, 'd', true},
        {27200, 's', false}, {27200, 'o', false},
        {29000, 'd', false}, {28000, 'd', false},   // the clock goes back 1000 s ...
        {29799.99, 'd', false}, {29800, 'd', true}, // ... and the wait stays the same
        {29800, 'x', false}, {40000, 'd', false},   // off: nothing more
        {40000, 'e', true}, {40000, 's', false},    // on again: at once
        {40000, 'x', false}, {40001, 'o', false}, {90000, 'd', false}, // off while running
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

} // namespace
} // namespace nimbora
