#pragma once
// Where the window stands in the cloud history: the picture in hand ("now") or one of the kept
// pictures, stepped through or played in order. Plain state, so the window only maps its keys,
// buttons and timer onto it.
#include "weather/CloudHistory.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace nimbora {

// Kept pictures are prepared at most this wide (and half as high): one of them in preparation
// and one in the texture bound the memory of stepping and playing, however long the history.
inline constexpr int HistoryMaxSide = 2048;

class THistoryPlayer {
public:
    // The pause between two pictures while playing: about four a second.
    static constexpr int PlayIntervalMs = 250;

    // Takes the kept pictures (oldest first) and stands at now.
    void Open(std::vector<THistoryPicture> pictures);
    // Back to the picture in hand, playing stopped; the pictures are forgotten.
    void Close();
    bool IsOpen() const { return Opened; }

    // A step ends playing.
    // The older picture (from now: the newest kept one); false when there is none.
    bool StepBack();
    // The newer picture; from the newest kept one back to now. False at now.
    bool StepForward();

    // Playing goes round the pictures in order, oldest to newest, and again.
    void Play();
    void Pause() { Playing = false; }
    bool IsPlaying() const { return Playing; }
    // The play timer's tick. The next picture is taken only once the one asked for last is on
    // screen (Shown), so a slow machine plays slower instead of piling up work. True when the
    // picture changed.
    bool Tick();
    // The picture asked for is on screen.
    void Shown() { Waiting = false; }

    // The picture stood at; nullptr at now.
    const THistoryPicture* Current() const;
    const std::vector<THistoryPicture>& Pictures() const { return List; }
    std::optional<std::size_t> Index() const { return At; }

private:
    bool Go(std::optional<std::size_t> index);

    std::vector<THistoryPicture> List;
    std::optional<std::size_t> At; // nullopt: now
    bool Opened = false;
    bool Playing = false;
    bool Waiting = false;
};

} // namespace nimbora
