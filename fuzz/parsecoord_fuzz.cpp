// ParseCoord on any text: it never crashes, and what it accepts is a position the globe can
// draw, written in the user's number form with at most two decimals.
#include "core/SupportTestSeam.h"
#include "core/support.h"
#include "fuzz/FuzzSupport.h"
#include "waypoints/ParseCoord.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

using namespace nimbora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte picks the decimal separator and the prompt's kind.
    SetDecimalSeparator(data[0] & 1 ? ',' : '.');
    const TCoordKind kind = data[0] & 2 ? TCoordKind::Longitude : TCoordKind::Latitude;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

    std::string result;
    const bool ok = ParseCoord(text, kind, result);
    if (!ok) {
        FUZZ_CHECK(result.empty());
        return 0;
    }
    double value = 0;
    FUZZ_CHECK(ParseLocaleFloat(result, value) && std::isfinite(value));
    // Latitudes stay within the poles (unless a letter made the text a longitude), longitudes
    // within (-180, 180], after the rounding to two decimals too.
    FUZZ_CHECK(value > -180 && value <= 180);
    const std::size_t point = result.find(DecimalSeparator());
    FUZZ_CHECK(point != std::string::npos && result.size() - point - 1 <= 2);

    double read = 0;
    if (ReadCoordinate(text, kind, read)) {
        FUZZ_CHECK(read == value);
        FUZZ_CHECK(kind != TCoordKind::Latitude || std::fabs(read) <= 90);
    }
    return 0;
}
