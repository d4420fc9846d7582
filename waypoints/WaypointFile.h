#pragma once
// The user's own places on disk: an INI file with one section per waypoint, "Waypoint1",
// "Waypoint2", ... each with "Name" (UTF-8), "Lat" and "Lon" (the user's number form).
#include "render/Points.h"

#include <string>

namespace nimbora {

// A custom waypoint as the scene draws it: green, Nam in Windows-1252 ("?" for what that
// cannot show), the typed name kept in NamUtf8.
TDrawPoint MakeWaypoint(const std::string& utf8Name, double lat, double lon);

// What a typed name becomes: line breaks and other control characters as blanks, blanks at
// both ends removed, and at most MaxWaypointNameLength characters, so that the name reads back
// from the file exactly as it was written.
std::string CleanWaypointName(const std::string& utf8Name);
inline constexpr std::size_t MaxWaypointNameLength = 2047;

// Appends the file's waypoints to points, in file order: sections Waypoint1, Waypoint2, ...
// up to the first number that is missing. A missing name is the section name, an unreadable
// number 0. Positions a hand-edited file could spoil are made drawable: a latitude beyond a
// pole is held at the pole, a longitude outside (-180, 180] brought round. Returns the number
// added; a missing file adds nothing. complete is false when the file was too large to be read
// whole (it must then not be rewritten, or the waypoints beyond the limit would be lost).
std::size_t LoadCustomWaypoints(const std::string& path, TDrawPointList& points,
                                bool* complete = nullptr);

// The file's text for every WpTUser point of points, in list order, numbered from 1.
std::string WaypointFileText(const TDrawPointList& points);

// Rewrites the file with the custom waypoints of points, or deletes it when there are none.
// The new file replaces the old in one step, so a failure keeps the old one whole. Throws
// TSettingsWriteError.
void SaveCustomWaypoints(const std::string& path, const TDrawPointList& points);

// Latitude and longitude as the file stores them: up to 15 significant digits, no trailing
// zeros, the user's decimal separator ("40.5", "-73.98", "0").
std::string FormatWaypointNumber(double value);
// A longitude the same way, in (-180, 180] as written: digits that round to -180 give "180".
std::string FormatWaypointLongitude(double lon);

} // namespace nimbora
