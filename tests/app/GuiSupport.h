#pragma once
// Starting the real main window against a scratch data folder, and reading what it wrote.
#include "app/MainForm.h"
#include "app/TestSeam.h"
#include "support/TempDir.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <memory>
#include <string>

namespace nimbora::test {

// The window's test-only way in, short.
using Seam = TMainFormTestSeam;

// Points the per-user data folder at a scratch folder for the life of the object.
class TScratchHome {
public:
    TScratchHome();
    ~TScratchHome();
    std::string DataFolder() const { return Dir.str() + "/NimboraProject/Nimbora/"; }
    // The settings file the window in this test program reads and writes.
    std::string SettingsFile() const;
    // Creates the data folder, for tests that put files there before the start.
    std::string MakeDataFolder() const;

private:
    TempDir Dir;
    std::string OldXdg;
    bool HadXdg = false;
};

// Runs the event loop until pred() holds or the time is up; returns pred().
template <class Pred> bool WaitFor(Pred pred, int ms = 10000) {
    QElapsedTimer clock;
    clock.start();
    while (!pred() && clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return pred();
}

// Shows a main window and waits until its deferred start-up has run.
std::unique_ptr<TMainForm> StartMainForm();

// The value of key in section of an INI text (names without regard to case); nullopt-like
// empty pair when absent.
struct TIniValue {
    bool Found = false;
    std::string Value;
};
TIniValue IniValue(const std::string& text, const std::string& section, const std::string& key);
// Number of "key=" lines in the whole text.
int CountKeys(const std::string& text);

// A JPEG of one grey level (quality 75 is libjpeg's default).
std::string GreyJpeg(int width, int height, unsigned char level, int quality = 75);

// Pixels in the warm colour of the cities' lights: bright, far more red than blue.
int WarmPixels(const QImage& frame);

} // namespace nimbora::test
