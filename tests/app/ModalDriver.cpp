#include "ModalDriver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace nimbora::test {

TModalDriver::TModalDriver() {
    timer_.setInterval(25);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
    timer_.start();
}

TModalDriver::~TModalDriver() {
    timer_.stop();
}

TModalDriver& TModalDriver::Type(const QString& text) {
    steps_.push_back({[](QWidget* w) { return qobject_cast<QInputDialog*>(w) != nullptr; },
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
    steps_.push_back({[](QWidget* w) { return qobject_cast<QInputDialog*>(w) != nullptr; },
                      [this](QWidget* w) {
                          Texts.push_back(static_cast<QInputDialog*>(w)->labelText());
                          static_cast<QInputDialog*>(w)->reject();
                      },
                      "cancel prompt"});
    return *this;
}

TModalDriver& TModalDriver::Answer(int button) {
    steps_.push_back({[](QWidget* w) { return qobject_cast<QMessageBox*>(w) != nullptr; },
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
    steps_.push_back(
        {[className](QWidget* w) { return w->inherits(className); }, std::move(act), className});
    return *this;
}

std::string TModalDriver::Pending() const {
    std::string text;
    for (const TStep& s : steps_)
        text += s.What + "; ";
    return text;
}

void TModalDriver::Tick() {
    if (busy_) return;
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible() || steps_.empty() || !steps_.front().Accepts(modal)) {
        // A dialog that no step answers must not hang the test: after 15 s it is closed, and
        // the test fails on what was left undone.
        if (!modal) {
            idleTicks_ = 0;
        } else if (++idleTicks_ > 600) {
            idleTicks_ = 0;
            Texts.push_back("unanswered: " + QString::fromLatin1(modal->metaObject()->className()));
            if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
        }
        return;
    }
    idleTicks_ = 0;
    TStep step = std::move(steps_.front());
    steps_.pop_front();
    busy_ = true;
    // Acting later, outside this timer's slot: the action may open a dialog of its own, whose
    // event loop must see this timer fire.
    QTimer::singleShot(0, modal, [this, modal, act = std::move(step.Act)] {
        busy_ = false;
        act(modal);
    });
}

} // namespace nimbora::test
