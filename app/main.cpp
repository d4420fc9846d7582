// Nimbora: the weather of the whole planet on a turning globe.
#include "app/Texts.h"
#include "app/form/MainForm.h"

#include <QApplication>
#include <QSurfaceFormat>

int main(int argc, char* argv[]) {
    QApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::Floor);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(nimbora::texts::ProductName));
    QApplication::setApplicationDisplayName(QString::fromLatin1(nimbora::texts::ProductName));
    nimbora::TMainForm form;
    form.show();
    return QApplication::exec();
}
