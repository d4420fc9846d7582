#pragma once
// Finding a place by what the user types: a name of the name table or of the user's own
// waypoints, or a position written as two coordinates.
#include "render/Points.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nimbora {

struct TPlace {
    std::string Name; // UTF-8, as the user sees it
    double Lat = 0;   // degrees, north positive
    double Lon = 0;   // degrees, east positive
};

// Text as the search compares it: Latin letters without their accents and in lower case
// ("Côte d’Ivoire" -> "cote d'ivoire", "Straße" -> "strasse"), blanks squeezed to one and
// trimmed. Other characters stay as they are; malformed UTF-8 becomes "?".
std::string FoldForSearch(std::string_view utf8);

// Two coordinates, latitude first unless the hemisphere letters say otherwise, each read as
// the waypoint dialog reads one: "40 30 N, 3 42 W", "-33.87 151.2", "3°42'W 40°30'N",
// "48,85; 2,35". Without letters, fields that are not parted by "," or ";" must be single
// numbers ("40 30 3 42" is too ambiguous to guess).
std::optional<TPlace> ReadTypedPosition(std::string_view text);

// The names a marked point list holds: the name table, the special point and the custom
// waypoints, each with the folded name it is looked up by.
class TPlaceIndex {
public:
    TPlaceIndex() = default;
    explicit TPlaceIndex(const TDrawPointList& points);

    // Up to limit places whose name contains the typed text, folded alike: the whole name
    // first, then names that start with it, then names with a word that starts with it, then
    // the rest; shorter names first within each group, then the list's order.
    std::vector<TPlace> Matches(std::string_view typed, std::size_t limit) const;

    std::size_t Size() const { return Entries.size(); }

private:
    struct TEntry {
        TPlace Place;
        std::string Key;
    };
    std::vector<TEntry> Entries;
};

// What the find box goes to for its text: a typed position, else the best matching name.
std::optional<TPlace> FindPlace(const TPlaceIndex& index, std::string_view typed);

} // namespace nimbora
