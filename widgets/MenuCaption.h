#pragma once
// Menu captions from outside (the catalogue's link items) shown as they are written.
#include <QString>
#include <string>

namespace nimbora {

// The UTF-8 text as a menu caption: each "&" doubled, so that "R&D page" shows an ampersand
// instead of making "D" a mnemonic.
QString MenuCaption(const std::string& text);

} // namespace nimbora
