#include "app/Settings.h"
#include "app/Texts.h"
#include "core/support.h"
#include "platform/Files.h"
#include "weather/WeatherTexts.h"

#include "core/SupportTestSeam.h"
#include "platform/FilesTestSeam.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <sstream>
#include <sys/stat.h>

namespace nimbora {
namespace {

using test::ReadWholeFile;
using test::TempDir;
using test::WriteWholeFile;

// "Ambient 0.9 0.9 1.0" -> "Ambient0=0.9\nAmbient1=0.9\nAmbient2=1.0\n"; "[Section]" and
// "key=value" words stand for themselves, one per line.
std::string Keys(const std::string& compact) {
    std::istringstream in(compact);
    std::string word, name, out;
    int index = 0;
    while (in >> word) {
        if (word[0] == '[' || word.find('=') != std::string::npos) {
            out += word + "\n";
        } else if ((word[0] >= '0' && word[0] <= '9') || word[0] == '-') {
            out += name + std::to_string(index++) + "=" + word + "\n";
        } else {
            name = word;
            index = 0;
        }
    }
    return out;
}

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetDecimalSeparator('.');
        for (const char* name :
             {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "no_proxy", "NO_PROXY"}) {
            if (const char* value = std::getenv(name)) saved_.emplace_back(name, value);
            unsetenv(name);
        }
        path_ = dir_.str("nimbora.ini");
        data_ = dir_.str() + "/";
        info_.Map.push_back({texts::BuiltInServerUrl, 190, texts::BuiltInServerCredit});
    }
    void TearDown() override {
        SetFileWriteFault({});
        unsetenv("http_proxy");
        for (const auto& [name, value] : saved_)
            setenv(name.c_str(), value.c_str(), 1);
    }
    void Read() { ReadSettings(path_, data_, settings_, info_); }
    // The start-up sequence: read, and rewrite when the version differs.
    void StartUp() {
        Read();
        if (SettingsNeedRewrite(settings_)) RewriteSettings(path_, settings_, info_, info_.LastPos);
    }

    TempDir dir_;
    std::string path_, data_;
    TSettings settings_;
    TMapInfo info_;
    std::vector<std::pair<std::string, std::string>> saved_;
};

TEST_F(SettingsTest, FirstStartWritesEveryKeyAtItsDefault) {
    StartUp();
    std::string text = ReadWholeFile(path_);
    // The stored picture time: two days before now, UTC form.
    const std::size_t date = text.find("LastDate=");
    ASSERT_NE(date, std::string::npos);
    const std::size_t end = text.find('\n', date);
    const TDateTimeZ lastDate = IsoToDateTimeZ(text.substr(date + 9, end - date - 9));
    EXPECT_TRUE(lastDate.Exists);
    EXPECT_EQ(lastDate.TimeZone, 0);
    EXPECT_NEAR(lastDate.DateTime, NowDateTimeZ().DateTime - 2, 1.0 / 1440);
    text.replace(date, end - date, "LastDate=D");

    const std::string expected =
        Keys("[Nimbora] Version=033000 "
             "[Proxy] Autodetect=1 Enabled=0 Address= Port= Authenticate=0 Username= Password= "
             "[Map] LastDate=D LastX=0.0 LastY=0.0 LastZ=-15.0 AutoFilterVal=0 Credit= "
             "ServerIndex=0 "
             "[Features] WorldTexturing=1 CountryBoundaries=1 CountryNames=1 DayNight=0 "
             "TimeZoneGrid=0 CityLights=1 AutoUpdate=0 "
             "[General.Cloud] AutoFilter=1 UserFilterVal=0 "
             "[RGB.Cloud] Ambient 0.9 0.9 1.0 Diffuse 1.0 1.0 1.0 0.75 Specular 0.9 0.9 0.9 "
             "Shininess=50.0 "
             "[RGB.Earth1] Ambient 0.9 0.9 1.0 Diffuse 0.63 0.7 0.7 Specular 0.6 0.6 0.6 "
             "Shininess=100.0 "
             "[RGB.Earth2] Ambient 0.18 0.18 0.4 Diffuse 0.24 0.24 0.6 Specular 0.15 0.15 0.15 "
             "Shininess=100.0 "
             "[RGB.Red] Diffuse 1.0 0.1 0.1 Specular 1.0 0.5 0.5 "
             "[RGB.Green] Diffuse 0.1 1.0 0.1 Specular 0.5 1.0 0.5 "
             "[RGB.Blue] Diffuse 0.3 0.3 1.0 Specular 0.5 0.5 1.0 "
             "[Sun.Cloud] Diffuse 0.8 0.8 1.0 0.75 Ambient 0.36 0.36 0.45 0.5 "
             "Specular 0.0 0.0 0.0 0.0 Shininess=50.0 "
             "[Sun.Earth1] Diffuse 1.0 1.0 1.0 Ambient 0.0 0.0 0.0 Specular 0.3 0.3 0.27 "
             "Shininess=150.0 "
             "[Sun.Earth2] Diffuse 0.28 0.28 0.4 Ambient 0.0 0.0 0.0 Specular 0.2 0.2 0.16 "
             "Shininess=150.0 "
             "[Sun.Atmos] Diffuse 0.43 0.43 0.5 0.7 Ambient 0.0 0.0 0.0 0.3 "
             "Specular 0.0 0.0 0.0 0.0 Shininess=50.0 "
             "[Sun.Light] Diffuse 0.2 0.2 0.23 Ambient 0.6 0.6 0.6 Specular 0.5 0.5 0.5");
    EXPECT_EQ(text, expected);
    EXPECT_EQ(text.find("ShowCustomWay"), std::string::npos);
    EXPECT_EQ(text.find(texts::CatalogueSwitchKey), std::string::npos);

    // Read back, the file changes nothing and needs no rewrite.
    TSettings again;
    TMapInfo info;
    ReadSettings(path_, data_, again, info);
    EXPECT_FALSE(SettingsNeedRewrite(again));
    EXPECT_TRUE(again.GetCatalogue);
    EXPECT_TRUE(again.ShowCustomWay);
    EXPECT_EQ(info.LastPos.Z, -15.0f);
    EXPECT_EQ(std::memcmp(&again.Lighting, &settings_.Lighting, sizeof(TLightingSets)), 0);
}

