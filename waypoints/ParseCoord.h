#pragma once
// Latitudes and longitudes typed by the user: "40 30 N", "40°30'36N", "73,98 O", "-10.5".
#include <string>

namespace nimbora {

enum class TCoordKind { Latitude, Longitude };

// Reads a coordinate typed as up to three fields (degrees, minutes, seconds) with any
// separators, "." or "," as the decimal point, and an optional hemisphere letter N, S, E, W or
// O (west) anywhere; the first letter wins and decides the kind, whatever kind the caller
// expects. A minus sign on the degrees makes the whole value negative. Longitudes are brought
// into (-180, 180], after the rounding too; a latitude beyond 90 degrees is refused. On success
// result is the value rounded to two decimals in the user's number form ("40.5", "-73.98") and
// true is returned; on failure result is empty.
bool ParseCoord(const std::string& text, TCoordKind kind, std::string& result);

// What a prompt for the given kind takes in: ParseCoord's result as a number. A latitude
// prompt also refuses a value outside -90..90, which a longitude letter ("170E") would give.
bool ReadCoordinate(const std::string& text, TCoordKind prompt, double& value);

// What to tell the user whose answer to that prompt ReadCoordinate refused: the field, the
// range it takes and examples in the user's number form.
std::string CoordinateRangeMessage(TCoordKind prompt);

} // namespace nimbora
