// "Save current view..." in the real window: the picture saved is the frame on screen.
#include "GuiSupport.h"
#include "ModalDriver.h"

#include "app/TestSeam.h"
#include "core/Iso8601.h"
#include "render/OpenGLPanel.h"
#include "ui/SaveView.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <gtest/gtest.h>

#include <cstdlib>

namespace nimbora::test {
namespace {

// Names the file in the save dialog, picks the filter (1..3) and presses Save.
std::function<void(QWidget*)> SaveAs(const std::string& path, int filter,
                                     QString* proposed = nullptr) {
    return [=](QWidget* w) {
        auto* dialog = static_cast<QFileDialog*>(w);
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        if (proposed) *proposed = dialog->directory().absoluteFilePath(name->text());
        const QString filterText = dialog->nameFilters().value(filter - 1);
        dialog->selectNameFilter(filterText);
        emit dialog->filterSelected(filterText);
        // Typed into the name field as a whole path, as a user may.
        name->setText(QString::fromStdString(path));
        static_cast<QDialog*>(dialog)->accept(); // QFileDialog checks the name first
    };
}

class SaveFrameTest : public testing::Test {
protected:
    void SetUp() override {
        if (const char* old = std::getenv("TMPDIR")) oldTmp_ = old;
        setenv("TMPDIR", temp_.str().c_str(), 1);
        // The file dialog keeps its history in the user's configuration: not in ours.
        if (const char* old = std::getenv("XDG_CONFIG_HOME")) oldConfig_ = old;
        setenv("XDG_CONFIG_HOME", config_.str().c_str(), 1);
    }
    void TearDown() override {
        form_.reset();
        oldTmp_.empty() ? unsetenv("TMPDIR") : setenv("TMPDIR", oldTmp_.c_str(), 1);
        oldConfig_.empty() ? unsetenv("XDG_CONFIG_HOME")
                           : setenv("XDG_CONFIG_HOME", oldConfig_.c_str(), 1);
    }
    void Start() {
        form_ = StartMainForm();
        ASSERT_TRUE(Seam::StartupDone(*form_));
        // Past the lights' fade-in, so that two frames of a still globe are the same.
        ASSERT_TRUE(WaitFor([&] { return TMainFormTestSeam::LightsSettled(*form_); }));
    }
    void Save(TModalDriver& driver) {
        Seam::OptionPopup(*form_)->findChild<QAction*>("SaveFrameBt")->trigger();
        EXPECT_TRUE(driver.Done()) << driver.Pending();
    }
    int Files(const TempDir& dir) const {
        return static_cast<int>(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size());
    }
    TScratchHome home_;
    TempDir temp_, out_, config_;
    std::string oldTmp_, oldConfig_;
    std::unique_ptr<TMainForm> form_;
};

TEST_F(SaveFrameTest, SavedPictureIsTheFrameOnScreen) {
    Start();
    QString proposed;
    TModalDriver d;
    d.On("QFileDialog", SaveAs(out_.str("view.PNG"), SaveFilterJpeg, &proposed));
    Save(d);
    EXPECT_EQ(QFileInfo(proposed).fileName(), "Weather"); // no map in hand
    EXPECT_TRUE(form_->findChild<QWidget*>("OptionPanel")->isVisible());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(Files(temp_), 0); // no capture file left

    // The extension chose PNG, whatever the filter said.
    const QImage saved(out_.file("view.PNG"), "PNG");
    ASSERT_FALSE(saved.isNull());
    const QImage screen =
        Seam::OpenGLPanel(*form_)->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(saved.size(), Seam::OpenGLPanel(*form_)->size());
    ASSERT_EQ(saved.size(), screen.size());
    EXPECT_EQ(saved.convertToFormat(QImage::Format_RGB32), screen);
    // Top row first: the green status lines are at the bottom, and the corner where the option
    // button sits shows the view, not the button's grey.
    auto green = [&](int y0, int y1) {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = 0; x < 200; ++x)
                n += qGreen(saved.pixel(x, y)) > 200 && qRed(saved.pixel(x, y)) < 80;
        return n;
    };
    EXPECT_GT(green(saved.height() - 45, saved.height()), 50);
    EXPECT_EQ(green(0, 45), 0);
    const QRgb corner = saved.pixel(saved.width() - 18, 18);
    EXPECT_FALSE(qRed(corner) == 192 && qGreen(corner) == 192 && qBlue(corner) == 192);
    EXPECT_EQ(Seam::SaveFrameDialog(*form_).FilterIndex, SaveFilterPng);
}

TEST_F(SaveFrameTest, FilterAndNameRulesAndReplacingABitmap) {
    Start();
    const std::string bmp = out_.str("view.bmp");
    ASSERT_TRUE(WriteWholeFile(bmp, "old picture"));
    TModalDriver d;
    // No extension with the BMP filter: view.bmp, which exists, so the dialog asks first.
    d.On("QFileDialog", SaveAs(out_.str("view"), SaveFilterBmp)).Answer(QMessageBox::Yes);
    Save(d);
    const QImage saved(QString::fromStdString(bmp), "BMP");
    EXPECT_EQ(saved.size(), Seam::OpenGLPanel(*form_)->size());
    EXPECT_EQ(Seam::SaveFrameDialog(*form_).FilterIndex, SaveFilterBmp);
    EXPECT_EQ(Seam::SaveFrameDialog(*form_).FileName, bmp);

    // The next save offers the last name and filter; a strange extension gets the filter's.
    QString proposed;
    TModalDriver again;
    again.On("QFileDialog", [&](QWidget* w) {
        auto* dialog = static_cast<QFileDialog*>(w);
        EXPECT_EQ(dialog->selectedNameFilter(), "Bitmap image file (*.bmp)");
        SaveAs(out_.str("view.gif"), SaveFilterJpeg, &proposed)(w);
    });
    Save(again);
    EXPECT_EQ(proposed.toStdString(), bmp);
    EXPECT_EQ(QImage(out_.file("view.gif.jpg"), "JPEG").size(), Seam::OpenGLPanel(*form_)->size());
    EXPECT_EQ(Files(out_), 2);
    EXPECT_EQ(Files(temp_), 0);
}

TEST_F(SaveFrameTest, NameExtendedAfterTheDialogIsAskedAboutAndJpegNamesAreKept) {
    Start();
    const std::string target = out_.str("view.gif.jpg");
    TModalDriver first;
    first.On("QFileDialog", SaveAs(out_.str("view.gif"), SaveFilterJpeg));
    Save(first);
    EXPECT_TRUE(first.Texts.empty()); // nothing there yet: nothing to ask
    const std::string saved = ReadWholeFile(target);
    ASSERT_EQ(saved.substr(0, 2), "\xFF\xD8");

    // The dialog asked about view.gif; view.gif.jpg is asked about, and No writes nothing.
    TModalDriver no;
    no.On("QFileDialog", SaveAs(out_.str("view.gif"), SaveFilterJpeg)).Answer(QMessageBox::No);
    ASSERT_TRUE(WriteWholeFile(target, "mine"));
    Save(no);
    ASSERT_EQ(no.Texts.size(), 1u);
    EXPECT_TRUE(no.Texts[0].contains(QString::fromStdString(target))) << no.Texts[0].toStdString();
    EXPECT_EQ(ReadWholeFile(target), "mine");
    EXPECT_EQ(Files(out_), 1);
    EXPECT_EQ(Files(temp_), 0);

    TModalDriver yes;
    yes.On("QFileDialog", SaveAs(out_.str("view.gif"), SaveFilterJpeg)).Answer(QMessageBox::Yes);
    Save(yes);
    EXPECT_EQ(ReadWholeFile(target), saved);

    // ".jpeg" is a JPEG name: kept as it is, and the filter follows it.
    TModalDriver jpeg;
    jpeg.On("QFileDialog", SaveAs(out_.str("view.jpeg"), SaveFilterPng));
    Save(jpeg);
    EXPECT_TRUE(jpeg.Texts.empty());
    EXPECT_EQ(ReadWholeFile(out_.str("view.jpeg")), saved);
    EXPECT_EQ(Seam::SaveFrameDialog(*form_).FilterIndex, SaveFilterJpeg);
    EXPECT_EQ(Files(out_), 2);
}

TEST_F(SaveFrameTest, CancelLeavesNoFile) {
    Start();
    TModalDriver d;
    d.On("QFileDialog", [](QWidget* w) { static_cast<QFileDialog*>(w)->reject(); });
    Save(d);
    EXPECT_EQ(Files(out_), 0);
    EXPECT_EQ(Files(temp_), 0);
    EXPECT_EQ(Seam::SaveFrameDialog(*form_).FileName, "Weather");
}

TEST_F(SaveFrameTest, UnwritableFolderIsReportedAndLeavesNoFiles) {
    Start();
    TModalDriver d;
    d.On("QFileDialog", SaveAs("/proc/nimbora-test-view.jpg", SaveFilterJpeg))
        .Answer(QMessageBox::Ok);
    Save(d);
    ASSERT_EQ(d.Texts.size(), 1u);
    EXPECT_TRUE(d.Texts[0].contains("/proc/nimbora-test-view.jpg")) << d.Texts[0].toStdString();
    EXPECT_EQ(d.Titles[0], "Error");
    EXPECT_EQ(Files(temp_), 0);
    EXPECT_TRUE(form_->findChild<QWidget*>("OptionPanel")->isVisible());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

} // namespace
} // namespace nimbora::test
