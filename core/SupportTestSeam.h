#pragma once
// Tests only: another decimal separator than the user's. The program never includes this.
namespace nimbora {

// Replaces the decimal separator for the whole process.
void SetDecimalSeparator(char c);

} // namespace nimbora
