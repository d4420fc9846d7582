#pragma once
// The one way in for tests and benchmarks: what they replace before the window starts up and
// what they drive or reset while it runs. The program itself never uses it.
#include "app/MainForm.h"
#include "render/SceneTestSeam.h"

#include <string>
#include <utility>

namespace nimbora {

struct TMainFormTestSeam {
    // What the window holds, for tests to read.
    static const std::string& DataFolder(const TMainForm& form) { return form.DataFolder; }
    static const std::string& IniFile(const TMainForm& form) { return form.IniFile; }
    static const TMapInfo& MapInfo(const TMainForm& form) { return form.MapInfo; }
    static const TSettings& Settings(const TMainForm& form) { return form.Settings; }
    static const TDrawPointList& DrawPoints(const TMainForm& form) { return form.DrawPoints; }
    // The three status lines drawn on the globe (Windows-1252).
    static const std::string& StatusText(const TMainForm& form) { return form.StatusText; }
    static const std::string& UpdateText(const TMainForm& form) { return form.UpdateText; }
    static const std::string& CreditText(const TMainForm& form) { return form.CreditText; }
    static const std::string& PointerText(const TMainForm& form) { return form.PointerText; }
    static QMenu* OptionPopup(const TMainForm& form) { return form.OptionPopup; }
    static TOpenGLPanel* OpenGLPanel(const TMainForm& form) { return form.OpenGLPanel; }
    static bool StartupDone(const TMainForm& form) { return form.StartedUp; }
    static bool CloudsShown(const TMainForm& form) { return form.CloudsAvailable; }
    static bool Downloading(const TMainForm& form) { return form.CloudUpdate->Busy(); }
    static bool FetchingCatalogue(const TMainForm& form) {
        return form.CloudUpdate->FetchingCatalogue();
    }
    static TConfigForm* ConfigForm(const TMainForm& form) { return form.ConfigForm; }
    static TSaveFrameDialog& SaveFrameDialog(TMainForm& form) { return form.SaveFrameDialog; }

    // Replaces the built-in server before start-up, so that a run never leaves this machine.
    static void SetBuiltInServer(TMainForm& form, const TMap& server) {
        form.MapInfo.Map.assign(1, server);
    }
    // Speeds up "Update automatically": its timer waits msPerSecond milliseconds for a second of
    // its schedule, and its clock runs as much faster (set before start-up).
    static void SetAutoUpdatePace(TMainForm& form, double msPerSecond) {
        form.AutoUpdatePace = msPerSecond;
    }
    // The clock of the sun and moon (UTC day count).
    static void SetClock(TMainForm& form, TUtcClock clock) { form.Clock = std::move(clock); }
    // The held keys and view velocities, to turn the globe without input events.
    static TNavState& Nav(TMainForm& form) { return form.Nav; }
    static const TNavState& Nav(const TMainForm& form) { return form.Nav; }
    // True once the lights' fade-in has ended, so that two frames of a still globe are the same.
    static bool LightsSettled(const TMainForm& form) { return form.Scene.LightInit(); }
    static TSceneTestSeam::TObjects SceneObjects(const TMainForm& form) {
        return TSceneTestSeam::Objects(form.Scene);
    }
    // True while a cloud picture is being prepared or waits to be.
    static bool CloudsPending(const TMainForm& form) { return form.CloudPreparer.Busy(); }
    // The cloud history's bar and player.
    static const THistoryView& History(const TMainForm& form) { return *form.History; }
    // Empties the first status line, so that the next text written there can be told apart.
    static void ClearStatusText(TMainForm& form) { form.StatusText.clear(); }
};

} // namespace nimbora
