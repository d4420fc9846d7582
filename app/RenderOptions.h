#pragma once
// The options of the command-line mode, read from the program's arguments.
#include <QStringList>

#include <optional>
#include <string>

namespace nimbora {

// What the options ask for; an empty optional leaves the user's setting as it is.
struct TRenderOptions {
    std::string Target;
    int Width = 0, Height = 0; // 0: the primary screen's size, else 1920 x 1080
    bool Update = false;
    bool HasView = false;
    double Lat = 0, Lon = 0;
    std::string ViewName; // --view by name: a place, "sun" or "moon"
    bool NoStatus = false, NoAxis = false;
    std::string PerScreenPattern; // --output-per-screen
    std::optional<double> Distance;
    std::optional<bool> DayNight, Clouds, Names, Boundaries, TimeZones, CityLights;
    bool Detailed = false;
    std::optional<double> Time; // UTC day count
    double Timeout = 120;       // seconds the update may take
    bool Help = false, Version = false;
};

// Longest --timeout: a day.
inline constexpr double MaxRenderTimeout = 86400;

// Largest side of a picture; the context's own limit may be lower.
inline constexpr int MaxRenderSide = 8192;

// Parses the arguments (program name first). False with error set for anything unusable.
bool ParseRenderOptions(const QStringList& arguments, TRenderOptions& options, std::string& error,
                        std::string* helpText = nullptr);

} // namespace nimbora
