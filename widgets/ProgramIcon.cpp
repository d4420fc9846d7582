#include "widgets/ProgramIcon.h"

#include "resources/Resources.h"

#include <QFile>
#include <QSaveFile>

namespace nimbora {

QIcon ProgramIcon() {
    InitNimboraResources();
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/nimbora-%1.png").arg(size), QSize(size, size));
    return icon;
}

std::string ProgramIconFile(const std::string& folder) {
    if (folder.empty()) return {};
    InitNimboraResources();
    QFile source(QStringLiteral(":/icons/nimbora-256.png"));
    if (!source.open(QIODevice::ReadOnly)) return {};
    const QByteArray bytes = source.readAll();
    const QString path = QString::fromStdString(folder) + QStringLiteral("nimbora.png");
    QFile existing(path);
    if (existing.open(QIODevice::ReadOnly) && existing.readAll() == bytes)
        return path.toStdString();
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit())
        return {};
    return path.toStdString();
}

} // namespace nimbora
