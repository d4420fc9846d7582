#include "widgets/uVistaFuncs.h"

#include <QApplication>
#include <QPointer>
#include <QThread>

#include <cstdio>

namespace nimbora {

namespace {

// The texts are bounded as the native dialog would bound them.
constexpr qsizetype MaxTextChars = 1024;

} // namespace

QMessageBox::StandardButtons MessageButtons(int buttons) {
    QMessageBox::StandardButtons out = QMessageBox::NoButton;
    if (buttons & MbYes) out |= QMessageBox::Yes;
    if (buttons & MbNo) out |= QMessageBox::No;
    if (buttons & MbOk) out |= QMessageBox::Ok;
    if (buttons & MbCancel) out |= QMessageBox::Cancel;
    if (buttons & MbRetry) out |= QMessageBox::Retry;
    return out;
}

QMessageBox::Icon MessageIcon(int icon) {
    switch (icon) {
    case IconInformation:
    case IconShieldInformation:
        return QMessageBox::Information;
    case IconWarning:
    case IconShieldWarning:
        return QMessageBox::Warning;
    case IconError:
    case IconShieldError:
        return QMessageBox::Critical;
    case IconQuestion:
    case IconShieldQuestion:
        return QMessageBox::Question;
    default:
        return QMessageBox::NoIcon;
    }
}

int MessageResult(int standardButton) {
    switch (standardButton) {
    case QMessageBox::Ok:
        return ResultOk;
    case QMessageBox::Cancel:
    case QMessageBox::NoButton:
        return ResultCancel;
    case QMessageBox::Retry:
        return ResultRetry;
    case QMessageBox::Yes:
        return ResultYes;
    case QMessageBox::No:
        return ResultNo;
    default:
        return ResultNone;
    }
}

QString ComposePlainMessage(const QString& text, const QString& extraText) {
    if (!text.isEmpty() && !extraText.isEmpty()) return text + "\n\n" + extraText;
    return text.isEmpty() ? extraText : text;
}

int TaskMessageBox(QWidget* parent, const QString& title, const QString& text, int buttons,
                   int icon, const QString& extraText) {
    const QString main = text.left(MaxTextChars);
    const QString extra = extraText.left(MaxTextChars);
    // Boxes exist only in a GUI application and only on its own thread.
    const auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!app || QThread::currentThread() != app->thread()) {
        const QString plain = ComposePlainMessage(main, extra);
        std::fprintf(stderr, "%s\n", plain.toLocal8Bit().constData());
        return ResultNone;
    }
    // On the heap: if the owner goes away while the box is open, it takes the box with it.
    QPointer<QMessageBox> box = new QMessageBox(MessageIcon(icon), title.left(MaxTextChars), main,
                                                MessageButtons(buttons), parent);
    // Texts can carry what users typed or servers sent: never read them as markup.
    box->setTextFormat(Qt::PlainText);
    box->setInformativeText(extra);
    const int answer = box->exec();
    if (!box) return ResultNone;
    delete box.data();
    return MessageResult(answer);
}

} // namespace nimbora
