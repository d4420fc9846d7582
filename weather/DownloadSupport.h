#pragma once
// Small routines of the cloud download that need neither a network nor a window: temporary
// file names, the JPEG completeness test, the Last-Modified date, the progress percentage,
// the server choice and the check that a downloaded body really is the picture it claims.
#include "core/HttpDate.h"
#include "core/Iso8601.h"
#include "platform/Files.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace nimbora {

// Kind of downloaded content.
enum TTyp : int { TypTxt = 0, TypPng = 1, TypJpg = 2, TypUnk = 3 };

// The program's random generator, seeded once from the clock. Guarded internally, so a worker
// thread may use it too.
std::uint32_t RandomNumber();
// Uniform in 0 .. n - 1 from the program's generator (0 when n is 0).
std::size_t RandomBelow(std::size_t n);

// Characters RandomText draws from: valid in file names everywhere, no case ambiguity.
inline constexpr char RandomTextAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";

// count characters, each drawn uniformly from RandomTextAlphabet.
std::string RandomText(int count);

// Creates a new empty file tempFolder + 8 random characters + ".dat", exclusively, readable and
// writable by the owner only and never through a symbolic link, and returns its path. A name
// that is taken (also by a planted link) is drawn anew. Empty text when no file could be made.
std::string MakeTempFileName(const std::string& tempFolder);

// Opens a file made by MakeTempFileName for writing from its start (truncating it), refusing a
// symbolic link in its place. Returns the descriptor, or -1.
TFile OpenTempFileForWriting(const std::string& path);

// False when the file does not exist or cannot be read. A file that begins with the JPEG
// start-of-image marker FF D8 is complete exactly when it ends with FF D9; any other file is
// not judged and counts as complete.
bool IsCompleteJpeg(const std::string& path);

// The date of the first header line that begins, in any case, with "Last-Modified:"; the text
// from its 15th character on, trimmed, is the date. Without such a line, or when its date
// cannot be read, the result is fallback (the value sent as If-Modified-Since).
double LastModifiedFromHeaders(const std::vector<std::string>& headerLines, double fallback);

// The current UTC time as a day count since 1899-12-30.
double UtcNowDateTime();

// A Last-Modified date further ahead of the clock than this is not believed.
inline constexpr double MaxDateAheadDays = 1.0;

// The date of a received picture. The server's Last-Modified when it can be read and lies no
// more than MaxDateAheadDays ahead of now; otherwise the time of receipt (now), and
// FromServer is false: such a date says nothing about whether the picture is new.
struct TPictureDate {
    double DateTime = 0;
    bool FromServer = false;
};
TPictureDate PictureDateFromHeaders(const std::vector<std::string>& headerLines, double nowUtc);

// received / length × 100 rounded to the nearest whole number, halves to even. No value when
// the length is 0 or unknown (negative).
std::optional<std::int64_t> ProgressPercent(std::uint32_t received, std::int32_t length);

// "Downloading " + percentage + "%..." for a known length. For an unknown (negative) length
// the bytes so far, so that the line still moves: "Downloading 512 KB..." in whole KiB below
// 10 MiB, then in whole MiB ("Downloading 37 MB..."). No value for a length of 0: the status
// line stays as it is.
std::optional<std::string> ProgressStatusText(std::uint32_t received, std::int32_t length);

// Uniform in 0 .. n - 1; tests inject a seeded source.
using TRandomBelow = std::function<std::size_t(std::size_t n)>;

// Index of the server list entry to fetch from: serverIndex 1 .. 10 (a fixed server from the
// menu) gives entry serverIndex - 1, any other value a uniformly drawn entry. No value when
// the list is empty or the fixed server lies beyond the list.
std::optional<std::size_t> ChooseServer(unsigned serverIndex, std::size_t serverCount,
                                        const TRandomBelow& randomBelow = RandomBelow);

// True when the file decodes completely as the picture its type names (TypPng or TypJpg) and
// its dimensions lie within the limits of the cloud picture processing. Any other type is
// false. Run by the download worker before it reports a picture as received.
bool IsUsablePicture(const std::string& path, TTyp type);

} // namespace nimbora
