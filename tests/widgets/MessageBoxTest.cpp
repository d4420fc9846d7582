#include "widgets/uVistaFuncs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <gtest/gtest.h>
#include <thread>

namespace nimbora {
namespace {

TEST(TaskMessageBox, ButtonSets) {
    using B = QMessageBox;
    struct Case {
        int set;
        QMessageBox::StandardButtons buttons;
    };
    const std::vector<Case> cases = {
        {0, B::NoButton},
        {MbOk, B::Ok},
        {MbYes | MbNo, B::Yes | B::No},
        {MbYes | MbNo | MbCancel, B::Yes | B::No | B::Cancel},
        {MbRetry | MbCancel, B::Retry | B::Cancel},
        {31, B::Yes | B::No | B::Ok | B::Cancel | B::Retry},
        {32 | 64 | MbOk, B::Ok}, // unknown bits are ignored
    };
    for (const auto& c : cases)
        EXPECT_EQ(MessageButtons(c.set), c.buttons) << c.set;
}

TEST(TaskMessageBox, IconNumbers) {
    const std::vector<std::pair<int, QMessageBox::Icon>> cases = {
        {81, QMessageBox::Information}, {106, QMessageBox::Information},
        {84, QMessageBox::Warning},     {107, QMessageBox::Warning},
        {98, QMessageBox::Critical},    {105, QMessageBox::Critical},
        {99, QMessageBox::Question},    {104, QMessageBox::Question},
        {0, QMessageBox::NoIcon},       {82, QMessageBox::NoIcon},
        {-1, QMessageBox::NoIcon},      {100, QMessageBox::NoIcon},
    };
    for (const auto& [number, icon] : cases)
        EXPECT_EQ(MessageIcon(number), icon) << number;
}

TEST(TaskMessageBox, ResultNumbers) {
    const std::vector<std::pair<int, int>> cases = {
        {QMessageBox::Ok, 1},    {QMessageBox::Cancel, 2}, {QMessageBox::NoButton, 2},
        {QMessageBox::Retry, 4}, {QMessageBox::Yes, 6},    {QMessageBox::No, 7},
        {QMessageBox::Abort, 0}, {QMessageBox::Help, 0},   {-1, 0},
    };
    for (const auto& [button, result] : cases)
        EXPECT_EQ(MessageResult(button), result) << button;
}

TEST(TaskMessageBox, PlainTextComposition) {
    EXPECT_EQ(ComposePlainMessage("Main", "Extra"), "Main\n\nExtra");
    EXPECT_EQ(ComposePlainMessage("Main", ""), "Main");
    EXPECT_EQ(ComposePlainMessage("", "Extra"), "Extra");
    EXPECT_EQ(ComposePlainMessage("", ""), "");
}

// Runs act on the message box as soon as it is open.
void WhenBoxOpens(std::function<void(QMessageBox*)> act) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            act(box);
        }
    });
    timer->start(5);
}

TEST(TaskMessageBox, QuestionWithYesAndNo) {
    QWidget owner;
    QString title, text, extra;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool hasYes = false, hasNo = false, hasOk = false;
    QWidget* parent = nullptr;
    WhenBoxOpens([&](QMessageBox* box) {
        title = box->windowTitle();
        text = box->text();
        extra = box->informativeText();
        icon = box->icon();
        parent = box->parentWidget();
        hasYes = box->button(QMessageBox::Yes) != nullptr;
        hasNo = box->button(QMessageBox::No) != nullptr;
        hasOk = box->button(QMessageBox::Ok) != nullptr;
        box->button(QMessageBox::Yes)->click();
    });
    const int result =
        TaskMessageBox(&owner, "Waypoints", "Delete this place?", MbYes | MbNo, 99, "Home");
    EXPECT_EQ(result, 6);
    EXPECT_EQ(title, "Waypoints");
    EXPECT_EQ(text, "Delete this place?");
    EXPECT_EQ(extra, "Home");
    EXPECT_EQ(icon, QMessageBox::Question);
    EXPECT_EQ(parent, &owner);
    EXPECT_TRUE(hasYes && hasNo);
    EXPECT_FALSE(hasOk);
}

TEST(TaskMessageBox, AnswersAreNumbered) {
    struct Case {
        int buttons;
        QMessageBox::StandardButton press;
        int result;
    };
    const std::vector<Case> cases = {
        {MbOk, QMessageBox::Ok, 1},
        {MbYes | MbNo | MbCancel, QMessageBox::No, 7},
        {MbYes | MbNo | MbCancel, QMessageBox::Cancel, 2},
        {MbRetry | MbCancel, QMessageBox::Retry, 4},
    };
    for (const auto& c : cases) {
        WhenBoxOpens([&](QMessageBox* box) { box->button(c.press)->click(); });
        EXPECT_EQ(TaskMessageBox(nullptr, "T", "Text", c.buttons, 81), c.result) << c.press;
    }
}

TEST(TaskMessageBox, ClosedWithoutAButtonCountsAsCancel) {
    WhenBoxOpens([](QMessageBox* box) { box->close(); });
    EXPECT_EQ(TaskMessageBox(nullptr, "T", "Text", MbYes | MbNo | MbCancel, 84), 2);
}

TEST(TaskMessageBox, OwnerClosedUnderneathGivesNoAnswer) {
    auto* owner = new QWidget;
    WhenBoxOpens([owner](QMessageBox*) { delete owner; });
    EXPECT_EQ(TaskMessageBox(owner, "T", "Text", MbOk, 98), 0);
}

TEST(TaskMessageBox, WorkerThreadGetsNoBox) {
    int result = -1;
    std::thread worker([&] { result = TaskMessageBox(nullptr, "T", "From a worker", MbOk, 81); });
    worker.join();
    EXPECT_EQ(result, 0);
}

TEST(TaskMessageBox, LongTextsAreBounded) {
    QString text, extra;
    WhenBoxOpens([&](QMessageBox* box) {
        text = box->text();
        extra = box->informativeText();
        box->button(QMessageBox::Ok)->click();
    });
    EXPECT_EQ(TaskMessageBox(nullptr, "T", QString(5000, 'm'), MbOk, 0, QString(3000, 'e')), 1);
    EXPECT_EQ(text, QString(1024, 'm'));
    EXPECT_EQ(extra, QString(1024, 'e'));
}

} // namespace
} // namespace nimbora

namespace nimbora {
namespace {

TEST(TaskMessageBox, TextsAreNeverMarkup) {
    // A waypoint or server text such as "<b>x</b>" is shown as typed.
    Qt::TextFormat format = Qt::RichText;
    WhenBoxOpens([&](QMessageBox* box) {
        format = box->textFormat();
        box->button(QMessageBox::Ok)->click();
    });
    TaskMessageBox(nullptr, "Waypoints", "The waypoint \"<b>x</b>\" already exists", MbOk, 81);
    EXPECT_EQ(format, Qt::PlainText);
}

} // namespace
} // namespace nimbora
