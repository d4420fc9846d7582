// The find box's text: read as a position or folded and looked up among the names, it never
// crashes; a position it reads lies on the globe, and every name offered holds the text.
#include "core/Cp1252.h"
#include "core/support.h"
#include "core/SupportTestSeam.h"
#include "fuzz/FuzzSupport.h"
#include "render/countries.h"
#include "waypoints/PlaceFinder.h"

#include <cmath>
#include <cstdint>
#include <string>

using namespace nimbora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte picks the decimal separator.
    SetDecimalSeparator(data[0] & 1 ? ',' : '.');
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

    if (const auto place = ReadTypedPosition(text)) {
        FUZZ_CHECK(std::isfinite(place->Lat) && std::fabs(place->Lat) <= 90);
        FUZZ_CHECK(std::isfinite(place->Lon) && place->Lon > -180 && place->Lon <= 180);
    }

    const std::string key = FoldForSearch(text);
    FUZZ_CHECK(IsValidUtf8(key));
    FUZZ_CHECK(FoldForSearch(key) == key);

    // The text is also the name of a waypoint of the user's, as the waypoint file may give it.
    static TDrawPointList table = [] {
        TDrawPointList points;
        AddNamePoints(points);
        return points;
    }();
    TDrawPointList points = table;
    points.push_back(MakeDrawPoint(Utf8ToCp1252(text), 0, 0, WpTUser));
    points.back().RepPoint.NamUtf8 = text;
    const TPlaceIndex index(points);
    const auto found = index.Matches(text, 20);
    FUZZ_CHECK(found.size() <= 20);
    for (const TPlace& p : found)
        FUZZ_CHECK(FoldForSearch(p.Name).find(key) != std::string::npos);
    FUZZ_CHECK(key.empty() || !found.empty()); // the waypoint at least holds it
    return 0;
}
