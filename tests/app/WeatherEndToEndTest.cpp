// The whole weather story with the real window: catalogue, first download, cached clouds at
// the next start, a conditional update, and closing in the middle of a download. All servers
// run on this machine.
#include "GuiSupport.h"
#include "app/TestSeam.h"

#include "core/Messages.h"
#include "render/OpenGLPanel.h"
#include "support/NetHarness.h"
#include "weather/WeatherTexts.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <functional>
#include <gtest/gtest.h>
#include <sys/time.h>
#include <tuple>

namespace nimbora::test {
namespace {

using Connection = ScriptedServer::Connection;

// Last-Modified of the served cloud picture: Thu, 04 Mar 2021 05:06:07 GMT.
constexpr time_t PictureTime = 1614834367;

// A white picture: wherever the globe faces, its centre is under thick cloud.
std::string WhiteJpeg(int width, int height) {
    return GreyJpeg(width, height, 255, 90);
}

// Points the temporary folder at a scratch folder for the life of the object.
class TScratchTemp {
public:
    TScratchTemp() {
        if (const char* old = std::getenv("TMPDIR")) old_ = old, had_ = true;
        setenv("TMPDIR", dir_.str().c_str(), 1);
    }
    ~TScratchTemp() { had_ ? setenv("TMPDIR", old_.c_str(), 1) : unsetenv("TMPDIR"); }
    std::vector<std::string> Files() const {
        std::vector<std::string> names;
        for (const QString& name : QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden))
            names.push_back(name.toStdString());
        return names;
    }
    std::string Path() const { return dir_.str(); }

private:
    TempDir dir_;
    std::string old_;
    bool had_ = false;
};

std::string Catalogue(const std::vector<std::string>& urls) {
    std::string text = "[Service]\nProgram=Nimbora\n[Version]\nCode=033000\n[MapDef]\nCount=" +
                       std::to_string(urls.size()) + "\n";
    for (std::size_t i = 0; i < urls.size(); ++i)
        text += "[Map" + std::to_string(i + 1) + "]\nUrl=" + urls[i] +
                "\nFilter=0\nCredit=Local clouds\n";
    return text;
}

// Mean brightness (R + G + B) of a square around the frame's centre.
double CentreBrightness(const QImage& frame) {
    const QImage image = frame.convertToFormat(QImage::Format_RGB32);
    const int cx = image.width() / 2, cy = image.height() / 2, half = 20;
    double sum = 0;
    int count = 0;
    for (int y = cy - half; y < cy + half; ++y)
        for (int x = cx - half; x < cx + half; ++x) {
            const QRgb p = image.pixel(x, y);
            sum += qRed(p) + qGreen(p) + qBlue(p);
            ++count;
        }
    return sum / count;
}

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

class WeatherEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        if (FindProgram("/usr/sbin/nginx").empty() && FindProgram("nginx").empty())
            GTEST_SKIP() << "nginx is not installed";
        picture_ = WhiteJpeg(512, 256);
        // /always/ answers in full even to a conditional request.
        ASSERT_TRUE(QDir().mkpath(root_.file("always")));
        for (const char* name : {"clouds.jpg", "always/clouds.jpg"}) {
            ASSERT_TRUE(WriteWholeFile(root_.str(name), picture_));
            const timeval times[2] = {{PictureTime, 0}, {PictureTime, 0}};
            ASSERT_EQ(utimes(root_.str(name).c_str(), times), 0);
        }
        ASSERT_TRUE(nginx_.Start(root_.str(), "location /always/ { if_modified_since off; }\n"))
            << nginx_.ErrorLog();
        temp_ = std::make_unique<TScratchTemp>();
    }
    void TearDown() override { temp_.reset(); }

    // A settings file of this version that names the catalogue, so it is not rewritten.
    void WriteSettings(const std::string& catalogueFile) {
        home_.MakeDataFolder();
        ASSERT_TRUE(WriteWholeFile(
            home_.SettingsFile(),
            "[Nimbora]\nVersion=033000\nCatalogueUrl=" + nginx_.Url("/" + catalogueFile) + "\n"));
    }
    QAction* Item(const TMainForm& form, const char* name) {
        return Seam::OptionPopup(form)->findChild<QAction*>(name);
    }
    int PictureRequests(const char* status) {
        return Count(nginx_.AccessLog(), std::string("\"GET /clouds.jpg HTTP/1.1\" ") + status);
    }

    TScratchHome home_;
    TempDir root_;
    NginxServer nginx_;
    std::unique_ptr<TScratchTemp> temp_;
    std::string picture_;
};

