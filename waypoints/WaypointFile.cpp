#include "waypoints/WaypointFile.h"

#include "core/Cp1252.h"
#include "core/IniFile.h"
#include "core/support.h"
#include "platform/Files.h"
#include "platform/IniStore.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace nimbora {

namespace {

constexpr char SectionPrefix[] = "Waypoint";

} // namespace

TDrawPoint MakeWaypoint(const std::string& utf8Name, double lat, double lon) {
    TDrawPoint p = MakeDrawPoint(Utf8ToCp1252(utf8Name), lat, lon, WpTUser);
    p.RepPoint.NamUtf8 = utf8Name;
    return p;
}

std::string CleanWaypointName(const std::string& utf8Name) {
    std::string name = utf8Name;
    for (char& c : name)
        if (static_cast<unsigned char>(c) < ' ' || c == 0x7F) c = ' ';
    const std::size_t begin = name.find_first_not_of(' ');
    if (begin == std::string::npos) return {};
    name = name.substr(begin, name.find_last_not_of(' ') - begin + 1);
    // Cut at a character boundary.
    std::size_t chars = 0;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if ((static_cast<unsigned char>(name[i]) & 0xC0) == 0x80) continue;
        if (chars == MaxWaypointNameLength) {
            name.resize(i);
            break;
        }
        ++chars;
    }
    return name;
}

std::size_t LoadCustomWaypoints(const std::string& path, TDrawPointList& points, bool* complete) {
    const TIniFile ini = ReadIniFile(path, complete);
    if (!FileExists(path)) return 0;
    std::size_t added = 0;
    for (unsigned long n = 1;; ++n) {
        const std::string section = SectionPrefix + std::to_string(n);
        if (!ini.SectionExists(section)) break;
        double lat = ini.ReadFloat(section, "Lat", 0);
        double lon = ini.ReadFloat(section, "Lon", 0);
        // The reader gives finite numbers only; the rest keeps SpherePoint's floats finite.
        lat = std::clamp(lat, -90.0, 90.0);
        if (lon <= -180 || lon > 180) lon = NormLon(lon);
        points.push_back(MakeWaypoint(ini.ReadString(section, "Name", section), lat, lon));
        ++added;
    }
    return added;
}

std::string FormatWaypointNumber(double value) {
    if (!std::isfinite(value)) value = 0;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.15g", value);
    std::string text = buffer;
    for (char& c : text)
        if (c == '.') c = DecimalSeparator();
    return text;
}

std::string FormatWaypointLongitude(double lon) {
    std::string text = FormatWaypointNumber(lon);
    double written = 0;
    if (ParseLocaleFloat(text, written) && (written <= -180 || written > 180))
        text = FormatWaypointNumber(NormLon(written));
    return text;
}

std::string WaypointFileText(const TDrawPointList& points) {
    std::string text;
    unsigned long n = 0;
    for (const std::size_t i : UserPointIndices(points)) {
        const TRepPoint& r = points[i].RepPoint;
        text += "[" + std::string(SectionPrefix) + std::to_string(++n) + "]\n";
        text += "Name=" + (r.NamUtf8.empty() ? Cp1252ToUtf8(r.Nam) : r.NamUtf8) + "\n";
        text += "Lat=" + FormatWaypointNumber(r.Lat) + "\n";
        text += "Lon=" + FormatWaypointLongitude(r.Lon) + "\n";
    }
    return text;
}

void SaveCustomWaypoints(const std::string& path, const TDrawPointList& points) {
    const std::string text = WaypointFileText(points);
    if (text.empty()) {
        if (!DeleteFileIfExists(path)) throw TSettingsWriteError("Unable to write to " + path);
        return;
    }
    ReplaceFileAtomically(path, text);
}

} // namespace nimbora
