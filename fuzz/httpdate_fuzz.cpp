// The Last-Modified reader: any header lines, and for a date it accepts, format -> parse gives
// the same instant and formatting it again the same text.
#include "core/HttpDate.h"
#include "fuzz/FuzzSupport.h"
#include "weather/DownloadSupport.h"

#include <cmath>
#include <vector>

using namespace nimbora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    const double fallback = 45000.5;
    FUZZ_CHECK(std::isfinite(LastModifiedFromHeaders(lines, fallback)));

    const TDateTimeZ first = ParseRfc1123Date(text);
    if (!first.Exists) return 0;
    FUZZ_CHECK(std::isfinite(first.DateTime));
    const std::string formatted = FormatHttpDate(first.DateTime);
    if (formatted.empty()) return 0; // outside the years a header can carry
    const TDateTimeZ second = ParseRfc1123Date(formatted);
    FUZZ_CHECK(second.Exists);
    FUZZ_CHECK(std::fabs(second.DateTime - first.DateTime) <= 1.001 / 86400);
    FUZZ_CHECK(FormatHttpDate(second.DateTime) == formatted);
    return 0;
}