TEST_F(WeatherEndToEnd, FirstStartFetchesCatalogueAndCloudsThenNextStartUsesTheCache) {
    const std::string pictureUrl = nginx_.Url("/clouds.jpg");
    ASSERT_TRUE(WriteWholeFile(root_.str("catalogue.ini"), Catalogue({pictureUrl, pictureUrl})));
    WriteSettings("catalogue.ini");
    const std::string cached = home_.DataFolder() + "clouds.jpg";
    {
        auto form = StartMainForm();
        ASSERT_TRUE(WaitFor([&] { return Seam::CloudsShown(*form); }, 20000)) << Seam::StatusText(*form);
        // The catalogue was read: its two servers are offered, the others stay hidden.
        EXPECT_EQ(Seam::MapInfo(*form).Map.size(), 2u);
        EXPECT_TRUE(Item(*form, "UseServer1Bt")->isVisible());
        EXPECT_TRUE(Item(*form, "UseServer2Bt")->isVisible());
        EXPECT_FALSE(Item(*form, "UseServer3Bt")->isVisible());
        EXPECT_TRUE(Item(*form, "UpdateWeatherBt")->isEnabled());
        EXPECT_NE(nginx_.AccessLog().find("GET /catalogue.ini?prog=Nimbora"), std::string::npos);
        // The picture was fetched by itself and is in hand.
        EXPECT_EQ(PictureRequests("200"), 1);
        EXPECT_TRUE(ReadWholeFile(cached) == picture_);
        EXPECT_FALSE(QFile::exists(QString::fromStdString(home_.DataFolder() + "clouds.png")));
        EXPECT_DOUBLE_EQ(Seam::MapInfo(*form).LastMap.DateTime, 25569.0 + PictureTime / 86400.0);
        EXPECT_EQ(Seam::StatusText(*form), texts::DownloadCompleteText);
        EXPECT_EQ(Seam::CreditText(*form), "Local clouds");
        EXPECT_EQ(Seam::UpdateText(*form).rfind("Clouds updated: ", 0), 0u) << Seam::UpdateText(*form);
        EXPECT_TRUE(temp_->Files().empty());

        // The cloud layer is in the frame: the globe's centre is brighter with it.
        const double withClouds = CentreBrightness(Seam::OpenGLPanel(*form)->grabFramebuffer());
        Item(*form, "ShowCloudsBt")->trigger();
        const double withoutClouds = CentreBrightness(Seam::OpenGLPanel(*form)->grabFramebuffer());
        Item(*form, "ShowCloudsBt")->trigger();
        EXPECT_GT(withClouds, withoutClouds + 60) << withClouds << " " << withoutClouds;
        form->close();
    }

    // Next start: the cached clouds at once, the catalogue again, no download by itself.
    ASSERT_TRUE(WriteWholeFile(root_.str("catalogue.ini"),
                               Catalogue({pictureUrl, nginx_.Url("/always/clouds.jpg")})));
    auto form = StartMainForm();
    ASSERT_TRUE(WaitFor([&] { return Seam::CloudsShown(*form); }, 3000));
    EXPECT_EQ(PictureRequests("200"), 1);
    ASSERT_TRUE(WaitFor([&] { return Item(*form, "UpdateWeatherBt")->isEnabled(); }, 10000));
    QCoreApplication::processEvents();
    EXPECT_FALSE(Seam::Downloading(*form));
    EXPECT_EQ(PictureRequests("200") + PictureRequests("304"), 1);

    // "Update weather" asks only whether something newer exists.
    Item(*form, "UseServer1Bt")->trigger();
    Seam::OptionPopup(*form)->hide();
    Item(*form, "UpdateWeatherBt")->trigger();
    ASSERT_TRUE(WaitFor([&] { return Seam::StatusText(*form) == texts::NoNewerPictureText; }, 10000))
        << Seam::StatusText(*form);
    EXPECT_EQ(PictureRequests("304"), 1) << nginx_.AccessLog();
    EXPECT_TRUE(Seam::CloudsShown(*form));
    EXPECT_TRUE(ReadWholeFile(cached) == picture_);
    EXPECT_DOUBLE_EQ(Seam::MapInfo(*form).LastMap.DateTime, 25569.0 + PictureTime / 86400.0);
    ASSERT_TRUE(WaitFor([&] { return Item(*form, "UpdateWeatherBt")->isEnabled(); }, 3000));
    EXPECT_TRUE(temp_->Files().empty());

    // A server that sends the same picture again in full: nothing changes, and the unused
    // body does not stay behind in the temporary folder.
    Item(*form, "UseServer2Bt")->trigger();
    Seam::OptionPopup(*form)->hide();
    TMainFormTestSeam::ClearStatusText(*form);
    Item(*form, "UpdateWeatherBt")->trigger();
    ASSERT_TRUE(WaitFor([&] { return Seam::StatusText(*form) == texts::NoNewerPictureText; }, 10000))
        << Seam::StatusText(*form);
    ASSERT_TRUE(WaitFor([&] { return !Seam::Downloading(*form); }, 3000));
    EXPECT_EQ(Count(nginx_.AccessLog(), "\"GET /always/clouds.jpg HTTP/1.1\" 200"), 1);
    EXPECT_TRUE(ReadWholeFile(cached) == picture_);
    EXPECT_TRUE(temp_->Files().empty());
}

