// The polyline reader on any bytes: every point it gives is finite and was in the input.
#include "fuzz/FuzzSupport.h"
#include "render/polylines.h"

#include <cmath>

using namespace nimbora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto lines = ReadPolylines({reinterpret_cast<const char*>(data), size});
    std::size_t points = 0;
    for (const TPolyline& line : lines) {
        for (const TPolyPoint& p : line.Points)
            FUZZ_CHECK(std::isfinite(p.Lon) && std::isfinite(p.Lat));
        points += line.Points.size();
    }
    // Four bytes of count per line, eight per point: nothing invented beyond the input.
    FUZZ_CHECK(points * 8 + lines.size() * 4 <= size);
    return 0;
}
