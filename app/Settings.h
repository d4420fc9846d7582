#pragma once
// The settings file: reading it once at start-up, the upgrade rewrite, and the writers.
#include "core/IniFile.h"
#include "net/Proxy.h"
#include "render/Lighting.h"
#include "weather/AutoUpdate.h"
#include "weather/CloudHistory.h"
#include "weather/MapInfo.h"

#include <cstdint>
#include <string>

namespace nimbora {

// What the globe shows: the model behind the options menu's toggles. Menu actions write it, the
// frame and the settings file read it, and the menu's check marks show it.
struct TFeatures {
    // Kept in the file.
    bool WorldTexturing = true, CountryBoundaries = true, CountryNames = true, DayNight = false,
         TimeZoneGrid = false, CityLights = true, AutoUpdate = false;
    // Reset at every start.
    bool Clouds = true, ColorizeClouds = false, DetailedTexturing = false;
};

struct TSettings {            // everything read from the file except what lives in TMapInfo
    std::string Version;      // as read ("" when missing)
    bool GetCatalogue = true; // catalogue-at-start switch, key texts::CatalogueSwitchKey
    std::string CatalogueUrl; // key texts::CatalogueUrlKey of the program section; never written
    TProxy Proxy;
    int ServerIndex = 0;
    TFeatures Features;
    bool ShowCustomWay = true;
    bool AutoFilter = true;
    std::uint8_t UserFilterVal = 0;
    TLightingSets Lighting = DefaultLighting();
    THistoryBounds History; // hand-made keys of [Map]; never written
    int AutoUpdateMinutes = DefaultAutoUpdateMinutes; // hand-made key of [Map]; never written
};

// Reads the whole file in its fixed order. mapInfo.Map must hold the built-in server on entry;
// the direct server keys replace it (and set UseDirectUrl). dataFolder is where the cached
// clouds files ("clouds.png"/"clouds.jpg") are looked for. A missing file reads as defaults.
void ReadSettings(const std::string& path, const std::string& dataFolder, TSettings& settings,
                  TMapInfo& mapInfo);
bool SettingsNeedRewrite(const TSettings& settings); // Version != "033000"
// The file afresh with what SaveConfig1 and SaveConfig2 write, and nothing else. The old file is
// replaced in one step, so it stays whole when the write is refused. Throws TSettingsWriteError.
void RewriteSettings(const std::string& path, const TSettings& settings, const TMapInfo& mapInfo,
                     const TVertex& proj);
// Version, proxy, map state (view from proj) and features. Throws TSettingsWriteError; a refused
// write leaves the file as it was.
void SaveConfig1(const std::string& path, const TSettings& settings, const TMapInfo& mapInfo,
                 const TVertex& proj);
// Cloud filter and lighting. Throws TSettingsWriteError.
void SaveConfig2(const std::string& path, const TSettings& settings);
void WriteShowCustomWay(const std::string& path, bool show); // the waypoint dialog's one key
// "Update weather (random server)" / "Update weather (use Server n)"
std::string UpdateWeatherCaption(int serverIndex);
// Removes the temporary files that interrupted replacements of the program's own files in the
// data folder left (settings, waypoints, notices, cloud facts), once they are a minute old.
void RemoveStaleTemps(const std::string& dataFolder, const std::string& settingsPath);

} // namespace nimbora
