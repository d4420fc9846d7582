// Cloud pictures prepared away from the window's thread, with the real window: the clouds in
// hand stay until the new ones are ready, quick toggles end in the last one, a download may end
// in the middle, a damaged picture fails as it always did, and closing does not wait for the
// work or lose the settings.
#include "GuiSupport.h"
#include "ModalDriver.h"
#include "app/TestSeam.h"
#include "app/Texts.h"

#include "core/Cp1252.h"
#include "core/Messages.h"
#include "platform/Files.h"
#include "platform/FilesTestSeam.h"
#include "platform/Paths.h"
#include "render/OpenGLPanel.h"
#include "support/NetHarness.h"
#include "weather/WeatherTexts.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QMenu>
#include <QMessageBox>
#include <atomic>
#include <gtest/gtest.h>

namespace nimbora::test {
namespace {

QAction* Item(const TMainForm& form, const char* name) {
    return Seam::OptionPopup(form)->findChild<QAction*>(name);
}

// Handles the messages already posted to the window, and nothing else.
void HandlePostedMessages(TMainForm& form) {
    QCoreApplication::sendPostedEvents(&form, TMessageEvent::EventType);
}

QImage Frame(TMainForm& form) {
    return Seam::OpenGLPanel(form)->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
}

QRgb Centre(TMainForm& form) {
    const QImage f = Frame(form);
    return f.pixel(f.width() / 2, f.height() / 2);
}

class CloudInstall : public ::testing::Test {
protected:
    // A cached picture large enough that its preparation takes a while.
    void Start(const std::string& cached, const std::string& extra = {}) {
        folder_ = home_.MakeDataFolder();
        ASSERT_TRUE(WriteWholeFile(folder_ + "clouds.jpg", cached));
        ASSERT_TRUE(WriteWholeFile(home_.SettingsFile(),
                                   "[Nimbora]\nVersion=033000\nGetCatalogue=0\n[Features]\n"
                                   "CountryBoundaries=0\nCountryNames=0\n" +
                                       extra));
        form_ = std::make_unique<TMainForm>();
        TMainFormTestSeam::SetBuiltInServer(*form_,
                                            TMap{"http://127.0.0.1:9/clouds.jpg", 190, "test"});
        form_->show();
        ASSERT_TRUE(WaitFor([&] { return Seam::StartupDone(*form_); }));
        WaitFor([&] { return TMainFormTestSeam::LightsSettled(*form_); });
    }
    bool Settled(int ms = 20000) {
        return WaitFor([&] { return !TMainFormTestSeam::CloudsPending(*form_); }, ms);
    }

