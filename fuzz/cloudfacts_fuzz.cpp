// The facts file kept beside the cloud picture, as anything a disk may hold: reading never
// crashes, believes only dates that are not ahead of the clock, and what it believed is written
// and read back the same. The picture in hand has 64 bytes, so inputs with "Size=64" get past
// the check that the facts belong to it. The same bytes are also read as the name of a kept
// picture of the cloud history: a name taken names its time and type the same way again.
#include "fuzz/FuzzSupport.h"
#include "weather/CloudCache.h"
#include "weather/CloudHistory.h"

#include <cmath>

using namespace nimbora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string folder = fuzz::ScratchPath("");
    static const bool picture = [] {
        fuzz::WriteScratchFile(fuzz::ScratchPath("clouds.jpg"), std::string(64, 'p'));
        return true;
    }();
    (void)picture;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    if (const auto name = ParseHistoryFileName(bytes)) {
        FUZZ_CHECK(name->Type == TypJpg || name->Type == TypPng);
        FUZZ_CHECK(HistoryFileName(name->Utc, name->Type) == bytes);
    }
    fuzz::WriteScratchFile(CloudFactsPath(folder), bytes);

    const double now = 45000.5; // 2023-03-15 12:00 UTC
    const auto facts = ReadCloudFacts(folder, now);
    if (!facts) return 0;
    const double utc = facts->LastMap.DateTime - facts->LastMap.TimeZone / 1440.0;
    FUZZ_CHECK(facts->LastMap.Exists && utc > 0 && utc <= now + MaxDateAheadDays);

    FUZZ_CHECK(WriteCloudFacts(folder, *facts));
    const auto again = ReadCloudFacts(folder, now);
    FUZZ_CHECK(again);
    FUZZ_CHECK(again->Filter == facts->Filter);
    FUZZ_CHECK(again->Credit == facts->Credit);
    FUZZ_CHECK(again->LastMap.TimeZone == facts->LastMap.TimeZone);
    // Written to the whole second, as the settings' date is (HTTP dates have no fractions).
    FUZZ_CHECK(std::fabs(again->LastMap.DateTime - facts->LastMap.DateTime) < 1.0 / 86400);
    return 0;
}
