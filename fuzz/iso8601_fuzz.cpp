// The ISO 8601 reader (LastDate of the settings): any text, and for a date it accepts,
// read -> write -> read gives the same instant and offset, and writing it again the same text.
#include "core/Iso8601.h"
#include "fuzz/FuzzSupport.h"

#include <cmath>

using namespace nimbora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const TDateTimeZ first = IsoToDateTimeZ(text);
    if (!first.Exists) return 0;
    FUZZ_CHECK(std::isfinite(first.DateTime));
    const std::string written = DateTimeZToIso(first);
    const TDateTimeZ second = IsoToDateTimeZ(written);
    FUZZ_CHECK(second.Exists);
    FUZZ_CHECK(second.TimeZone == first.TimeZone);
    // The text keeps whole seconds (or finer); the instant may lose only what it cannot show.
    FUZZ_CHECK(std::fabs(second.DateTime - first.DateTime) <= 1.001 / 86400);
    FUZZ_CHECK(DateTimeZToIso(second) == written);
    DateTimeZToLocal(first);
    return 0;
}
