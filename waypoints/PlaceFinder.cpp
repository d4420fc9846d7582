#include "waypoints/PlaceFinder.h"

#include "core/Cp1252.h"
#include "core/TextHelpers.h"
#include "core/support.h"
#include "waypoints/ParseCoord.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

namespace nimbora {

namespace {

// U+00C0..U+017F without their marks, lower case; '*' marks the letters written with two.
constexpr std::string_view LatinBase = "aaaaaa*ceeeeiiii"
                                       "dnooooo\xd7ouuuuy**"
                                       "aaaaaa*ceeeeiiii"
                                       "dnooooo\xf7ouuuuy*y"
                                       "aaaaaaccccccccdd"
                                       "ddeeeeeeeeeegggg"
                                       "gggghhhhiiiiiiii"
                                       "ii**jjkkklllllll"
                                       "lllnnnnnnnnnoooo"
                                       "oo**rrrrrrssssss"
                                       "ssttttttuuuuuuuu"
                                       "uuuuwwyyyzzzzzzs";

std::string_view TwoLetterBase(std::uint32_t c) {
    switch (c) {
    case 0xC6:
    case 0xE6:
        return "ae";
    case 0xDE:
    case 0xFE:
        return "th";
    case 0xDF:
        return "ss";
    case 0x132:
    case 0x133:
        return "ij";
    case 0x152:
    case 0x153:
        return "oe";
    default:
        return "?";
    }
}

// The next code point of s at i (advanced past it); 0xFFFD for a malformed sequence.
std::uint32_t NextCodePoint(std::string_view s, std::size_t& i) {
    const auto lead = static_cast<unsigned char>(s[i++]);
    if (lead < 0x80) return lead;
    int more = 0;
    if (lead >= 0xC2 && lead <= 0xDF)
        more = 1;
    else if (lead >= 0xE0 && lead <= 0xEF)
        more = 2;
    else if (lead >= 0xF0 && lead <= 0xF4)
        more = 3;
    else
        return 0xFFFD;
    std::uint32_t c = lead & (0x3F >> more);
    const std::size_t start = i;
    for (; more > 0; --more) {
        if (i >= s.size() || (static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) return 0xFFFD;
        c = (c << 6) | (static_cast<unsigned char>(s[i++]) & 0x3F);
    }
    const std::size_t length = i - start + 1;
    if ((length == 3 && (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF))) ||
        (length == 4 && (c < 0x10000 || c > 0x10FFFF)))
        return 0xFFFD;
    return c;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// A word starts at the text's start and after anything that is not a letter or a digit.
bool StartsWord(const std::string& key, std::size_t at) {
    if (at == 0) return true;
    const auto c = static_cast<unsigned char>(key[at - 1]);
    return c < 0x80 && !std::isalnum(c);
}

// ---- typed positions

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsHemisphere(char c) {
    return std::string_view("NSEWOnsewo").find(c) != std::string_view::npos;
}

// Degree, minute and second signs in UTF-8 (° ′ ″ º) and the 8-bit degree sign.
std::size_t SignLength(std::string_view s, std::size_t i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c == '\'' || c == '"' || c == 0xB0) return 1;
    if (s.substr(i, 2) == "\xc2\xb0" || s.substr(i, 2) == "\xc2\xba") return 2;
    if (s.substr(i, 3) == "\xe2\x80\xb2" || s.substr(i, 3) == "\xe2\x80\xb3") return 3;
    return 0;
}

struct TCoordPart {
    char Letter = 0; // the hemisphere letter, upper case, or 0
    int Fields = 0;  // number groups
};

// Whether part is one coordinate: number groups, signs and blanks, and at most one
// hemisphere letter standing at its start or its end.
std::optional<TCoordPart> LooksLikeCoordinate(std::string_view part) {
    TCoordPart result;
    bool inField = false, afterLetter = false;
    for (std::size_t i = 0; i < part.size();) {
        const char c = part[i];
        if (IsDigit(c) || c == '.' || c == ',' || c == '+' || c == '-') {
            if (afterLetter) return std::nullopt; // the letter stood inside
            if (IsDigit(c) && !inField) {
                inField = true;
                ++result.Fields;
            }
            ++i;
            continue;
        }
        inField = false;
        if (IsHemisphere(c)) {
            if (result.Letter) return std::nullopt;
            result.Letter = LowerAscii(c) == 'o' ? 'W' : static_cast<char>(c & ~0x20);
            afterLetter = result.Fields > 0;
            ++i;
        } else if (IsBlank(c)) {
            ++i;
        } else if (const std::size_t n = SignLength(part, i)) {
            if (afterLetter) return std::nullopt;
            i += n;
        } else {
            return std::nullopt;
        }
    }
    if (result.Fields == 0 || result.Fields > 3) return std::nullopt;
    return result;
}

bool IsLatitudeLetter(char letter) {
    return letter == 'N' || letter == 'S';
}

// The position when text parted at [cut, cut + width) is a latitude and a longitude.
std::optional<TPlace> ReadParted(std::string_view text, std::size_t cut, std::size_t width,
                                 bool strongCut) {
    const std::string_view first = text.substr(0, cut), second = text.substr(cut + width);
    const auto a = LooksLikeCoordinate(first), b = LooksLikeCoordinate(second);
    if (!a || !b) return std::nullopt;
    if (!strongCut && ((a->Fields > 1 && !a->Letter) || (b->Fields > 1 && !b->Letter)))
        return std::nullopt;
    // Each letter says its own kind; a part without one is the other kind, or the first a
    // latitude when neither has a letter.
    bool firstIsLatitude = true;
    if (a->Letter) {
        firstIsLatitude = IsLatitudeLetter(a->Letter);
        if (b->Letter && IsLatitudeLetter(b->Letter) == firstIsLatitude) return std::nullopt;
    } else if (b->Letter) {
        firstIsLatitude = !IsLatitudeLetter(b->Letter);
    }
    const std::string latText(firstIsLatitude ? first : second);
    const std::string lonText(firstIsLatitude ? second : first);
    TPlace place;
    if (!ReadCoordinate(latText, TCoordKind::Latitude, place.Lat) ||
        !ReadCoordinate(lonText, TCoordKind::Longitude, place.Lon))
        return std::nullopt;
    place.Name = FormatDeg2(place.Lat) + ", " + FormatLonDeg2(place.Lon);
    return place;
}

} // namespace

std::string FoldForSearch(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    bool blank = false;
    for (std::size_t i = 0; i < utf8.size();) {
        const std::size_t start = i;
        const std::uint32_t c = NextCodePoint(utf8, i);
        if (c <= ' ' || c == 0xA0) {
            blank = !out.empty();
            continue;
        }
        if (blank) out += ' ';
        blank = false;
        if (c < 0x80) {
            out += LowerAscii(static_cast<char>(c));
        } else if (c >= 0xC0 && c <= 0x17F) {
            const char base = LatinBase[c - 0xC0];
            if (base == '*') {
                out += TwoLetterBase(c);
            } else if (static_cast<unsigned char>(base) >= 0x80) {
                out += utf8.substr(start, i - start); // the multiplication and division signs
            } else {
                out += base;
            }
        } else if (c == 0x2018 || c == 0x2019 || c == 0x2BC) {
            out += '\'';
        } else if (c == 0xFFFD) {
            out += '?';
        } else {
            out += utf8.substr(start, i - start);
        }
    }
    return out;
}

std::optional<TPlace> ReadTypedPosition(std::string_view text) {
    if (text.size() > 200) return std::nullopt; // no position is written that long
    // Where the two coordinates may part: a run of blanks, ";" and "," ("strong" with ";" or
    // a "," that is no decimal point), or right after a letter that is followed by a number.
    for (const bool strong : {true, false}) {
        for (std::size_t i = 0; i < text.size();) {
            const char c = text[i];
            const bool parting = IsBlank(c) || c == ';' || c == ',' || c == '/';
            if (!parting) {
                if (!strong && IsHemisphere(c) && i + 1 < text.size() &&
                    (IsDigit(text[i + 1]) || text[i + 1] == '-' || text[i + 1] == '+'))
                    if (auto place = ReadParted(text, i + 1, 0, false)) return place;
                ++i;
                continue;
            }
            std::size_t end = i;
            bool hasStrong = false;
            while (end < text.size() && (IsBlank(text[end]) || text[end] == ';' ||
                                         text[end] == ',' || text[end] == '/')) {
                const bool decimalComma = text[end] == ',' && end > 0 && IsDigit(text[end - 1]) &&
                                          end + 1 < text.size() && IsDigit(text[end + 1]);
                if (text[end] != ' ' && text[end] != '\t' && !decimalComma) hasStrong = true;
                if (decimalComma) break;
                ++end;
            }
            if (end > i && hasStrong == strong)
                if (auto place = ReadParted(text, i, end - i, strong)) return place;
            i = std::max(end, i + 1);
        }
    }
    return std::nullopt;
}

TPlaceIndex::TPlaceIndex(const TDrawPointList& points) {
    Entries.reserve(points.size());
    for (const TDrawPoint& p : points) {
        TEntry entry;
        entry.Place.Name =
            !p.RepPoint.NamUtf8.empty() ? p.RepPoint.NamUtf8 : Cp1252ToUtf8(p.RepPoint.Nam);
        entry.Place.Lat = p.RepPoint.Lat;
        entry.Place.Lon = p.RepPoint.Lon;
        entry.Key = FoldForSearch(entry.Place.Name);
        if (!entry.Key.empty()) Entries.push_back(std::move(entry));
    }
}

std::vector<TPlace> TPlaceIndex::Matches(std::string_view typed, std::size_t limit) const {
    const std::string key = FoldForSearch(typed);
    if (key.empty() || limit == 0) return {};
    struct TRanked {
        int Group;
        std::size_t Length, Order;
    };
    std::vector<TRanked> found;
    for (std::size_t k = 0; k < Entries.size(); ++k) {
        const std::string& name = Entries[k].Key;
        std::size_t at = name.find(key);
        if (at == std::string::npos) continue;
        int group = name.size() == key.size() ? 0 : at == 0 ? 1 : 3;
        for (; group == 3 && at != std::string::npos; at = name.find(key, at + 1))
            if (StartsWord(name, at)) group = 2;
        found.push_back({group, name.size(), k});
    }
    const std::size_t count = std::min(limit, found.size());
    std::partial_sort(found.begin(), found.begin() + static_cast<std::ptrdiff_t>(count),
                      found.end(), [](const TRanked& a, const TRanked& b) {
                          if (a.Group != b.Group) return a.Group < b.Group;
                          if (a.Length != b.Length) return a.Length < b.Length;
                          return a.Order < b.Order;
                      });
    std::vector<TPlace> result;
    for (std::size_t k = 0; k < count; ++k)
        result.push_back(Entries[found[k].Order].Place);
    return result;
}

std::optional<TPlace> FindPlace(const TPlaceIndex& index, std::string_view typed) {
    if (auto position = ReadTypedPosition(typed)) return position;
    auto best = index.Matches(typed, 1);
    if (best.empty()) return std::nullopt;
    return best.front();
}

} // namespace nimbora