TEST_F(WeatherEndToEnd, ClosingDuringASlowDownloadEndsAtOnce) {
    ScriptedServer slow;
    ASSERT_TRUE(slow.Start({[](Connection& c) {
        c.ReadRequest();
        if (!c.Send("HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\n"
                    "Content-Length: 10000000\r\n\r\n\xFF\xD8"))
            return;
        while (c.Send(std::string(200, 'x')) && c.Pause(20)) {
        }
    }}));
    ASSERT_TRUE(WriteWholeFile(root_.str("slow.ini"), Catalogue({slow.Url("/clouds.jpg")})));
    WriteSettings("slow.ini");
    auto form = StartMainForm();
    ASSERT_TRUE(WaitFor(
        [&] { return Seam::Downloading(*form) && Seam::StatusText(*form).rfind("Downloading ", 0) == 0; },
        10000))
        << Seam::StatusText(*form);
    EXPECT_FALSE(temp_->Files().empty()); // the body is on its way

    QElapsedTimer clock;
    clock.start();
    form->close();
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_FALSE(Seam::Downloading(*form));
    EXPECT_TRUE(temp_->Files().empty());
    EXPECT_FALSE(QFile::exists(QString::fromStdString(home_.DataFolder() + "clouds.jpg")));
    // Closing wrote the settings, keeping the catalogue address it does not write itself.
    const std::string ini = ReadWholeFile(Seam::IniFile(*form));
    EXPECT_TRUE(IniValue(ini, "Map", "LastZ").Found) << ini;
    EXPECT_TRUE(IniValue(ini, "Proxy", "Autodetect").Found);
    EXPECT_TRUE(IniValue(ini, "Nimbora", "CatalogueUrl").Found);
}

