#pragma once
// The weather servers and the state of the cloud picture in hand.
#include "core/Geometry.h"
#include "core/Iso8601.h"

#include <cstdint>
#include <string>
#include <vector>

namespace nimbora {

// One weather server.
struct TMap {
    std::string Url;
    std::uint8_t Filter = 0;
    std::string Credit; // 8-bit (Windows-1252) text
};

// The server list and the state of the cloud picture in hand.
struct TMapInfo {
    std::vector<TMap> Map;
    bool UseDirectUrl = false;
    TDateTimeZ LastMap;
    TVertex LastPos;
    std::uint8_t AutoFilterVal = 0;
    std::string Credit;
    std::uint8_t DownFilter = 0;
    std::string DownCredit;
};

} // namespace nimbora
