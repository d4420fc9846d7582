#include "waypoints/CustomWaypoints.h"

#include "core/IniFile.h"
#include "core/TextHelpers.h"
#include "waypoints/WaypointFile.h"

#include <algorithm>

namespace nimbora {

TCustomWaypoints::TCustomWaypoints(TDrawPointList points, bool showCustomWay, std::string file,
                                   bool fileWritable, QObject* parent)
    : QObject(parent), List(std::move(points)), Show(showCustomWay), File(std::move(file)),
      FileWritable(fileWritable) {}

void TCustomWaypoints::SetShowCustomWay(bool show) {
    Show = show;
    emit ShowCustomWayChanged(show);
}

int TCustomWaypoints::Find(const std::string& name) const {
    for (std::size_t row = 0; row < List.size(); ++row) {
        const TRepPoint& p = List[row].RepPoint;
        if (EqualNoCase(p.NamUtf8.empty() ? p.Nam : p.NamUtf8, name)) return static_cast<int>(row);
    }
    return -1;
}

std::string TCustomWaypoints::Add(const std::string& name, double lat, double lon) {
    List.push_back(MakeWaypoint(name, lat, lon));
    return Changed();
}

std::string TCustomWaypoints::Replace(std::size_t row, const std::string& name, double lat,
                                      double lon) {
    if (row >= List.size()) return {};
    List[row] = MakeWaypoint(name, lat, lon);
    return Changed();
}

std::string TCustomWaypoints::Remove(std::size_t row) {
    if (row >= List.size()) return {};
    List.erase(List.begin() + static_cast<std::ptrdiff_t>(row));
    return Changed();
}

void TCustomWaypoints::RequestShow(std::size_t row) {
    if (row < List.size()) emit ShowRequested(List[row].RepPoint.Lat, List[row].RepPoint.Lon);
}

std::string TCustomWaypoints::Changed() {
    emit PointsChanged();
    try {
        if (!FileWritable) throw TSettingsWriteError("Unable to write to " + File);
        SaveCustomWaypoints(File, List);
    } catch (const TSettingsWriteError& error) {
        return error.what();
    }
    return {};
}

TDrawPointList CustomWaypointsOf(const TDrawPointList& points) {
    TDrawPointList custom;
    for (std::size_t i : UserPointIndices(points))
        custom.push_back(points[i]);
    return custom;
}

void ReplaceCustomWaypoints(TDrawPointList& points, const TDrawPointList& custom) {
    std::erase_if(points, [](const TDrawPoint& p) { return p.Kind == WpTUser; });
    points.insert(points.end(), custom.begin(), custom.end());
}

} // namespace nimbora