TEST_F(WeatherEndToEnd, ClosingDuringASlowCatalogueStartsNothingMore) {
    ScriptedServer slow;
    ASSERT_TRUE(slow.Start({[](Connection& c) {
        c.ReadRequest();
        if (!c.Send("HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n[Service]\n")) return;
        while (c.Send(";\n") && c.Pause(20)) {
        }
    }}));
    home_.MakeDataFolder();
    ASSERT_TRUE(WriteWholeFile(home_.SettingsFile(), "[Nimbora]\nVersion=033000\nCatalogueUrl=" +
                                                         slow.Url("/catalogue.ini") + "\n"));
    // The built-in server counts the updates that reach it.
    ScriptedServer pictures;
    ASSERT_TRUE(pictures.Start({[](Connection& c) { c.ReadRequest(); }}));
    auto form = std::make_unique<TMainForm>();
    TMainFormTestSeam::SetBuiltInServer(*form, TMap{pictures.Url("/clouds.jpg"), 190, "test"});
    form->show();
    ASSERT_TRUE(WaitFor([&] { return Seam::StartupDone(*form); }));
    ASSERT_TRUE(WaitFor([&] { return slow.ConnectionCount() > 0 && !temp_->Files().empty(); }));
    EXPECT_TRUE(Seam::FetchingCatalogue(*form));

    // An update asked for just before closing.
    PostMessage(form.get(), UM_BEGINUPDATE, WpGetMap);
    QElapsedTimer clock;
    clock.start();
    form->close();
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_FALSE(Seam::FetchingCatalogue(*form));
    EXPECT_TRUE(temp_->Files().empty());
    // The stopped fetch reports late; a closed window must not start an update from it.
    WaitFor([] { return false; }, 500);
    EXPECT_FALSE(Seam::Downloading(*form));
    EXPECT_EQ(pictures.ConnectionCount(), 0);
    EXPECT_TRUE(temp_->Files().empty());
}

// A picture larger than the texture can hold is shrunk to fit, not thrown away.
TEST_F(WeatherEndToEnd, PictureLargerThanTheTextureIsShownShrunk) {
    const std::string big = WhiteJpeg(8192, 8192);
    ASSERT_TRUE(WriteWholeFile(root_.str("big.jpg"), big));
    ASSERT_TRUE(WriteWholeFile(root_.str("big.ini"), Catalogue({nginx_.Url("/big.jpg")})));
    WriteSettings("big.ini");
    auto form = StartMainForm();
    ASSERT_TRUE(WaitFor([&] { return Seam::CloudsShown(*form); }, 90000)) << Seam::StatusText(*form);
    EXPECT_EQ(Seam::StatusText(*form), texts::DownloadCompleteText);
    EXPECT_TRUE(ReadWholeFile(home_.DataFolder() + "clouds.jpg") == big);
    const double withClouds = CentreBrightness(Seam::OpenGLPanel(*form)->grabFramebuffer());
    Item(*form, "ShowCloudsBt")->trigger();
    const double withoutClouds = CentreBrightness(Seam::OpenGLPanel(*form)->grabFramebuffer());
    EXPECT_GT(withClouds, withoutClouds + 60) << withClouds << " " << withoutClouds;
}

TEST_F(WeatherEndToEnd, OnlyAConnectionFailureNamesWhereTheProxyIsSet) {
    struct Case {
        const char* name;
        std::string url;
        const char* status;
        bool proxyHint;
    };
    const Case cases[] = {
        {"connection refused",
         "http://127.0.0.1:" + std::to_string(PickFreePort()) + "/clouds.jpg",
         "Error: Connection failed", true},
        {"not found", nginx_.Url("/missing.jpg"), "Error: Service unavailable", false},
    };
    for (const Case& c : cases) {
        home_.MakeDataFolder();
        ASSERT_TRUE(WriteWholeFile(home_.SettingsFile(),
                                   "[Nimbora]\nVersion=033000\nGetCatalogue=0\n[Map]\nServerUrl=" +
                                       c.url + "\n"));
        auto form = StartMainForm();
        ASSERT_TRUE(WaitFor([&] { return Item(*form, "UpdateWeatherBt")->isEnabled(); }));
        Item(*form, "UpdateWeatherBt")->trigger();
        ASSERT_TRUE(WaitFor([&] { return Seam::StatusText(*form) == c.status; }, 10000))
            << c.name << ": " << Seam::StatusText(*form);
        const std::string ini = Seam::IniFile(*form);
        EXPECT_EQ(Seam::UpdateText(*form), texts::ErrorHintText) << c.name;
        EXPECT_EQ(Seam::CreditText(*form),
                  std::string(texts::ErrorHintText2) +
                      (c.proxyHint ? " Proxy: [Proxy] in " + ini.substr(ini.rfind('/') + 1) : ""))
            << c.name;
        form->close();
    }
}