TEST_F(SettingsTest, OlderVersionKeepsKnownValuesAndDropsTheRest) {
    WriteWholeFile(path_, "[Nimbora]\nVersion=032000\nGetCatalogue=0\n"
                          "[Features]\nCountryNames=0\nShowCustomWay=0\nObsolete=1\n"
                          "[Map]\nServerUrl=http://own/c.jpg\nLastZ=-20.5\n");
    StartUp();
    EXPECT_FALSE(settings_.GetCatalogue);
    EXPECT_FALSE(settings_.ShowCustomWay);
    const std::string text = ReadWholeFile(path_);
    EXPECT_NE(text.find("Version=033000\n"), std::string::npos);
    EXPECT_NE(text.find("CountryNames=0\n"), std::string::npos);
    EXPECT_NE(text.find("LastZ=-20.5\n"), std::string::npos);
    for (const char* gone : {"Obsolete", "ShowCustomWay", "GetCatalogue", "ServerUrl"})
        EXPECT_EQ(text.find(gone), std::string::npos) << gone;
    // The dropped keys read as their defaults next time.
    Read();
    EXPECT_TRUE(settings_.GetCatalogue);
    EXPECT_TRUE(settings_.ShowCustomWay);
    EXPECT_FALSE(settings_.Features.CountryNames);
}

TEST_F(SettingsTest, IntegerAndByteKeys) {
    WriteWholeFile(path_, "[General.Cloud]\nUserFilterVal=300\nAutoFilter=0x0\n"
                          "[Map]\nServerIndex=0x3\n[Features]\nDayNight=yes\nTimeZoneGrid=2\n"
                          "CityLights=0\nAutoUpdate=1\n");
    Read();
    EXPECT_EQ(settings_.UserFilterVal, 44);
    EXPECT_FALSE(settings_.AutoFilter);
    EXPECT_EQ(settings_.ServerIndex, 3);
    EXPECT_FALSE(settings_.Features.DayNight); // not a number: default
    EXPECT_TRUE(settings_.Features.TimeZoneGrid);
    EXPECT_FALSE(settings_.Features.CityLights);
    EXPECT_TRUE(settings_.Features.AutoUpdate);
}

