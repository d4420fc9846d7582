#pragma once
// The cloud history in the window: a thin bar at the bottom of the globe with the kept
// pictures' times, buttons to step, play and come back to now, and the keys "[", "]" and
// Escape. The stepping itself is THistoryPlayer's; the pictures are prepared on the window's
// cloud worker, so stepping never holds up a frame.
#include "weather/HistoryPlayer.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <optional>
#include <string>

class QWidget;

namespace nimbora {

class THistoryBar;

class THistoryView : public QObject {
public:
    // show asks for a kept picture to be prepared and shown, nullptr for the picture in hand.
    using TShow = std::function<void(const THistoryPicture* picture)>;
    THistoryView(QWidget* panel, std::string dataFolder, TShow show);
    ~THistoryView() override;

    // Lists the kept pictures and shows the bar (the menu item).
    void Open();
    // Back to the picture in hand; the bar goes.
    void Close();
    // "[" and "]" step (opening the bar), Escape comes back to now while the bar is open. True
    // when the key was taken.
    bool Key(int key);
    // The cloud worker answered for the picture at path; true when it was a kept picture that
    // could not be read.
    bool Prepared(const std::string& path, bool succeeded);

    bool IsOpen() const { return Player.IsOpen(); }
    // The time of the kept picture on screen; nullopt at now.
    std::optional<double> PictureTime() const;
    const THistoryPlayer& GetPlayer() const { return Player; }
    QWidget* GetBar() const;

    void StepBack();
    void StepForward();
    void PlayPause();

private:
    void Changed(bool moved);
    void PlaceBar();
    bool eventFilter(QObject* watched, QEvent* event) override;

    QWidget* Panel;
    std::string DataFolder;
    TShow Show;
    THistoryPlayer Player;
    QTimer PlayTimer;
    THistoryBar* Bar = nullptr;
};

} // namespace nimbora
