#pragma once
// Fixed texts of the top of the program: settings keys of our own and the start-up status lines.

namespace nimbora::texts {

// Settings keys of our own.
inline constexpr char CatalogueSwitchKey[] = "GetCatalogue"; // program section, hand-edited
inline constexpr char CatalogueUrlKey[] = "CatalogueUrl";    // program section, hand-edited
inline constexpr char DirectUrlKey[] = "ServerUrl";          // section "Map", hand-edited
inline constexpr char DirectFilterKey[] = "ServerFilter";    // section "Map", hand-edited

// Credit of a server given directly in the settings file.
inline constexpr char DirectServerCredit[] = "Cloud picture from your own server";

// The description of the program's shortcuts.
inline constexpr char ShortcutDescription[] = "The weather of the whole planet on a turning globe";

// Start-up status lines.
inline constexpr char TitleText[] = "Nimbora - the weather of the whole planet";
inline constexpr char InitialUpdateText[] = "Clouds: waiting for data";
inline constexpr char FallbackCredit[] = "Nimbora";

// The user's own places, in the data folder.
inline constexpr char WaypointFileName[] = "waypoints.ini";

} // namespace nimbora::texts
