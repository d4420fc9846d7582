#pragma once
// The status line that tells the time of the cloud picture in hand.
#include "core/Iso8601.h"

#include <string>

namespace nimbora {

// "Clouds updated: " + the picture's time in local time, written in the user's locale (short
// date, a blank, long time; no time at exactly midnight), or "Clouds updated: no data" when the
// time is 0. Windows-1252 text.
std::string CloudsUpdatedText(const TDateTimeZ& lastMap);

// "Cloud history: " and a kept picture's time (a UTC day count) as local date and time.
std::string HistoryTimeText(double utc);

} // namespace nimbora
