#pragma once
// HTTP dates (RFC 1123, "Wed, 21 Oct 2015 07:28:00 GMT"): written into If-Modified-Since, read
// from Last-Modified.
#include "core/Iso8601.h"

#include <string>

namespace nimbora {

// RFC 1123 date ("Sun, 06 Nov 1994 08:49:37 GMT") of a date-time (days since 1899-12-30, UTC),
// whole seconds, in English whatever the locale. Empty when the value is not a date of years
// 1900 to 9999.
std::string FormatHttpDate(double dateTime);
// Reads an RFC 1123 date ("Wed, 21 Oct 2015 07:28:00 GMT") by its fixed positions: day at
// characters 6-7, English month at 9-11, year at 13-16, time at 18-25. Result in UTC
// (TimeZone 0). Text that is not such a date gives Exists = false and DateTime 0.
TDateTimeZ ParseRfc1123Date(const std::string& text);

} // namespace nimbora
