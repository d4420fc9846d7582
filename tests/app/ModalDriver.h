#pragma once
// Answers the modal dialogs a test opens, one step per dialog, in order: prompts, message
// boxes, the save dialog and the dialogs of the program itself.
#include <QString>
#include <QTimer>

#include <deque>
#include <functional>
#include <string>
#include <vector>

class QWidget;

namespace nimbora::test {

class TModalDriver {
public:
    // A step runs on the topmost modal dialog once it is one that `accepts` takes.
    struct TStep {
        std::function<bool(QWidget*)> Accepts;
        std::function<void(QWidget*)> Act;
        std::string What;
    };
    TModalDriver();
    ~TModalDriver();

    // Prompt: types the text and presses OK (or Cancel when cancel is set). The prompt's
    // title and label are recorded.
    TModalDriver& Type(const QString& text);
    TModalDriver& CancelPrompt();
    // Message box: records its text and presses the button (a QMessageBox::StandardButton).
    TModalDriver& Answer(int button);
    // The first modal dialog of the given class name: runs act on it.
    TModalDriver& On(const char* className, std::function<void(QWidget*)> act);

    bool Done() const { return Steps.empty() && !Busy; }
    // What was left undone (for a failure message).
    std::string Pending() const;
    std::vector<QString> Texts; // message box texts and prompt labels, in order
    std::vector<QString> Titles;
    std::vector<QString> Prefills; // what each prompt offered before it was answered

private:
    void Tick();
    std::deque<TStep> Steps;
    QTimer Timer;
    bool Busy = false;
    int IdleTicks = 0;
};

} // namespace nimbora::test
