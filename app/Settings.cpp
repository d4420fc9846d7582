#include "app/Settings.h"

#include "app/Texts.h"
#include "core/Cp1252.h"
#include "core/Names.h"
#include "core/support.h"
#include "platform/Files.h"
#include "platform/IniStore.h"
#include "platform/Paths.h"
#include "platform/SystemProxy.h"
#include "weather/CloudCache.h"
#include "weather/WeatherTexts.h"

#include <algorithm>
#include <cmath>

namespace nimbora {

namespace {

constexpr char Proxy[] = "Proxy";
constexpr char Map[] = "Map";
constexpr char Features[] = "Features";
constexpr char GeneralCloud[] = "General.Cloud";

// Calls f(section, key, value) for every lighting value, in the file's order.
template <class Sets, class F> void VisitLighting(Sets& s, F f) {
    auto colour = [&](const char* section, const char* name, auto& values, int count) {
        for (int i = 0; i < count; ++i)
            f(section, std::string(name) + char('0' + i), values[i]);
    };
    // Ambient, diffuse and specular with their counts, then the shininess.
    auto rgbMaterial = [&](const char* section, auto& m, int diffuseCount) {
        colour(section, "Ambient", m.Ambient, 3);
        colour(section, "Diffuse", m.Diffuse, diffuseCount);
        colour(section, "Specular", m.Specular, 3);
        f(section, std::string("Shininess"), m.Shininess);
    };
    auto sunMaterial = [&](const char* section, auto& m, int count) {
        colour(section, "Diffuse", m.Diffuse, count);
        colour(section, "Ambient", m.Ambient, count);
        colour(section, "Specular", m.Specular, count);
        f(section, std::string("Shininess"), m.Shininess);
    };
    auto rgbLight = [&](const char* section, auto& l) {
        colour(section, "Diffuse", l.Diffuse, 3);
        colour(section, "Specular", l.Specular, 3);
    };
    rgbMaterial("RGB.Cloud", s.RgbCloud, 4);
    rgbMaterial("RGB.Earth1", s.RgbEarth1, 3);
    rgbMaterial("RGB.Earth2", s.RgbEarth2, 3);
    rgbLight("RGB.Red", s.RgbRed);
    rgbLight("RGB.Green", s.RgbGreen);
    rgbLight("RGB.Blue", s.RgbBlue);
    sunMaterial("Sun.Cloud", s.SunCloud, 4);
    sunMaterial("Sun.Earth1", s.SunEarth1, 3);
    sunMaterial("Sun.Earth2", s.SunEarth2, 3);
    sunMaterial("Sun.Atmos", s.SunAtmos, 4);
    colour("Sun.Light", "Diffuse", s.SunLight.Diffuse, 3);
    colour("Sun.Light", "Ambient", s.SunLight.Ambient, 3);
    colour("Sun.Light", "Specular", s.SunLight.Specular, 3);
}

// A float setting; values a single cannot hold read as the default.
float ReadSingle(const TIniFile& ini, const std::string& section, const std::string& key,
                 float defaultValue) {
    const float value = static_cast<float>(ini.ReadFloat(section, key, defaultValue));
    return std::isfinite(value) ? value : defaultValue;
}

void AddConfig1(TIniBatch& batch, const TSettings& settings, const TMapInfo& mapInfo,
                const TVertex& proj) {
    batch.WriteString(texts::ProgramSection, "Version", texts::CurrentVersion);
    const TProxy& p = settings.Proxy;
    batch.WriteBool(Proxy, "Autodetect", p.Autodetect);
    batch.WriteBool(Proxy, "Enabled", p.Enabled);
    batch.WriteString(Proxy, "Address", p.Address);
    batch.WriteString(Proxy, "Port", p.Port);
    batch.WriteBool(Proxy, "Authenticate", p.Authenticate);
    batch.WriteString(Proxy, "Username", p.Username);
    batch.WriteString(Proxy, "Password", p.Password);
    batch.WriteString(Map, "LastDate", DateTimeZToIso(mapInfo.LastMap));
    // The live view, so the next start resumes where this one ended.
    batch.WriteFloat(Map, "LastX", NormLon(proj.X));
    batch.WriteFloat(Map, "LastY", NormLon(proj.Y));
    batch.WriteFloat(Map, "LastZ", proj.Z);
    batch.WriteInteger(Map, "AutoFilterVal", mapInfo.AutoFilterVal);
    batch.WriteString(Map, "Credit", Cp1252ToUtf8(mapInfo.Credit));
    batch.WriteInteger(Map, "ServerIndex", settings.ServerIndex);
    const TFeatures& f = settings.Features;
    batch.WriteBool(Features, "WorldTexturing", f.WorldTexturing);
    batch.WriteBool(Features, "CountryBoundaries", f.CountryBoundaries);
    batch.WriteBool(Features, "CountryNames", f.CountryNames);
    batch.WriteBool(Features, "DayNight", f.DayNight);
    batch.WriteBool(Features, "TimeZoneGrid", f.TimeZoneGrid);
    batch.WriteBool(Features, "CityLights", f.CityLights);
    batch.WriteBool(Features, "AutoUpdate", f.AutoUpdate);
}

void AddConfig2(TIniBatch& batch, const TSettings& settings) {
    batch.WriteBool(GeneralCloud, "AutoFilter", settings.AutoFilter);
    batch.WriteInteger(GeneralCloud, "UserFilterVal", settings.UserFilterVal);
    VisitLighting(settings.Lighting,
                  [&](const char* section, const std::string& key, const float& value) {
                      batch.WriteFloat(section, key, value);
                  });
}

} // namespace

void ReadSettings(const std::string& path, const std::string& dataFolder, TSettings& settings,
                  TMapInfo& mapInfo) {
    const TIniFile ini = ReadIniFile(path);
    settings = TSettings();

    settings.Version = ini.ReadString(texts::ProgramSection, "Version", "");
    settings.GetCatalogue = ini.ReadBool(texts::ProgramSection, texts::CatalogueSwitchKey, true);
    settings.CatalogueUrl = ini.ReadString(texts::ProgramSection, texts::CatalogueUrlKey, "");

    TProxy& p = settings.Proxy;
    p.Autodetect = ini.ReadBool(Proxy, "Autodetect", true);
    if (p.Autodetect) {
        ReadSystemProxy("http", p.Address, p.Port);
        p.Enabled = !p.Address.empty() && !p.Port.empty();
        p.System = SystemProxyFromEnvironment();
    } else {
        p.Enabled = ini.ReadBool(Proxy, "Enabled", false);
        p.Address = ini.ReadString(Proxy, "Address", "");
        p.Port = ini.ReadString(Proxy, "Port", "");
        p.Authenticate = ini.ReadBool(Proxy, "Authenticate", false);
        p.Username = ini.ReadString(Proxy, "Username", "");
        p.Password = ini.ReadString(Proxy, "Password", "");
    }

    TDateTimeZ twoDaysAgo = NowDateTimeZ();
    twoDaysAgo.DateTime -= 2;
    twoDaysAgo.TimeZone = 0;
    mapInfo.LastMap = IsoToDateTimeZ(ini.ReadString(Map, "LastDate", DateTimeZToIso(twoDaysAgo)));

    mapInfo.LastPos.X = ReadSingle(ini, Map, "LastX", 0);
    mapInfo.LastPos.Y = ReadSingle(ini, Map, "LastY", 0);
    mapInfo.LastPos.Z = ReadSingle(ini, Map, "LastZ", -15);

    if (ini.ValueExists(Map, texts::DirectUrlKey)) {
        mapInfo.Map.clear();
        TMap direct;
        direct.Url = ini.ReadString(Map, texts::DirectUrlKey, "");
        direct.Filter = ini.ReadByte(Map, texts::DirectFilterKey, 0);
        direct.Credit = texts::DirectServerCredit;
        mapInfo.Map.push_back(direct);
        mapInfo.UseDirectUrl = true;
    }

    mapInfo.Credit.clear();
    mapInfo.AutoFilterVal = 0;
    if (FindCachedClouds(dataFolder).Type != TypUnk) {
        mapInfo.AutoFilterVal = ini.ReadByte(Map, "AutoFilterVal", 0);
        if (ini.ValueExists(Map, "Credit"))
            mapInfo.Credit = Utf8ToCp1252(ini.ReadString(Map, "Credit", ""));
    }
    // The facts kept with the picture speak for it: a command-line update installs pictures
    // without writing this file. Without them (older installs) the values above stand.
    if (const auto facts = ReadCloudFacts(dataFolder, UtcNowDateTime())) {
        mapInfo.LastMap = facts->LastMap;
        mapInfo.AutoFilterVal = facts->Filter;
        mapInfo.Credit = facts->Credit;
    }
    mapInfo.DownFilter = mapInfo.AutoFilterVal;
    mapInfo.DownCredit = mapInfo.Credit;

    // Only "random" and the ten server items exist; anything else would name no item.
    settings.ServerIndex = ini.ReadInteger(Map, "ServerIndex", 0);
    if (settings.ServerIndex < 0 || settings.ServerIndex > 10) settings.ServerIndex = 0;
    settings.History.Days =
        std::clamp(ini.ReadInteger(Map, "HistoryDays", THistoryBounds{}.Days), 0, MaxHistoryDays);
    settings.History.MB =
        std::clamp(ini.ReadInteger(Map, "HistoryMB", THistoryBounds{}.MB), 0, MaxHistoryMB);
    settings.AutoUpdateMinutes = ClampAutoUpdateMinutes(
        ini.ReadInteger(Map, "AutoUpdateMinutes", DefaultAutoUpdateMinutes));

    TFeatures& f = settings.Features;
    f.WorldTexturing = ini.ReadBool(Features, "WorldTexturing", true);
    f.CountryBoundaries = ini.ReadBool(Features, "CountryBoundaries", true);
    f.CountryNames = ini.ReadBool(Features, "CountryNames", true);
    f.DayNight = ini.ReadBool(Features, "DayNight", false);
    f.TimeZoneGrid = ini.ReadBool(Features, "TimeZoneGrid", false);
    f.CityLights = ini.ReadBool(Features, "CityLights", true);
    f.AutoUpdate = ini.ReadBool(Features, "AutoUpdate", false);
    settings.ShowCustomWay = ini.ReadBool(Features, "ShowCustomWay", true);

    settings.AutoFilter = ini.ReadBool(GeneralCloud, "AutoFilter", true);
    settings.UserFilterVal = ini.ReadByte(GeneralCloud, "UserFilterVal", 0);

    const TLightingSets defaults = DefaultLighting();
    TLightingSets& lighting = settings.Lighting;
    std::size_t index = 0;
    std::vector<float> defaultValues;
    VisitLighting(defaults, [&](const char*, const std::string&, const float& value) {
        defaultValues.push_back(value);
    });
    VisitLighting(lighting, [&](const char* section, const std::string& key, float& value) {
        value = ReadSingle(ini, section, key, defaultValues[index++]);
    });

    if (lighting.SunLight.Diffuse[0] > 0.2f) {
        lighting.SunLight.Diffuse[0] = 0.2f;
        lighting.SunLight.Diffuse[1] = 0.2f;
        lighting.SunLight.Diffuse[2] = 0.23f;
    }
}

bool SettingsNeedRewrite(const TSettings& settings) {
    return settings.Version != texts::CurrentVersion;
}

void RewriteSettings(const std::string& path, const TSettings& settings, const TMapInfo& mapInfo,
                     const TVertex& proj) {
    ClearReadOnly(path);
    TIniBatch batch;
    AddConfig1(batch, settings, mapInfo, proj);
    AddConfig2(batch, settings);
    CommitIniFresh(batch, path);
}

void SaveConfig1(const std::string& path, const TSettings& settings, const TMapInfo& mapInfo,
                 const TVertex& proj) {
    ClearReadOnly(path);
    TIniBatch batch;
    AddConfig1(batch, settings, mapInfo, proj);
    CommitIni(batch, path);
}

void SaveConfig2(const std::string& path, const TSettings& settings) {
    ClearReadOnly(path);
    TIniBatch batch;
    AddConfig2(batch, settings);
    CommitIni(batch, path);
}

void WriteShowCustomWay(const std::string& path, bool show) {
    ClearReadOnly(path);
    TIniBatch batch;
    batch.WriteBool(Features, "ShowCustomWay", show);
    CommitIni(batch, path);
}

std::string UpdateWeatherCaption(int serverIndex) {
    if (serverIndex == 0) return "Update weather (random server)";
    return "Update weather (use Server " + std::to_string(serverIndex) + ")";
}

void RemoveStaleTemps(const std::string& dataFolder, const std::string& settingsPath) {
    RemoveStaleReplacementTemps(dataFolder, {FileNameOf(settingsPath), texts::WaypointFileName,
                                             texts::NoticeFileName, texts::CloudFactsFileName});
}

} // namespace nimbora
