#pragma once
// The one way the program shows messages and asks questions.
#include <QMessageBox>
#include <QString>

class QWidget;

namespace nimbora {

// Button set: a bit set of the program's own.
enum : int {
    MbYes = 1,
    MbNo = 2,
    MbOk = 4,
    MbCancel = 8,
    MbRetry = 16,
};

// Icon numbers.
enum : int {
    IconInformation = 81,
    IconWarning = 84,
    IconError = 98,
    IconQuestion = 99,
    IconShieldQuestion = 104,
    IconShieldError = 105,
    IconShieldInformation = 106,
    IconShieldWarning = 107,
};

// Results: the button that closed the box; 0 when no box could be shown.
enum : int {
    ResultNone = 0,
    ResultOk = 1,
    ResultCancel = 2,
    ResultRetry = 4,
    ResultYes = 6,
    ResultNo = 7,
};

// Shows a modal box over parent (may be null) and returns when the user has answered.
// title: the window title; text: the main text; buttons: a set of Mb* bits (none gives OK);
// icon: an icon number (others show no icon); extraText: a second, smaller text below the
// main one. Returns a Result* value. Without a running GUI application nothing can be shown:
// the message goes to the standard error stream and the result is ResultNone.
int TaskMessageBox(QWidget* parent, const QString& title, const QString& text, int buttons,
                   int icon, const QString& extraText = {});

// The Qt buttons for a button set.
QMessageBox::StandardButtons MessageButtons(int buttons);
// The Qt icon for an icon number.
QMessageBox::Icon MessageIcon(int icon);
// The result number for the standard button that closed the box (NoButton: closed without
// an answer, counted as Cancel).
int MessageResult(int standardButton);
// Main and extra text as one text, for a box or stream that has only one: separated by an
// empty line when both exist.
QString ComposePlainMessage(const QString& text, const QString& extraText);

} // namespace nimbora
