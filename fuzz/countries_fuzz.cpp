// The name table reader on any text: every row has a name and finite coordinates.
#include "fuzz/FuzzSupport.h"
#include "render/countries.h"

#include <cmath>

using namespace nimbora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto rows = ReadCountryTable({reinterpret_cast<const char*>(data), size});
    for (const TCountryRow& row : rows) {
        FUZZ_CHECK(!row.Name.empty());
        FUZZ_CHECK(std::isfinite(row.Lat) && std::isfinite(row.Lon));
    }
    FUZZ_CHECK(rows.size() <= size / 5 + 1);
    return 0;
}
