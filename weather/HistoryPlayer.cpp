#include "weather/HistoryPlayer.h"

#include <utility>

namespace nimbora {

void THistoryPlayer::Open(std::vector<THistoryPicture> pictures) {
    List = std::move(pictures);
    At.reset();
    Opened = true;
    Playing = Waiting = false;
}

void THistoryPlayer::Close() {
    List.clear();
    At.reset();
    Opened = Playing = Waiting = false;
}

bool THistoryPlayer::Go(std::optional<std::size_t> index) {
    if (index == At) return false;
    At = index;
    Waiting = At.has_value();
    return true;
}

bool THistoryPlayer::StepBack() {
    Playing = false;
    if (List.empty() || At == std::size_t{0}) return false;
    return Go(At ? *At - 1 : List.size() - 1);
}

bool THistoryPlayer::StepForward() {
    Playing = false;
    if (!At) return false;
    return Go(*At + 1 < List.size() ? std::optional<std::size_t>(*At + 1) : std::nullopt);
}

void THistoryPlayer::Play() {
    Playing = !List.empty();
}

bool THistoryPlayer::Tick() {
    if (!Playing || Waiting) return false;
    // A single picture is shown once and stays.
    return Go(At && *At + 1 < List.size() ? *At + 1 : 0);
}

const THistoryPicture* THistoryPlayer::Current() const {
    return At ? &List[*At] : nullptr;
}

} // namespace nimbora