// A plain server that sends no Last-Modified: each different picture is taken, the same one
// again is not.
TEST_F(WeatherEndToEnd, ServerWithoutLastModifiedDeliversEachNewPicture) {
    const std::string first = WhiteJpeg(512, 256);
    const std::string second = WhiteJpeg(256, 128);
    const auto serve = [](const std::string& body) {
        return [body](Connection& c) {
            c.ReadRequest();
            c.Send("HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\nContent-Length: " +
                   std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
        };
    };
    ScriptedServer plain;
    ASSERT_TRUE(plain.Start({serve(first), serve(second)}));
    ASSERT_TRUE(WriteWholeFile(root_.str("plain.ini"), Catalogue({plain.Url("/clouds.jpg")})));
    WriteSettings("plain.ini");
    const std::string cached = home_.DataFolder() + "clouds.jpg";
    auto form = StartMainForm();
    ASSERT_TRUE(WaitFor([&] { return Seam::CloudsShown(*form); }, 20000)) << Seam::StatusText(*form);
    EXPECT_TRUE(ReadWholeFile(cached) == first);
    // Stored with the time it arrived, not a date the server never gave.
    const double now = 25569.0 + time(nullptr) / 86400.0;
    EXPECT_NEAR(Seam::MapInfo(*form).LastMap.DateTime, now, 60 / 86400.0);

    for (const auto& [picture, status] :
         {std::pair{&second, texts::DownloadCompleteText}, {&second, texts::NoNewerPictureText}}) {
        ASSERT_TRUE(WaitFor([&] { return Item(*form, "UpdateWeatherBt")->isEnabled(); }));
        TMainFormTestSeam::ClearStatusText(*form);
        Item(*form, "UpdateWeatherBt")->trigger();
        ASSERT_TRUE(WaitFor([&] { return Seam::StatusText(*form) == status; }, 10000))
            << Seam::StatusText(*form);
        // The status line changes before the queued installation has run: wait for the file.
        EXPECT_TRUE(WaitFor(
            [&] {
                return ReadWholeFile(cached) == *picture && Seam::CloudsShown(*form) &&
                       !Seam::Downloading(*form);
            },
            10000));
    }
    EXPECT_EQ(plain.ConnectionCount(), 3);
    EXPECT_TRUE(temp_->Files().empty());
}

// "Update automatically" with a one-minute interval, its time sped up fifty-fold: the window
// asks by itself at start-up and again after the interval, also after a failed check, and takes
// the newer picture; nothing pops up.
TEST_F(WeatherEndToEnd, AutomaticUpdateAsksAgainAfterTheIntervalAndTakesTheNewerPicture) {
    const std::string dark = GreyJpeg(512, 256, 0, 90);
    const auto answer = [](std::string head, std::string body = {}) {
        return [head, body](Connection& c) {
            c.ReadRequest();
            c.Send(head + "Content-Length: " + std::to_string(body.size()) +
                   "\r\nConnection: close\r\n\r\n" + body);
        };
    };
    const struct {
        const char* Name;
        ScriptedServer::Behaviour First;
        const char* FirstStatus;
    } cases[] = {
        {"not modified", answer("HTTP/1.1 304 Not Modified\r\n"), texts::NoNewerPictureText},
        {"server fails", answer("HTTP/1.1 503 Service Unavailable\r\n"),
         "Error: Service unavailable"},
    };
    const std::string cached = home_.DataFolder() + "clouds.jpg";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        ScriptedServer server;
        ASSERT_TRUE(server.Start(
            {c.First, answer("HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\n"
                             "Last-Modified: Thu, 04 Mar 2021 05:06:07 GMT\r\n",
                             dark)}));
        // Each case from a fresh data folder: the picture the last one took is not in hand.
        QDir(QString::fromStdString(home_.DataFolder())).removeRecursively();
        home_.MakeDataFolder();
        ASSERT_TRUE(WriteWholeFile(cached, picture_));
        ASSERT_TRUE(WriteWholeFile(
            home_.SettingsFile(), "[Nimbora]\nVersion=033000\nGetCatalogue=0\n[Map]\nServerUrl=" +
                                      server.Url("/clouds.jpg") +
                                      "\nAutoUpdateMinutes=1\n[Features]\nAutoUpdate=1\n"));
        auto form = std::make_unique<TMainForm>();
        TMainFormTestSeam::SetAutoUpdatePace(*form, 20);
        form->show();
        ASSERT_TRUE(WaitFor([&] { return Seam::StartupDone(*form) && Seam::CloudsShown(*form); }));
        EXPECT_TRUE(Item(*form, "AutoUpdateBt")->isChecked());
        const double white = CentreBrightness(Seam::OpenGLPanel(*form)->grabFramebuffer());

        ASSERT_TRUE(WaitFor([&] { return Seam::StatusText(*form) == c.FirstStatus; }))
            << Seam::StatusText(*form);
        QElapsedTimer sinceFirst;
        sinceFirst.start();
        ASSERT_TRUE(
            WaitFor([&] { return Seam::StatusText(*form) == texts::DownloadCompleteText; }, 20000))
            << Seam::StatusText(*form);
        // A minute of the schedule is 1.2 s here, less at most 5 %.
        EXPECT_GE(sinceFirst.elapsed(), 1000);
        EXPECT_TRUE(ReadWholeFile(cached) == dark);
        // (A third check may follow 1.2 s later; it finds the same picture.)
        const std::vector<std::string> requests = server.Requests();
        ASSERT_GE(requests.size(), 2u);
        for (const std::string& head : requests)
            EXPECT_NE(head.find("If-Modified-Since: "), std::string::npos) << head;
        EXPECT_TRUE(WaitFor([&] {
            return Seam::CloudsShown(*form) && !Seam::CloudsPending(*form) &&
                   CentreBrightness(Seam::OpenGLPanel(*form)->grabFramebuffer()) < white - 60;
        }));
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        form->close();
        EXPECT_TRUE(temp_->Files().empty());
        EXPECT_EQ(IniValue(ReadWholeFile(home_.SettingsFile()), "Features", "AutoUpdate").Value,
                  "1");
    }
}

