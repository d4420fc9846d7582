#pragma once
// The program's icon: window icon, about picture and the picture of the shortcuts.
#include <QIcon>

#include <string>

namespace nimbora {

QIcon ProgramIcon();
// The icon as a PNG file in folder (written when missing or different), for shortcuts that
// need a file; empty when it cannot be written.
std::string ProgramIconFile(const std::string& folder);

} // namespace nimbora
