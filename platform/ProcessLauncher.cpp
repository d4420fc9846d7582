#include "platform/ProcessLauncher.h"

#include <QProcess>
#include <QStringList>

namespace nimbora {

bool StartDetachedProgram(const std::string& program, const std::vector<std::string>& args) {
    if (program.empty()) return false;
    QStringList list;
    list.reserve(static_cast<qsizetype>(args.size()));
    for (const auto& a : args)
        list << QString::fromStdString(a);
    return QProcess::startDetached(QString::fromStdString(program), list);
}

} // namespace nimbora
