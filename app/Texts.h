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

// Request header values.
inline constexpr char DownloadAgent[] = "Nimbora/3.3 (cloud map)";
inline constexpr char CatalogueAgent[] = "Nimbora/3.3 (catalogue)";
inline constexpr char DownloadAccept[] = "image/png, image/jpeg";
inline constexpr char AcceptLanguage[] = "en";
inline constexpr char ConnectionValue[] = "close";
inline constexpr char ExtraRequestHeader[] = "Cache-Control: no-cache";
inline constexpr char AcceptGzipHeader[] = "Accept-Encoding: gzip";
// Answers: the header and token of a gzip-coded body, and the transfer coding of a body of
// unknown length.
inline constexpr char ContentEncodingHeader[] = "Content-Encoding:";
inline constexpr char GzipToken[] = "gzip";
inline constexpr char ChunkedToken[] = "chunked";

// Status lines of a download.
inline constexpr char DownloadCompleteText[] = "Download complete";
inline constexpr char NoNewerPictureText[] = "No newer cloud picture on the server";
inline constexpr char ErrorHintText[] = "Try again later, or choose another server";
inline constexpr char ErrorHintText2[] = "in the options menu (top right).";

// The catalogue's own sections and keys.
inline constexpr char ServiceSection[] = "Service";
inline constexpr char IdentityKey[] = "Program";
inline constexpr char VersionSection[] = "Version";
inline constexpr char VersionCodeKey[] = "Code";
inline constexpr char VersionTextKey[] = "Text";
inline constexpr char LinkKey[] = "Link";
inline constexpr char InfoSection[] = "Info";
inline constexpr char ContactKey[] = "Contact";
inline constexpr char NoticeKey[] = "Notice";
inline constexpr char NoticeLinkKey[] = "NoticeLink";
inline constexpr char MakerKey[] = "Maker";
// Where the day of the last notices is remembered (data folder), apart from the settings so
// that a version change does not show old notices again.
inline constexpr char NoticeFileName[] = "notices.ini";
inline constexpr char NoticeSection[] = "Notices";
inline constexpr char DateShownKey[] = "DateShown";

// Service links shown in the about dialog until a catalogue brings others.
inline constexpr char HomeUrl[] = "https://nimbora.app/";
inline constexpr char HomeContact[] = "mailto:hello@nimbora.app";
inline constexpr char ProdUrl[] = "https://nimbora.app/about";

// Cloud cache file names in the data folder.
inline constexpr char CloudsBaseName[] = "clouds";
inline constexpr char WaypointFileName[] = "waypoints.ini";

} // namespace nimbora::texts
