// Stepping and playing through the kept cloud pictures, as the window's keys and timer drive it.
#include "weather/HistoryPlayer.h"

#include <gtest/gtest.h>

namespace nimbora {
namespace {

// -1 stands for now.
int At(const THistoryPlayer& player) {
    return player.Index() ? static_cast<int>(*player.Index()) : -1;
}

TEST(HistoryPlayerTest, StepsAndPlaysInOrderAndComesBackToNow) {
    THistoryPlayer player;
    player.Open({{"a", 1}, {"b", 2}, {"c", 3}});
    ASSERT_TRUE(player.IsOpen());
    // Each row: an action, then where the player stands and whether it moved.
    struct {
        char Action; // '[' back, ']' forward, 'p' play, 't' tick, 's' shown
        int At;
        bool Moved;
    } const steps[] = {
        {']', -1, false}, // nothing newer than now
        {'[', 2, true},   {'[', 1, true}, {'[', 0, true}, {'[', 0, false}, // the oldest is the end
        {']', 1, true},   {']', 2, true}, {']', -1, true},                 // past the newest: now
        {'p', -1, false}, {'t', 0, true},
        {'t', 0, false}, // the picture asked for is not on screen yet
        {'s', 0, false},  {'t', 1, true}, {'s', 1, false}, {'t', 2, true}, {'s', 2, false},
        {'t', 0, true}, // round again
        {'[', 0, false}, // a step pauses
        {'s', 0, false},  {'t', 0, false},
    };
    for (const auto& s : steps) {
        bool moved = false;
        switch (s.Action) {
        case '[': moved = player.StepBack(); break;
        case ']': moved = player.StepForward(); break;
        case 'p': player.Play(); break;
        case 't': moved = player.Tick(); break;
        case 's': player.Shown(); break;
        }
        EXPECT_EQ(At(player), s.At) << s.Action;
        EXPECT_EQ(moved, s.Moved) << s.Action << " to " << s.At;
    }
    EXPECT_FALSE(player.IsPlaying());
    ASSERT_NE(player.Current(), nullptr);
    EXPECT_EQ(player.Current()->Path, "a");
    player.Close();
    EXPECT_EQ(player.Current(), nullptr);
    EXPECT_FALSE(player.IsOpen());

    // Nothing kept: no step, no play.
    player.Open({});
    EXPECT_FALSE(player.StepBack());
    player.Play();
    EXPECT_FALSE(player.IsPlaying());
    EXPECT_FALSE(player.Tick());
}

} // namespace
} // namespace nimbora
