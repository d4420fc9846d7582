#pragma once
// Fixed texts of the weather work: the built-in server, request header values, the catalogue's
// sections and keys, the status lines of a download and the cloud cache's name.

namespace nimbora::texts {

// The built-in weather server.
inline constexpr char BuiltInServerUrl[] =
    "https://clouds.matteason.co.uk/images/2048x1024/clouds.jpg";
inline constexpr int BuiltInServerFilter = 190;
inline constexpr char BuiltInServerCredit[] = "Contains modified EUMETSAT data";

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
// Added to the second hint line after a connection failure, followed by the settings file name.
inline constexpr char ProxyHintText[] = " Proxy: [Proxy] in ";

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

// Cloud cache file names in the data folder: the picture and the facts kept beside it.
inline constexpr char CloudsBaseName[] = "clouds";
inline constexpr char CloudFactsFileName[] = "clouds.ini";

} // namespace nimbora::texts
