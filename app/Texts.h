#pragma once
// The program's fixed texts that are not part of its visible wording elsewhere: names of the
// data folders and settings keys, server addresses, request header values and window titles.
// They are plain constants kept together here.

namespace nimbora::texts {

inline constexpr char ProductName[] = "Nimbora";
inline constexpr char MakerFolder[] = "NimboraProject";
inline constexpr char ProductFolder[] = "Nimbora";
inline constexpr char ProgramSection[] = "Nimbora"; // section holding "Version"
inline constexpr char CurrentVersion[] = "033000";
inline constexpr char VersionText[] = "version 3.3 (build 033000)";

// Settings keys of our own.
inline constexpr char CatalogueSwitchKey[] = "GetCatalogue"; // program section, hand-edited
inline constexpr char CatalogueUrlKey[] = "CatalogueUrl";    // program section, hand-edited
inline constexpr char DirectUrlKey[] = "ServerUrl";          // section "Map", hand-edited
inline constexpr char DirectFilterKey[] = "ServerFilter";    // section "Map", hand-edited

// The built-in weather server.
inline constexpr char BuiltInServerUrl[] =
    "https://clouds.matteason.co.uk/images/2048x1024/clouds.jpg";
inline constexpr int BuiltInServerFilter = 190;
inline constexpr char BuiltInServerCredit[] = "Contains modified EUMETSAT data";
// Credit of a server given directly in the settings file.
inline constexpr char DirectServerCredit[] = "Cloud picture from your own server";

// Start-up status lines.
inline constexpr char TitleText[] = "Nimbora - the weather of the whole planet";
inline constexpr char InitialUpdateText[] = "Clouds: waiting for data";
inline constexpr char FallbackCredit[] = "Nimbora";

// Cloud cache file names in the data folder.
inline constexpr char CloudsBaseName[] = "clouds";
inline constexpr char WaypointFileName[] = "waypoints.ini";

} // namespace nimbora::texts