TEST_F(SettingsTest, AutoUpdateMinutesStayWithinAMinuteAndAWeek) {
    const std::pair<const char*, int> cases[] = {
        {nullptr, 180},     {"1", 1},         {"0", 1},        {"-5", 1},
        {"10080", 10080},   {"10081", 10080}, {"2147483647", 10080},
        {"x", 180},         {"99999999999", 180}, // not a number an int holds: the default
    };
    for (const auto& [text, minutes] : cases) {
        WriteWholeFile(path_, text ? std::string("[Map]\nAutoUpdateMinutes=") + text + "\n" : "");
        Read();
        EXPECT_EQ(settings_.AutoUpdateMinutes, minutes) << (text ? text : "missing");
    }
    // Hand-made: never written.
    StartUp();
    EXPECT_EQ(ReadWholeFile(path_).find("AutoUpdateMinutes"), std::string::npos);
}

TEST_F(SettingsTest, ServerIndexOutsideTheMenuIsRandom) {
    for (const char* text : {"11", "-1", "x", "99999999999"}) {
        WriteWholeFile(path_, std::string("[Map]\nServerIndex=") + text + "\n");
        Read();
        EXPECT_EQ(settings_.ServerIndex, 0) << text;
    }
    EXPECT_EQ(UpdateWeatherCaption(0), "Update weather (random server)");
    EXPECT_EQ(UpdateWeatherCaption(7), "Update weather (use Server 7)");
}

TEST_F(SettingsTest, ProxyAutodetect) {
    WriteWholeFile(path_, "[Nimbora]\nVersion=033000\n[Proxy]\nAutodetect=1\nEnabled=0\n"
                          "Address=old\nPort=1\nAuthenticate=1\nUsername=u\nPassword=p\n");
    setenv("http_proxy", "http://user:pw@proxy.lan:3128/", 1);
    Read();
    EXPECT_TRUE(settings_.Proxy.Enabled);
    EXPECT_EQ(settings_.Proxy.Address, "proxy.lan");
    EXPECT_EQ(settings_.Proxy.Port, "3128");
    EXPECT_FALSE(settings_.Proxy.Authenticate);
    SaveConfig1(path_, settings_, info_, info_.LastPos);
    const std::string text = ReadWholeFile(path_);
    EXPECT_NE(text.find("[Proxy]\nAutodetect=1\nEnabled=1\nAddress=proxy.lan\nPort=3128\n"
                        "Authenticate=0\nUsername=\nPassword=\n"),
              std::string::npos)
        << text;

    unsetenv("http_proxy");
    Read();
    EXPECT_FALSE(settings_.Proxy.Enabled);
    EXPECT_EQ(settings_.Proxy.Address, "");
}

// The https proxy and no_proxy are kept for the transfers to choose from, while the file
// still records the http proxy's address and port only.
TEST_F(SettingsTest, ProxyAutodetectKeepsEverySystemProxy) {
    WriteWholeFile(path_, "[Nimbora]\nVersion=033000\n[Proxy]\nAutodetect=1\n");
    setenv("https_proxy", "https://secure.lan", 1);
    setenv("no_proxy", ".local", 1);
    Read();
    unsetenv("https_proxy");
    unsetenv("no_proxy");
    ASSERT_TRUE(settings_.Proxy.System.has_value());
    EXPECT_EQ(settings_.Proxy.System->Https.Host, "secure.lan");
    EXPECT_EQ(settings_.Proxy.System->Https.Port, "443");
    EXPECT_EQ(settings_.Proxy.System->NoProxy, ".local");
    EXPECT_FALSE(settings_.Proxy.Enabled); // no http proxy
    SaveConfig1(path_, settings_, info_, info_.LastPos);
    EXPECT_NE(ReadWholeFile(path_).find("[Proxy]\nAutodetect=1\nEnabled=0\nAddress=\nPort=\n"),
              std::string::npos);

    WriteWholeFile(path_, "[Proxy]\nAutodetect=0\n");
    Read();
    EXPECT_FALSE(settings_.Proxy.System.has_value());
}

TEST_F(SettingsTest, ProxyByHand) {
    WriteWholeFile(path_, "[Proxy]\nAutodetect=0\nEnabled=1\nAddress=h\nPort=8080\n"
                          "Authenticate=1\nUsername=u\nPassword=p w\n");
    setenv("http_proxy", "http://ignored:1", 1);
    Read();
    const TProxy& p = settings_.Proxy;
    EXPECT_FALSE(p.Autodetect);
    EXPECT_TRUE(p.Enabled);
    EXPECT_EQ(p.Address, "h");
    EXPECT_EQ(p.Port, "8080");
    EXPECT_TRUE(p.Authenticate);
    EXPECT_EQ(p.Username, "u");
    EXPECT_EQ(p.Password, "p w");
}

