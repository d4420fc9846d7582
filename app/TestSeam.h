#pragma once
// The one way in for tests and benchmarks: what they replace before the window starts up and
// what they drive or reset while it runs. The program itself never uses it.
#include "app/MainForm.h"

#include <string>
#include <utility>

namespace nimbora {

struct TMainFormTestSeam {
    // Replaces the built-in server before start-up, so that a run never leaves this machine.
    static void SetBuiltInServer(TMainForm& form, const TMap& server) {
        form.MapInfo.Map.assign(1, server);
    }
    // The clock of the sun and moon (UTC day count).
    static void SetClock(TMainForm& form, TUtcClock clock) { form.Clock = std::move(clock); }
    // The held keys and view velocities, to turn the globe without input events.
    static TNavState& Nav(TMainForm& form) { return form.Nav; }
    // True once the lights' fade-in has ended, so that two frames of a still globe are the same.
    static bool LightsSettled(const TMainForm& form) { return form.Scene.LightInit(); }
    // True while a cloud picture is being prepared or waits to be.
    static bool CloudsPending(const TMainForm& form) { return form.CloudPreparer.Busy(); }
    // The cloud history's bar and player.
    static const THistoryView& History(const TMainForm& form) { return *form.History; }
    // Empties the first status line, so that the next text written there can be told apart.
    static void ClearStatusText(TMainForm& form) { form.StatusText.clear(); }
};

} // namespace nimbora
