// The settings reader on any file, and the rewrite of what it read: reading the rewritten file
// gives the same choices again.
#include "app/Settings.h"
#include "fuzz/FuzzSupport.h"

using namespace nimbora;

namespace {

TMapInfo BuiltInServer() {
    TMapInfo info;
    info.Map.push_back(TMap{"https://example.org/clouds.jpg", 120, "Example"});
    return info;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = fuzz::ScratchPath("nimbora.ini");
    static const std::string again = fuzz::ScratchPath("rewritten.ini");
    static const std::string folder = fuzz::ScratchPath("");
    fuzz::WriteScratchFile(path, {reinterpret_cast<const char*>(data), size});

    TSettings settings;
    TMapInfo info = BuiltInServer();
    ReadSettings(path, folder, settings, info);
    FUZZ_CHECK(!info.Map.empty());
    SettingsNeedRewrite(settings);
    UpdateWeatherCaption(settings.ServerIndex);

    RewriteSettings(again, settings, info, info.LastPos);
    TSettings reread;
    TMapInfo rereadInfo = BuiltInServer();
    ReadSettings(again, folder, reread, rereadInfo);
    FUZZ_CHECK(reread.ServerIndex == settings.ServerIndex);
    FUZZ_CHECK(reread.AutoFilter == settings.AutoFilter);
    FUZZ_CHECK(reread.UserFilterVal == settings.UserFilterVal);
    FUZZ_CHECK(reread.Features.WorldTexturing == settings.Features.WorldTexturing);
    FUZZ_CHECK(reread.Features.CountryBoundaries == settings.Features.CountryBoundaries);
    FUZZ_CHECK(reread.Features.CountryNames == settings.Features.CountryNames);
    FUZZ_CHECK(reread.Features.DayNight == settings.Features.DayNight);
    FUZZ_CHECK(reread.Features.TimeZoneGrid == settings.Features.TimeZoneGrid);
    FUZZ_CHECK(rereadInfo.AutoFilterVal == info.AutoFilterVal);
    FUZZ_CHECK(rereadInfo.Credit == info.Credit);
    return 0;
}
