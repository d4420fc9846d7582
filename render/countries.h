#pragma once
// The built-in name table: 250 countries and territories, then 18 seas and oceans, each with the
// position of its label. The table is the embedded places.csv (UTF-8, header "name,lat,lon").
#include "render/Points.h"

#include <string>
#include <string_view>
#include <vector>

namespace nimbora {

struct TCountryRow {
    std::string Name; // Windows-1252
    float Lat = 0;    // degrees, north positive
    float Lon = 0;    // degrees, east positive
};

inline constexpr int CountryRowCount = 250;
inline constexpr int SeaRowCount = 18;

// Parses the table text: a first line "name,lat,lon" is skipped; fields may be quoted ("a, b",
// with "" for a quote inside); lines "\n" or "\r\n". A row that does not have a name and two
// finite numbers is left out. Names are converted to Windows-1252.
std::vector<TCountryRow> ReadCountryTable(std::string_view csv);

// The name table, read from the embedded resource on first use (registers the resources
// itself). Empty only if the program was built without its resources.
const std::vector<TCountryRow>& countries();

// Appends one WpTCountry point per table row, in table order, then the WpTSpecial point.
void AddNamePoints(TDrawPointList& points);

} // namespace nimbora