TEST_F(SettingsTest, ViewIsWrittenFromTheLiveView) {
    WriteWholeFile(path_, "[Nimbora]\nVersion=033000\n[Map]\nLastX=190\nLastY=-190.5\n"
                          "LastZ=-7.25\n");
    Read();
    EXPECT_EQ(info_.LastPos.X, 190.0f);
    SaveConfig1(path_, settings_, info_, info_.LastPos);
    std::string text = ReadWholeFile(path_);
    EXPECT_NE(text.find("LastX=-170.0\nLastY=169.5\nLastZ=-7.25\n"), std::string::npos) << text;

    SaveConfig1(path_, settings_, info_, TVertex{0.1f, 360.0f, -40.0f});
    text = ReadWholeFile(path_);
    EXPECT_NE(text.find("LastX=0.1\nLastY=0.0\nLastZ=-40.0\n"), std::string::npos) << text;
}

TEST_F(SettingsTest, UnreadableFloatsFallBackToDefaults) {
    WriteWholeFile(path_, "[Map]\nLastZ=nan\nLastX=1e39\nLastY=abc\n"
                          "[RGB.Cloud]\nShininess=\nAmbient0=0,5\n");
    Read();
    EXPECT_EQ(info_.LastPos.Z, -15.0f);
    EXPECT_EQ(info_.LastPos.X, 0.0f);
    EXPECT_EQ(info_.LastPos.Y, 0.0f);
    EXPECT_EQ(settings_.Lighting.RgbCloud.Shininess, 50.0f);
    EXPECT_EQ(settings_.Lighting.RgbCloud.Ambient[0], 0.9f);
}

TEST_F(SettingsTest, DecimalSeparatorOfTheWriterMustMatch) {
    SetDecimalSeparator(',');
    settings_.Lighting.RgbCloud.Ambient[0] = 0.15f;
    settings_.Lighting.SunAtmos.Shininess = 100;
    SaveConfig2(path_, settings_);
    const std::string text = ReadWholeFile(path_);
    EXPECT_NE(text.find("[RGB.Cloud]\nAmbient0=0,15\n"), std::string::npos);
    EXPECT_NE(text.find("Shininess=100,0\n"), std::string::npos);

    Read();
    EXPECT_EQ(settings_.Lighting.RgbCloud.Ambient[0], 0.15f);
    SetDecimalSeparator('.');
    Read();
    EXPECT_EQ(settings_.Lighting.RgbCloud.Ambient[0], 0.9f);
    EXPECT_EQ(settings_.Lighting.SunAtmos.Shininess, 50.0f);
}

TEST_F(SettingsTest, LightingRoundTrip) {
    TLightingSets& l = settings_.Lighting;
    float next = 0.01f;
    for (TMaterialSet* m : {&l.RgbCloud, &l.RgbEarth1, &l.RgbEarth2, &l.SunCloud, &l.SunEarth1,
                            &l.SunEarth2, &l.SunAtmos}) {
        for (float* c : {m->Ambient, m->Diffuse, m->Specular})
            for (int i = 0; i < 4; ++i)
                c[i] = next += 0.01f;
        m->Shininess = next += 1;
    }
    for (TLightSet* s : {&l.RgbRed, &l.RgbGreen, &l.RgbBlue, &l.SunLight})
        for (float* c : {s->Ambient, s->Diffuse, s->Specular})
            for (int i = 0; i < 4; ++i)
                c[i] = next += 0.01f;
    l.SunLight.Diffuse[0] = 0.1f; // below the reset rule
    settings_.AutoFilter = false;
    settings_.UserFilterVal = 123;
    const TSettings written = settings_;
    SaveConfig2(path_, written);
    Read();
    // Only the components that have keys come back; the rest keep their defaults.
    const TLightingSets d = DefaultLighting();
    const TLightingSets& r = settings_.Lighting;
    EXPECT_EQ(r.RgbCloud.Diffuse[3], l.RgbCloud.Diffuse[3]);
    EXPECT_EQ(r.RgbCloud.Ambient[3], d.RgbCloud.Ambient[3]);
    EXPECT_EQ(r.RgbEarth1.Diffuse[2], l.RgbEarth1.Diffuse[2]);
    EXPECT_EQ(r.RgbEarth1.Diffuse[3], d.RgbEarth1.Diffuse[3]);
    EXPECT_EQ(r.RgbRed.Specular[2], l.RgbRed.Specular[2]);
    EXPECT_EQ(r.RgbRed.Ambient[0], d.RgbRed.Ambient[0]);
    EXPECT_EQ(r.SunCloud.Specular[3], l.SunCloud.Specular[3]);
    EXPECT_EQ(r.SunAtmos.Ambient[3], l.SunAtmos.Ambient[3]);
    EXPECT_EQ(r.SunEarth2.Shininess, l.SunEarth2.Shininess);
    EXPECT_EQ(r.SunLight.Ambient[2], l.SunLight.Ambient[2]);
    EXPECT_EQ(r.SunLight.Diffuse[0], 0.1f);
    EXPECT_FALSE(settings_.AutoFilter);
    EXPECT_EQ(settings_.UserFilterVal, 123);
}