// Answers the program's message boxes from inside its own event loop: every box that becomes
// the active modal window is noted and closed, with No for a question. hold() may keep a box
// open until it returns true.
class TBoxAnswerer {
public:
    explicit TBoxAnswerer(std::function<bool()> hold = {}) : hold_(std::move(hold)) {
        timer_.setInterval(50);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            if (box != current_) {
                current_ = box;
                Seen.push_back({box->icon(), box->text().toStdString()});
            }
            if (hold_ && !hold_()) return;
            QAbstractButton* answer = box->button(QMessageBox::No);
            if (!answer) answer = box->button(QMessageBox::Ok);
            if (answer) answer->click();
        });
        timer_.start();
    }
    struct TBox {
        QMessageBox::Icon Icon;
        std::string Text;
    };
    std::vector<TBox> Seen;

private:
    std::function<bool()> hold_;
    QTimer timer_;
    QMessageBox* current_ = nullptr;
};

// Keeps links from reaching a browser while the program opens the notice link.
class TNoBrowser {
public:
    TNoBrowser() {
        for (const char* name : {"PATH", "XDG_DATA_DIRS", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS"}) {
            const char* old = std::getenv(name);
            saved_.push_back({name, old ? old : "", old != nullptr});
            setenv(name, dir_.str().c_str(), 1);
        }
    }
    ~TNoBrowser() {
        for (const auto& [name, value, had] : saved_)
            had ? setenv(name.c_str(), value.c_str(), 1) : unsetenv(name.c_str());
    }

private:
    TempDir dir_;
    std::vector<std::tuple<std::string, std::string, bool>> saved_;
};

// The shipped sample catalogue brings a notice and an update offer. Both boxes appear inside
// the catalogue handler while the catalogue thread ends; the program must go on running and
// close normally afterwards.
TEST_F(WeatherEndToEnd, SampleCatalogueShowsItsNoticeAndOfferAndTheProgramGoesOn) {
    ASSERT_TRUE(WriteWholeFile(root_.str("catalogue.ini"),
                               ReadWholeFile(NIMBORA_SOURCE_DIR "/docs/sample-catalogue.ini")));
    WriteSettings("catalogue.ini");
    // Clouds in hand, so that no update goes to the catalogue's servers elsewhere.
    ASSERT_TRUE(WriteWholeFile(home_.DataFolder() + "clouds.jpg", picture_));
    TNoBrowser noBrowser;
    TBoxAnswerer boxes;
    auto form = StartMainForm();
    ASSERT_TRUE(WaitFor([&] { return boxes.Seen.size() >= 2; }, 15000));
    ASSERT_TRUE(WaitFor([&] { return Item(*form, "UpdateWeatherBt")->isEnabled(); }, 5000));
    WaitFor([] { return false; }, 300);
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(Seam::FetchingCatalogue(*form));
    EXPECT_EQ(boxes.Seen[0].Icon, QMessageBox::Information);
    EXPECT_EQ(boxes.Seen[0].Text, "The catalogue service moves to a new address next month.");
    EXPECT_EQ(boxes.Seen[1].Icon, QMessageBox::Question);
    EXPECT_NE(boxes.Seen[1].Text.find("3.3.1"), std::string::npos) << boxes.Seen[1].Text;
    EXPECT_EQ(Seam::MapInfo(*form).Map.size(), 3u);
    EXPECT_NE(Seam::OptionPopup(*form)->findChild<QAction*>("ptrBut2"), nullptr);
    EXPECT_EQ(PictureRequests("200"), 0);

    const std::string ini = Seam::IniFile(*form);
    ASSERT_TRUE(WriteWholeFile(ini, "[Nimbora]\nVersion=033000\n"));
    form->close();
    EXPECT_TRUE(IniValue(ReadWholeFile(ini), "Map", "LastZ").Found);
    EXPECT_EQ(boxes.Seen.size(), 2u);
}

// A download that ends while the notice box is open: its results, its end and the cloud
// picture are all handled inside the box's event loop.
TEST_F(WeatherEndToEnd, DownloadEndingWhileANoticeIsOpenIsHandledSafely) {
    std::atomic<bool> boxOpen{false};
    ScriptedServer pictures;
    const std::string picture = picture_;
    ASSERT_TRUE(pictures.Start({[&boxOpen, picture](Connection& c) {
        c.ReadRequest();
        while (!boxOpen && c.Pause(20)) {
        }
        c.Send("HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\nContent-Length: " +
               std::to_string(picture.size()) +
               "\r\nLast-Modified: Thu, 04 Mar 2021 05:06:07 GMT\r\n\r\n" + picture);
    }}));
    ASSERT_TRUE(WriteWholeFile(root_.str("catalogue.ini"),
                               ReadWholeFile(NIMBORA_SOURCE_DIR "/docs/sample-catalogue.ini")));
    // A direct server address: "Update weather" works before the catalogue has arrived.
    home_.MakeDataFolder();
    ASSERT_TRUE(
        WriteWholeFile(home_.SettingsFile(),
                       "[Nimbora]\nVersion=033000\nCatalogueUrl=" + nginx_.Url("/catalogue.ini") +
                           "\n[Map]\nServerUrl=" + pictures.Url("/clouds.jpg") + "\n"));
    TNoBrowser noBrowser;
    TMainForm* shown = nullptr;
    // The notice stays open until the download has ended and its picture is shown.
    TBoxAnswerer boxes([&] {
        boxOpen = true;
        return shown && !Seam::Downloading(*shown) && Seam::CloudsShown(*shown);
    });
    auto form = std::make_unique<TMainForm>();
    shown = form.get();
    form->show();
    ASSERT_TRUE(WaitFor([&] { return Seam::StartupDone(*form); }));
    Item(*form, "UpdateWeatherBt")->trigger();
    ASSERT_TRUE(WaitFor([&] { return boxes.Seen.size() >= 2; }, 20000)) << Seam::StatusText(*form);
    ASSERT_TRUE(WaitFor([&] { return Item(*form, "UpdateWeatherBt")->isEnabled(); }, 5000));
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(Seam::CloudsShown(*form));
    EXPECT_EQ(Seam::StatusText(*form), texts::DownloadCompleteText);
    EXPECT_FALSE(Seam::Downloading(*form));
    EXPECT_EQ(pictures.ConnectionCount(), 1);
    form->close();
    EXPECT_TRUE(temp_->Files().empty());
    EXPECT_TRUE(IniValue(ReadWholeFile(Seam::IniFile(*form)), "Map", "LastZ").Found);
}

} // namespace
} // namespace nimbora::test
