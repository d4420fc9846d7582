#include "ModalDriver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace nimbora::test {

TModalDriver::TModalDriver() {
    Timer.setInterval(25);
    QObject::connect(&Timer, &QTimer::timeout, [this] { Tick(); });
    Timer.start();
}

TModalDriver::~TModalDriver() {
    Timer.stop();
}

TModalDriver& TModalDriver::Type(const QString& text) {
    Steps.push_back({[](QWidget* w) { return qobject_cast<QInputDialog*>(w) != nullptr; },
                     [this, text](QWidget* w) {
                         auto* prompt = static_cast<QInputDialog*>(w);
                         Texts.push_back(prompt->labelText());
                         Titles.push_back(prompt->windowTitle());
                         Prefills.push_back(prompt->textValue());
                         prompt->setTextValue(text);
                         prompt->accept();
                     },
                     "prompt <" + text.toStdString() + ">"});
    return *this;
}

TModalDriver& TModalDriver::CancelPrompt() {
    Steps.push_back({[](QWidget* w) { return qobject_cast<QInputDialog*>(w) != nullptr; },
                     [this](QWidget* w) {
                         Texts.push_back(static_cast<QInputDialog*>(w)->labelText());
                         static_cast<QInputDialog*>(w)->reject();
                     },
                     "cancel prompt"});
    return *this;
}

TModalDriver& TModalDriver::Answer(int button) {
    Steps.push_back({[](QWidget* w) { return qobject_cast<QMessageBox*>(w) != nullptr; },
                     [this, button](QWidget* w) {
                         auto* box = static_cast<QMessageBox*>(w);
                         Texts.push_back(box->text());
                         Titles.push_back(box->windowTitle());
                         QAbstractButton* b =
                             box->button(static_cast<QMessageBox::StandardButton>(button));
                         b ? b->click() : box->reject();
                     },
                     "message box"});
    return *this;
}

TModalDriver& TModalDriver::On(const char* className, std::function<void(QWidget*)> act) {
    Steps.push_back(
        {[className](QWidget* w) { return w->inherits(className); }, std::move(act), className});
    return *this;
}

std::string TModalDriver::Pending() const {
    std::string text;
    for (const TStep& s : Steps)
        text += s.What + "; ";
    return text;
}

void TModalDriver::Tick() {
    if (Busy) return;
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible() || Steps.empty() || !Steps.front().Accepts(modal)) {
        // A dialog that no step answers must not hang the test: after 15 s it is closed, and
        // the test fails on what was left undone.
        if (!modal) {
            IdleTicks = 0;
        } else if (++IdleTicks > 600) {
            IdleTicks = 0;
            Texts.push_back("unanswered: " + QString::fromLatin1(modal->metaObject()->className()));
            if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
        }
        return;
    }
    IdleTicks = 0;
    TStep step = std::move(Steps.front());
    Steps.pop_front();
    Busy = true;
    // Acting later, outside this timer's slot: the action may open a dialog of its own, whose
    // event loop must see this timer fire.
    QTimer::singleShot(0, modal, [this, modal, act = std::move(step.Act)] {
        Busy = false;
        act(modal);
    });
}

} // namespace nimbora::test