TEST_F(SettingsTest, SunLightDiffuseReset) {
    struct Case {
        const char* Diffuse0;
        float Expected[3];
    };
    const Case cases[] = {
        {"0.21", {0.2f, 0.2f, 0.23f}},
        {"0.25", {0.2f, 0.2f, 0.23f}},
        {"0.2", {0.2f, 0.5f, 0.6f}},
        {"0.1", {0.1f, 0.5f, 0.6f}},
    };
    for (const Case& c : cases) {
        WriteWholeFile(path_, std::string("[Sun.Light]\nDiffuse0=") + c.Diffuse0 +
                                  "\nDiffuse1=0.5\nDiffuse2=0.6\n");
        Read();
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(settings_.Lighting.SunLight.Diffuse[i], c.Expected[i]) << c.Diffuse0;
    }
}

TEST_F(SettingsTest, DirectServer) {
    Read();
    ASSERT_EQ(info_.Map.size(), 1u);
    EXPECT_EQ(info_.Map[0].Url, texts::BuiltInServerUrl);
    EXPECT_FALSE(info_.UseDirectUrl);

    WriteWholeFile(path_, "[Map]\nServerUrl=http://own.example/c.png\nServerFilter=300\n");
    Read();
    ASSERT_EQ(info_.Map.size(), 1u);
    EXPECT_EQ(info_.Map[0].Url, "http://own.example/c.png");
    EXPECT_EQ(info_.Map[0].Filter, 44);
    EXPECT_EQ(info_.Map[0].Credit, texts::DirectServerCredit);
    EXPECT_TRUE(info_.UseDirectUrl);
}

// Editors that put a byte-order mark first must not cost the program section: a lost "Version"
// would make start-up rewrite the file without the hand-edited keys.
TEST_F(SettingsTest, ByteOrderMarkKeepsTheFirstSectionAndHandEditedKeys) {
    const std::string start = "\xEF\xBB\xBF[Nimbora]\nVersion=033000\nGetCatalogue=0\n"
                              "CatalogueUrl=http://cat.example/\n[Map]\n"
                              "ServerUrl=http://own.example/c.png\n[Features]\nShowCustomWay=0\n";
    WriteWholeFile(path_, start);
    StartUp();
    EXPECT_EQ(settings_.Version, "033000");
    EXPECT_FALSE(settings_.GetCatalogue);
    EXPECT_EQ(settings_.CatalogueUrl, "http://cat.example/");
    EXPECT_TRUE(info_.UseDirectUrl);
    EXPECT_FALSE(settings_.ShowCustomWay);
    EXPECT_EQ(ReadWholeFile(path_), start);

    SaveConfig1(path_, settings_, info_, info_.LastPos);
    SaveConfig2(path_, settings_);
    const std::string text = ReadWholeFile(path_);
    EXPECT_EQ(text.rfind("[Nimbora]"), 3u) << text; // the section is not added a second time
    Read();
    EXPECT_FALSE(settings_.GetCatalogue);
    EXPECT_EQ(settings_.CatalogueUrl, "http://cat.example/");
    EXPECT_TRUE(info_.UseDirectUrl);
}

