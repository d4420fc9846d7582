#include "ui/about.h"

#include "support/ChildRun.h"
#include "support/LayoutCheck.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

namespace nimbora {
namespace {

QColor Pixel(const QImage& img, int x, int y) {
    return img.pixelColor(x, y);
}

TEST(AboutBakImage, ShadesFromLightToDark) {
    const QImage img = PaintBakImage(250, 110);
    ASSERT_EQ(img.size(), QSize(250, 110));
    EXPECT_EQ(img.format(), QImage::Format_RGB888);
    struct Case {
        int x, y;
        QColor color;
    };
    const std::vector<Case> cases = {
        {0, 0, QColor(241, 240, 239)},     // the light colour
        {249, 109, QColor(172, 167, 162)}, // the dark colour
        {0, 55, QColor(221, 219, 216)},    // f = cos 45 degrees
        // f = 0.5 exactly: 206.5, 203.5, 200.5 go to the even neighbours.
        {125, 55, QColor(206, 204, 200)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Pixel(img, c.x, c.y), c.color) << c.x << "," << c.y;
    // Never lighter towards the right or the bottom.
    for (int x = 1; x < 250; ++x)
        EXPECT_LE(Pixel(img, x, 30).red(), Pixel(img, x - 1, 30).red());
}

TEST(AboutBakImage, EmptySizesGiveNoPicture) {
    EXPECT_TRUE(PaintBakImage(0, 110).isNull());
    EXPECT_TRUE(PaintBakImage(250, -1).isNull());
    EXPECT_EQ(Pixel(PaintBakImage(1, 1), 0, 0), QColor(241, 240, 239));
}

TEST(AboutForm, ContactAddressCarriesTheProgramsQuery) {
    const std::string query = "subject=Nimbora%20version%203.3%20%28build%20033000%29";
    EXPECT_EQ(ContactAddress("mailto:team@example.org"), "mailto:team@example.org?" + query);
    EXPECT_EQ(ContactAddress("https://example.org/c?lang=en"),
              "https://example.org/c?lang=en&" + query);
    EXPECT_EQ(ContactAddress(""), "");
}

class AboutFormFixture : public ::testing::Test {
protected:
    TAboutLinks links{"https://example.org/home", "https://example.org/contact",
                      "https://example.org/product"};
    std::vector<std::string> opened;
    TLinkOpener opener = [this](const std::string& a) {
        opened.push_back(a);
        return true;
    };
};

TEST_F(AboutFormFixture, ShowsItsTexts) {
    TAboutForm form(nullptr, links, opener);
    form.show();
    EXPECT_EQ(form.findChild<QLabel*>("ProdNameLabel")->text(), "  Nimbora  ");
    EXPECT_EQ(form.findChild<QLabel*>("MRLabel")->text(), "  Nimbora project page  ");
    const QString info = form.findChild<QLabel*>("InfoLabel")->text();
    EXPECT_TRUE(info.startsWith("version 3.3 (build 033000)\n\n")) << info.toStdString();
    EXPECT_EQ(info.count('\n'), 3);
    auto* home = form.findChild<QPushButton*>("HomeBt");
    auto* contact = form.findChild<QPushButton*>("ContactBt");
    EXPECT_EQ(home->text(), "Web page");
    EXPECT_EQ(home->toolTip(), "Visit our home page");
    EXPECT_EQ(contact->text(), "Contact");
    EXPECT_EQ(contact->toolTip(), "Send us your comments or suggestions");
    EXPECT_EQ(form.width(), 400);
    EXPECT_EQ(form.findChild<QWidget*>("TextPanel")->size(), QSize(250, 110));
}

TEST_F(AboutFormFixture, ShowsTheLicenceAndTheCreditsBelowTheRest) {
    TAboutForm form(nullptr, links, opener);
    form.show();
    const QLabel* credits = form.findChild<QLabel*>("CreditsLabel");
    ASSERT_NE(credits, nullptr);
    EXPECT_TRUE(credits->isVisible());
    const QString text = credits->text();
    for (const char* wanted :
         {"Nimbora is free software under the GNU General Public License,\nversion 3 or later.",
          "NASA Blue Marble", "Micro World Data Bank II", "Contains modified EUMETSAT data"})
        EXPECT_TRUE(text.contains(wanted)) << wanted;
    // Under the picture, the link label and the text panel, inside the window.
    for (const char* above : {"MRLabel", "TextPanel"}) {
        const QWidget* w = form.findChild<QWidget*>(above);
        EXPECT_GE(credits->y(), w->mapTo(&form, QPoint(0, w->height())).y()) << above;
    }
    EXPECT_LE(credits->geometry().bottom(), form.height());
}

TEST_F(AboutFormFixture, ShowingTakesThePlainLook) {
    TAboutForm form(nullptr, links, opener);
    form.show();
    EXPECT_TRUE(form.findChild<QWidget*>("GoldPanel")->isHidden());
    EXPECT_EQ(form.palette().color(QPalette::Window), QColor(240, 240, 240));
    const QImage bak = form.findChild<QLabel*>("BakImage")->pixmap().toImage();
    ASSERT_EQ(bak.size(), QSize(250, 110));
    EXPECT_EQ(bak.pixelColor(125, 55), QColor(206, 204, 200));
}

TEST_F(AboutFormFixture, ButtonsAndLabelOpenTheirLinks) {
    TAboutForm form(nullptr, links, opener);
    form.show();
    form.findChild<QPushButton*>("HomeBt")->click();
    form.findChild<QPushButton*>("ContactBt")->click();
    QLabel* label = form.findChild<QLabel*>("MRLabel");
    const QPointF at(5, 5);
    QMouseEvent press(QEvent::MouseButtonPress, at, label->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, label->mapToGlobal(at), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(label, &press);
    QApplication::sendEvent(label, &release);
    ASSERT_EQ(opened.size(), 3u);
    EXPECT_EQ(opened[0], "https://example.org/home");
    EXPECT_EQ(opened[1], ContactAddress("https://example.org/contact"));
    EXPECT_EQ(opened[2], "https://example.org/product");
}

TEST_F(AboutFormFixture, EmptyLinksOpenNothing) {
    TAboutForm form(nullptr, TAboutLinks{}, opener);
    form.findChild<QPushButton*>("HomeBt")->click();
    form.findChild<QPushButton*>("ContactBt")->click();
    form.MRLabelClick();
    EXPECT_TRUE(opened.empty());
}

TEST(AboutDialog, OpensModallyOverItsParentAndGoesAwayWhenClosed) {
    QWidget owner;
    owner.show();
    QPointer<TAboutForm> seen;
    bool modal = false;
    QWidget* parent = nullptr;
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [&, timer] {
        if (auto* form = qobject_cast<TAboutForm*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            seen = form;
            modal = form->isModal();
            parent = form->parentWidget();
            form->close();
        }
    });
    timer->start(5);
    ShowAboutDialog(&owner, TAboutLinks{});
    EXPECT_TRUE(modal);
    EXPECT_EQ(parent, &owner);
    QApplication::processEvents();
    EXPECT_TRUE(seen.isNull()); // destroyed on close
}

// Larger fonts grow the window instead of clipping it: fonts at 192 DPI with Qt's scaling
// turned off (twice as large in window units), the same setting scaled by Qt, and a ratio of 1.5.
TEST(AboutLayout, EveryTextAndButtonFitsAtHighDensity) {
    const std::vector<QStringList> settings = {
        {"QT_FONT_DPI=192", "QT_ENABLE_HIGHDPI_SCALING=0"},
        {"QT_FONT_DPI=192"},
        {"QT_SCALE_FACTOR=1.5"},
    };
    for (const QStringList& env : settings) {
        const test::TChildRun run = test::RunTestInChild("AboutLayoutChild.*", env);
        EXPECT_TRUE(run.Passed) << env.join(' ').toStdString() << "\n" << run.Output.toStdString();
    }
}

TEST(AboutLayoutChild, EveryTextAndButtonFits) {
    if (!test::InChildProcess()) GTEST_SKIP() << "runs in its own process";
    TAboutForm form(nullptr, TAboutLinks{});
    form.show();
    QCoreApplication::processEvents();
    for (const std::string& clipped : test::ClippedControls(form))
        ADD_FAILURE() << clipped;
    // The shading covers the whole text panel.
    const QLabel* bak = form.findChild<QLabel*>("BakImage");
    EXPECT_EQ(bak->size(), form.findChild<QWidget*>("TextPanel")->size());
}

} // namespace
} // namespace nimbora