    TScratchHome home_;
    std::string folder_;
    std::unique_ptr<TMainForm> form_;
};

TEST_F(CloudInstall, FirstFrameAfterStartUpShowsTheCachedClouds) {
    folder_ = home_.MakeDataFolder();
    ASSERT_TRUE(WriteWholeFile(folder_ + "clouds.jpg", GreyJpeg(2048, 1024, 200)));
    ASSERT_TRUE(
        WriteWholeFile(home_.SettingsFile(), "[Nimbora]\nVersion=033000\nGetCatalogue=0\n"));
    form_ = std::make_unique<TMainForm>();
    int framesAfterStartUp = 0;
    bool firstHadClouds = false;
    QObject::connect(Seam::OpenGLPanel(*form_), &TOpenGLPanel::frameSwapped, form_.get(), [&] {
        if (!Seam::StartupDone(*form_)) return;
        if (framesAfterStartUp++ == 0) firstHadClouds = Seam::CloudsShown(*form_);
    });
    form_->show();
    ASSERT_TRUE(WaitFor([&] { return framesAfterStartUp > 0; }));
    EXPECT_TRUE(firstHadClouds);
    EXPECT_NE(Seam::UpdateText(*form_), texts::InitialUpdateText);
}

TEST_F(CloudInstall, CloudsReadyWhileAStartUpMessageIsOpenAreShownAfterIt) {
    // An older settings file is rewritten at start-up; a refused write shows a message box,
    // whose event loop takes the clouds' result before the scene exists.
    folder_ = home_.MakeDataFolder();
    ASSERT_TRUE(WriteWholeFile(folder_ + "clouds.jpg", GreyJpeg(256, 128, 200)));
    ASSERT_TRUE(
        WriteWholeFile(home_.SettingsFile(), "[Nimbora]\nVersion=031000\nGetCatalogue=0\n"));
    SetFileWriteFault([](TFileWriteStep step) { return step == TFileWriteStep::Sync; });
    TMainForm* shown = nullptr;
    TModalDriver driver;
    driver.On("QMessageBox", [&](QWidget* box) {
        WaitFor([&] { return shown && !TMainFormTestSeam::CloudsPending(*shown); });
        static_cast<QMessageBox*>(box)->reject();
    });
    form_ = std::make_unique<TMainForm>();
    shown = form_.get();
    form_->show();
    ASSERT_TRUE(WaitFor([&] { return Seam::StartupDone(*form_); }));
    SetFileWriteFault({});
    EXPECT_TRUE(driver.Done()) << driver.Pending();
    EXPECT_TRUE(WaitFor([&] { return Seam::CloudsShown(*form_); }, 5000));
}

TEST_F(CloudInstall, OldCloudsStayUntilTheNewAreReadyAndQuickTogglesEndAtTheLastCheckMark) {
    Start(GreyJpeg(4096, 2048, 150));
    ASSERT_TRUE(Seam::CloudsShown(*form_));
    const QImage grey = Frame(*form_);
    QAction* colorize = Item(*form_, "ColorizeBt");
    colorize->trigger();
    HandlePostedMessages(*form_);
    // The picture in hand stays drawn while the coloured one is prepared.
    bool sawPending = false, hidden = false;
    ASSERT_TRUE(WaitFor([&] {
        const bool pending = TMainFormTestSeam::CloudsPending(*form_);
        sawPending = sawPending || pending;
        hidden = hidden || (pending && !Seam::CloudsShown(*form_));
        return !pending;
    }));
    EXPECT_TRUE(sawPending);
    EXPECT_FALSE(hidden);
    ASSERT_TRUE(Seam::CloudsShown(*form_));
    const QImage coloured = Frame(*form_);
    ASSERT_NE(coloured, grey);

    // Toggled quickly, ending checked and then unchecked: the frames of the last check mark.
    for (int i = 0; i < 4; ++i) {
        colorize->trigger();
        HandlePostedMessages(*form_);
    }
    ASSERT_TRUE(colorize->isChecked());
    ASSERT_TRUE(Settled());
    EXPECT_TRUE(Seam::CloudsShown(*form_));
    EXPECT_EQ(Frame(*form_), coloured);
    for (int i = 0; i < 3; ++i) {
        colorize->trigger();
        QCoreApplication::processEvents();
    }
    ASSERT_FALSE(colorize->isChecked());
    ASSERT_TRUE(Settled());
    EXPECT_EQ(Frame(*form_), grey);
}

TEST_F(CloudInstall, DamagedPictureTakesTheCloudsAwayAndLeavesTheStatusLines) {
    Start(GreyJpeg(512, 256, 200));
    ASSERT_TRUE(Seam::CloudsShown(*form_));
    const std::string update = Seam::UpdateText(*form_), credit = Seam::CreditText(*form_);
    // Begins and ends as a JPEG, so the start-up check keeps it, but cannot be decoded.
    ASSERT_TRUE(WriteWholeFile(folder_ + "clouds.jpg", "\xFF\xD8 damaged \xFF\xD9"));
    PostMessage(form_.get(), UM_SHOWCLOUDS);
    HandlePostedMessages(*form_);
    ASSERT_TRUE(Settled());
    EXPECT_FALSE(Seam::CloudsShown(*form_));
    EXPECT_EQ(Seam::UpdateText(*form_), update);
    EXPECT_EQ(Seam::CreditText(*form_), credit);
    form_.reset();

    // At start-up as well.
    Start("\xFF\xD8 damaged \xFF\xD9");
    ASSERT_TRUE(Settled());
    EXPECT_FALSE(Seam::CloudsShown(*form_));
    EXPECT_EQ(Seam::UpdateText(*form_), texts::InitialUpdateText);
}

TEST_F(CloudInstall, ClosingWhileCloudsArePreparedEndsAtOnceAndWritesTheSettings) {
    Start(GreyJpeg(4096, 2048, 150), "[Map]\nAutoFilterVal=17\nCredit=In hand\n");
    Item(*form_, "ColorizeBt")->trigger();
    HandlePostedMessages(*form_);
    ASSERT_TRUE(TMainFormTestSeam::CloudsPending(*form_));
    ASSERT_TRUE(DeleteFileIfExists(home_.SettingsFile()));
    QElapsedTimer clock;
    clock.start();
    form_->close();
    EXPECT_LT(clock.elapsed(), 2000); // a cancelled preparation ends between rows
    EXPECT_FALSE(TMainFormTestSeam::CloudsPending(*form_));
    const std::string settings = ReadWholeFile(home_.SettingsFile());
    EXPECT_EQ(IniValue(settings, "Map", "AutoFilterVal").Value, "17");
    EXPECT_EQ(IniValue(settings, "Map", "Credit").Value, "In hand");
    // Nothing of the stopped work arrives later.
    WaitFor([] { return false; }, 300);
    form_.reset();
}

TEST_F(CloudInstall, DownloadEndingWhileAPictureIsPreparedShowsTheNewPictureWithItsLabels) {
    std::atomic<bool> go{false};
    ScriptedServer pictures;
    const std::string white = GreyJpeg(512, 256, 255, 90);
    ASSERT_TRUE(pictures.Start({[&go, white](ScriptedServer::Connection& c) {
        c.ReadRequest();
        while (!go && c.Pause(10)) {
        }
        c.Send("HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\nContent-Length: " +
               std::to_string(white.size()) +
               "\r\nLast-Modified: Thu, 04 Mar 2021 05:06:07 GMT\r\n\r\n" + white);
    }}));
    Start(GreyJpeg(4096, 2048, 100), "[Map]\nAutoFilterVal=0\nCredit=Old server\nServerUrl=" +
                                         pictures.Url("/clouds.jpg") + "\nServerFilter=3\n");
    ASSERT_EQ(Seam::CreditText(*form_), "Old server");
    const std::string oldUpdate = Seam::UpdateText(*form_);
    Item(*form_, "UpdateWeatherBt")->trigger();
    ASSERT_TRUE(WaitFor([&] { return pictures.ConnectionCount() == 1; }));
    // The old picture is being coloured when the new one arrives.
    Item(*form_, "ColorizeBt")->trigger();
    HandlePostedMessages(*form_);
    ASSERT_TRUE(TMainFormTestSeam::CloudsPending(*form_));
    go = true;
    ASSERT_TRUE(WaitFor([&] { return !Seam::Downloading(*form_); }));
    ASSERT_TRUE(Settled());
    EXPECT_TRUE(Seam::CloudsShown(*form_));
    EXPECT_EQ(ReadWholeFile(folder_ + "clouds.jpg"), white);
    EXPECT_EQ(Seam::CreditText(*form_), texts::DirectServerCredit);
    EXPECT_EQ(Seam::MapInfo(*form_).AutoFilterVal, 3);
    EXPECT_NE(Seam::UpdateText(*form_), oldUpdate); // the new picture's date
    // White in false colours is red; the old grey 100 would be green.
    const QRgb centre = Centre(*form_);
    EXPECT_GT(qRed(centre), qGreen(centre) + 40) << std::hex << centre;
    // The facts kept with the picture say the same.
    const std::string facts = ReadWholeFile(folder_ + "clouds.ini");
    EXPECT_EQ(IniValue(facts, "Clouds", "LastDate").Value, "2021-03-04T05:06:07Z") << facts;
    EXPECT_EQ(IniValue(facts, "Clouds", "Filter").Value, "3");
    EXPECT_EQ(IniValue(facts, "Clouds", "Credit").Value, texts::DirectServerCredit);
    form_->close();
    const std::string settings = ReadWholeFile(home_.SettingsFile());
    EXPECT_EQ(IniValue(settings, "Map", "AutoFilterVal").Value, "3");
    EXPECT_EQ(IniValue(settings, "Map", "Credit").Value, texts::DirectServerCredit);
}

TEST_F(CloudInstall, APictureThatCannotBeStoredSaysWhereAndChangesNothing) {
    ScriptedServer pictures;
    const std::string white = GreyJpeg(64, 32, 255);
    ASSERT_TRUE(pictures.Start({[white](ScriptedServer::Connection& c) {
        c.ReadRequest();
        c.Send("HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\nContent-Length: " +
               std::to_string(white.size()) +
               "\r\nLast-Modified: Thu, 04 Mar 2021 05:06:07 GMT\r\n\r\n" + white);
    }}));
    // A folder where the picture must go: refused even to root, unlike a read-only data folder.
    folder_ = home_.MakeDataFolder();
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder_ + "clouds.jpg/x")));
    ASSERT_TRUE(WriteWholeFile(home_.SettingsFile(),
                               "[Nimbora]\nVersion=033000\nGetCatalogue=0\n[Map]\nServerUrl=" +
                                   pictures.Url("/clouds.jpg") +
                                   "\nLastDate=2020-01-01T00:00:00Z\nCredit=Old\n"));
    form_ = std::make_unique<TMainForm>();
    form_->show();
    ASSERT_TRUE(WaitFor([&] { return Seam::StartupDone(*form_); }));
    const TMapInfo before = Seam::MapInfo(*form_);
    Item(*form_, "UpdateWeatherBt")->trigger();
    ASSERT_TRUE(WaitFor([&] { return Seam::StatusText(*form_).rfind("Error: ", 0) == 0; }))
        << Seam::StatusText(*form_);
    std::string where = folder_;
    where.pop_back();
    EXPECT_EQ(Seam::StatusText(*form_),
              Utf8ToCp1252("Error: Cannot save the cloud picture in " + HomeRelative(where)));
    EXPECT_EQ(Seam::UpdateText(*form_), texts::ErrorHintText);
    EXPECT_EQ(Seam::MapInfo(*form_).LastMap.DateTime, before.LastMap.DateTime);
    EXPECT_EQ(Seam::MapInfo(*form_).DownCredit, before.Credit);
    EXPECT_FALSE(FileExists(folder_ + "clouds.ini"));
    EXPECT_TRUE(Item(*form_, "UpdateWeatherBt")->isEnabled());
}

} // namespace
} // namespace nimbora::test