TEST_F(SettingsTest, PictureStateOnlyWithACachedPicture) {
    WriteWholeFile(path_, "[Map]\nAutoFilterVal=150\nCredit=M\xC3\xA9t\xC3\xA9o\n");
    Read();
    EXPECT_EQ(info_.AutoFilterVal, 0);
    EXPECT_EQ(info_.Credit, "");

    for (const char* name : {"clouds.png", "clouds.jpg"}) {
        WriteWholeFile(data_ + name, "x");
        Read();
        EXPECT_EQ(info_.AutoFilterVal, 150) << name;
        EXPECT_EQ(info_.Credit, "M\xE9t\xE9o") << name; // Windows-1252 in memory
        EXPECT_EQ(info_.DownFilter, 150);
        EXPECT_EQ(info_.DownCredit, "M\xE9t\xE9o");
        std::filesystem::remove(data_ + name);
    }
    WriteWholeFile(data_ + "clouds.jpg", "x");
    Read();
    SaveConfig1(path_, settings_, info_, info_.LastPos);
    EXPECT_NE(ReadWholeFile(path_).find("Credit=M\xC3\xA9t\xC3\xA9o\n"), std::string::npos);
}

TEST_F(SettingsTest, LastDate) {
    WriteWholeFile(path_, "[Map]\nLastDate=2024-03-05T07:08:09+01:30\n");
    Read();
    EXPECT_TRUE(info_.LastMap.Exists);
    EXPECT_EQ(info_.LastMap.TimeZone, 90);
    SaveConfig1(path_, settings_, info_, info_.LastPos);
    EXPECT_NE(ReadWholeFile(path_).find("LastDate=2024-03-05T07:08:09+01:30\n"), std::string::npos);

    WriteWholeFile(path_, "[Map]\nLastDate=not a date\n");
    Read();
    EXPECT_FALSE(info_.LastMap.Exists);
}

TEST_F(SettingsTest, ShowCustomWayIsWrittenAlone) {
    const std::string before = "[Features]\nDayNight=1\n[Other]\nk=v\n";
    WriteWholeFile(path_, before);
    WriteShowCustomWay(path_, false);
    EXPECT_EQ(ReadWholeFile(path_), "[Features]\nDayNight=1\nShowCustomWay=0\n[Other]\nk=v\n");
    Read();
    EXPECT_FALSE(settings_.ShowCustomWay);
}

TEST_F(SettingsTest, ReadOnlyFileIsMadeWritableAndWritten) {
    WriteWholeFile(path_, "[Nimbora]\nVersion=033000\n");
    ::chmod(path_.c_str(), 0444);
    settings_.Features.DayNight = true;
    SaveConfig1(path_, settings_, info_, info_.LastPos);
    struct stat st {};
    ::stat(path_.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    EXPECT_NE(ReadWholeFile(path_).find("DayNight=1"), std::string::npos);

    ::chmod(path_.c_str(), 0400);
    settings_.Version = "old";
    RewriteSettings(path_, settings_, info_, info_.LastPos);
    EXPECT_NE(ReadWholeFile(path_).find("[Sun.Light]"), std::string::npos);
    EXPECT_TRUE(ClearReadOnly(dir_.str("absent.ini")));
}

TEST_F(SettingsTest, RefusedWritesKeepThePreviousFile) {
    const std::string before = "[Nimbora]\nVersion=031000\n[Features]\nCountryNames=0\n";
    WriteWholeFile(path_, before);
    Read();
    SetFileWriteFault([](TFileWriteStep s) { return s == TFileWriteStep::Sync; });
    const std::string message = "Unable to write to " + path_;
    auto expectRefused = [&](auto write) {
        try {
            write();
            ADD_FAILURE() << "write was not refused";
        } catch (const TSettingsWriteError& e) {
            EXPECT_EQ(e.what(), message);
        }
        EXPECT_EQ(ReadWholeFile(path_), before);
    };
    expectRefused([&] { RewriteSettings(path_, settings_, info_, info_.LastPos); });
    expectRefused([&] { SaveConfig1(path_, settings_, info_, info_.LastPos); });
    expectRefused([&] { SaveConfig2(path_, settings_); });
    expectRefused([&] { WriteShowCustomWay(path_, false); });
}

} // namespace
} // namespace nimbora
