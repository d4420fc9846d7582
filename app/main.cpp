// Nimbora: the weather of the whole planet on a turning globe.
#include "app/MainForm.h"
#include "app/ProgramArguments.h"
#include "app/RenderCommand.h"
#include "core/Names.h"
#include "platform/Memory.h"
#include "platform/TermSignals.h"
#include "widgets/ProgramIcon.h"

#include <QApplication>
#include <QSurfaceFormat>

#include <cstdio>
#include <string>

int main(int argc, char* argv[]) {
    nimbora::ReturnLargeBlocksToTheSystem();
    // A picture for the desktop background or a web page: no window, no display needed.
    if (nimbora::IsRenderCommand(argc, argv)) return nimbora::RunRenderCommand(argc, argv);
    // Refused before Qt looks for a display: a mistyped option must not open the window, nor
    // end in Qt's abort where there is no display.
    if (const std::string error = nimbora::CheckWindowArguments(argc, argv); !error.empty()) {
        std::fprintf(stderr, "nimbora: %s\n", error.c_str());
        return 2;
    }
    // Qt scales the window with the screen's density; the globe is drawn at the framebuffer's
    // own pixels and its texts are built at the scaled size.
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(nimbora::texts::ProductName));
    QApplication::setApplicationDisplayName(QString::fromLatin1(nimbora::texts::ProductName));
    QApplication::setWindowIcon(nimbora::ProgramIcon());
    // Wayland compositors find the window's icon and name through the desktop entry.
    QGuiApplication::setDesktopFileName(QStringLiteral("nimbora"));
    nimbora::TMainForm form;
    // Ending the session closes the window like the user would, so the settings are kept.
    nimbora::WatchTermSignals(&form, [&form] { form.close(); });
    form.show();
    return QApplication::exec();
}
