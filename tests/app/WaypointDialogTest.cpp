// The custom waypoints in the real window: the dialog's commands, the file they write, "Show"
// turning the globe, and the switch hiding the green markers.
#include "GuiSupport.h"
#include "ModalDriver.h"

#include "app/TestSeam.h"
#include "platform/Files.h"
#include "render/OpenGLPanel.h"
#include "ui/customway.h"

#include <QAction>
#include <QCheckBox>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTreeView>
#include <gtest/gtest.h>

namespace nimbora::test {
namespace {

QAction* MenuItem(TMainForm& form, const char* name) {
    return Seam::OptionPopup(form)->findChild<QAction*>(name);
}

TCustWayForm* Dialog(QWidget* w) {
    return static_cast<TCustWayForm*>(w);
}

std::function<void(QWidget*)> Press(const char* button) {
    return [button](QWidget* w) { w->findChild<QAbstractButton*>(button)->click(); };
}

std::function<void(QWidget*)> SelectRow(int row) {
    return [row](QWidget* w) {
        auto* list = w->findChild<QTreeView*>("SiteList");
        list->selectionModel()->select(list->model()->index(row, 0),
                                       QItemSelectionModel::ClearAndSelect |
                                           QItemSelectionModel::Rows);
    };
}

std::function<void(QWidget*)> Close() {
    return [](QWidget* w) { Dialog(w)->reject(); };
}

class WaypointDialogTest : public testing::Test {
protected:
    void Start(const std::string& fileText) {
        home_.MakeDataFolder();
        if (!fileText.empty()) {
            ASSERT_TRUE(WriteWholeFile(File(), fileText));
        }
        form_ = StartMainForm();
        ASSERT_TRUE(Seam::StartupDone(*form_));
    }
    std::string File() const { return home_.DataFolder() + "waypoints.ini"; }
    std::string Text() const { return ReadWholeFile(File()); }
    // Opens the dialog and returns when the driver has closed it.
    void Run(TModalDriver& driver) {
        MenuItem(*form_, "CustomWayBt")->trigger();
        EXPECT_TRUE(driver.Done()) << driver.Pending();
    }
    std::vector<std::string> UserNames() const {
        std::vector<std::string> names;
        for (const TDrawPoint& p : Seam::DrawPoints(*form_))
            if (p.Kind == WpTUser) names.push_back(p.RepPoint.NamUtf8);
        return names;
    }
    TScratchHome home_;
    std::unique_ptr<TMainForm> form_;
};

TEST_F(WaypointDialogTest, AddEditDeleteKeepTheFileInStep) {
    Start("[Waypoint1]\nName=Paris\nLat=48.85\nLon=2.35\n[Waypoint3]\nName=Lost\n");
    EXPECT_EQ(UserNames(), std::vector<std::string>{"Paris"});
    TModalDriver d;
    d.On("nimbora::TCustWayForm",
         [](QWidget* w) {
             EXPECT_EQ(Dialog(w)->RowCount(), 1);
             EXPECT_EQ(w->findChild<QLabel*>("CountLabel")->text(), "1");
             EXPECT_EQ(Dialog(w)->SelectedRow(), -1);
             EXPECT_EQ(w->size(), QSize(400, 275));
             Press("AddBt")(w);
         })
        .Type("  Oslo & Co  ")
        .Type("59 55 N")
        .Type("10,75");
    d.On("nimbora::TCustWayForm",
         [&](QWidget* w) {
             EXPECT_EQ(Text(), "[Waypoint1]\nName=Paris\nLat=48.85\nLon=2.35\n"
                               "[Waypoint2]\nName=Oslo & Co\nLat=59.92\nLon=10.75\n");
             EXPECT_EQ(Dialog(w)->SelectedRow(), 1);
             EXPECT_EQ(w->findChild<QLabel*>("CountLabel")->text(), "2");
             Press("EditBt")(w);
         })
        .Type("OSLO & CO") // its own name in another case
        .Type("60")
        .Type("11 E");
    // Another entry's name is refused, and so is a duplicate of A to Z in another case.
    d.On("nimbora::TCustWayForm", Press("EditBt")).Type("paris").Answer(QMessageBox::Ok);
    d.On("nimbora::TCustWayForm", Press("AddBt")).Type("PARIS").Answer(QMessageBox::Ok);
    // A coordinate that cannot be read is explained and asked for again; Cancel ends it.
    d.On("nimbora::TCustWayForm", Press("AddBt"))
        .Type("Pole")
        .Type("95 N")
        .Answer(QMessageBox::Ok)
        .CancelPrompt();
    d.On("nimbora::TCustWayForm", Press("AddBt")).Type("Empty").Type("1").Type("  ");
    d.On("nimbora::TCustWayForm", Press("AddBt")).CancelPrompt();
    d.On("nimbora::TCustWayForm", [&](QWidget* w) {
        EXPECT_EQ(Text(), "[Waypoint1]\nName=Paris\nLat=48.85\nLon=2.35\n"
                          "[Waypoint2]\nName=OSLO & CO\nLat=60\nLon=11\n");
        EXPECT_EQ(Dialog(w)->RowCount(), 2);
        Press("DeleteBt")(w); // the last entry
    });
    d.Answer(QMessageBox::Yes);
    d.On("nimbora::TCustWayForm", [&](QWidget* w) {
        EXPECT_EQ(Text(), "[Waypoint1]\nName=Paris\nLat=48.85\nLon=2.35\n");
        EXPECT_EQ(Dialog(w)->SelectedRow(), 0); // the new last one
        Press("DeleteBt")(w);
    });
    d.Answer(QMessageBox::No);
    d.On("nimbora::TCustWayForm", [&](QWidget* w) {
        EXPECT_EQ(Dialog(w)->RowCount(), 1);
        Press("DeleteBt")(w);
    });
    d.Answer(QMessageBox::Yes);
    d.On("nimbora::TCustWayForm", [&](QWidget* w) {
        EXPECT_EQ(Dialog(w)->RowCount(), 0);
        EXPECT_EQ(Dialog(w)->SelectedRow(), -1);
        EXPECT_FALSE(FileExists(File())); // the only entry went, and the file with it
        Press("EditBt")(w);
    });
    d.Answer(QMessageBox::Ok);
    d.On("nimbora::TCustWayForm", Close());
    Run(d);

    EXPECT_EQ(d.Titles[0], "Create custom waypoint");
    EXPECT_EQ(d.Texts[0], "Enter waypoint Name");
    EXPECT_EQ(d.Texts[1], "Enter Latitude");
    EXPECT_EQ(d.Texts[2], "Enter Longitude");
    EXPECT_EQ(d.Titles[3], "Edit custom waypoint");
    EXPECT_EQ(d.Texts[3], "Enter new name");
    // The edit prompts offer what is stored.
    EXPECT_EQ(d.Prefills[3], "Oslo & Co");
    EXPECT_EQ(d.Prefills[4], "59.92");
    EXPECT_EQ(d.Prefills[5], "10.75");
    const std::vector<QString> messages(d.Texts.begin() + 6, d.Texts.end());
    const std::vector<QString> expected = {
        "Enter new name",
        "The name \"paris\" already exists, cannot continue.",
        "Enter waypoint Name",
        "The waypoint labeled \"PARIS\" already exists, cannot continue.",
        "Enter waypoint Name",
        "Enter Latitude",
        "Latitude must be between -90 and 90, e.g. 40 30 N or -33.87",
        "Enter Latitude",
        "Enter waypoint Name",
        "Enter Latitude",
        "Enter Longitude",
        "Enter waypoint Name",
        "The waypoint \"OSLO & CO\" will be deleted...",
        "The waypoint \"Paris\" will be deleted...",
        "The waypoint \"Paris\" will be deleted...",
        "Please select a waypoint from the list.",
    };
    EXPECT_EQ(messages, expected);
    // Every message box carries the dialog's title.
    int boxes = 0;
    for (const QString& title : d.Titles) {
        EXPECT_TRUE(title == "Create custom waypoint" || title == "Edit custom waypoint" ||
                    title == "Custom waypoints")
            << title.toStdString();
        boxes += title == "Custom waypoints";
    }
    EXPECT_EQ(boxes, 7);
    EXPECT_TRUE(UserNames().empty());
}

TEST_F(WaypointDialogTest, AMistypedCoordinateIsExplainedAndAskedForAgain) {
    Start("");
    TModalDriver d;
    d.On("nimbora::TCustWayForm", Press("AddBt"))
        .Type("Sydney")
        .Type("91")
        .Answer(QMessageBox::Ok)
        .Type("33 52 S")
        .Type("east")
        .Answer(QMessageBox::Ok)
        .Type("179.999 W"); // rounds to the date line, which is 180
    d.On("nimbora::TCustWayForm", Press("EditBt"))
        .Type("Sydney")
        .Type("-90.01")
        .Answer(QMessageBox::Ok)
        .Type(""); // an empty answer leaves the waypoint as it was
    d.On("nimbora::TCustWayForm", Close());
    Run(d);
    const std::vector<QString> texts = {
        "Enter waypoint Name",
        "Enter Latitude",
        "Latitude must be between -90 and 90, e.g. 40 30 N or -33.87",
        "Enter Latitude",
        "Enter Longitude",
        "Longitude must be between -180 and 180, e.g. 3 42 W or 151.2",
        "Enter Longitude",
        "Enter new name",
        "Enter Latitude",
        "Latitude must be between -90 and 90, e.g. 40 30 N or -33.87",
        "Enter Latitude",
    };
    EXPECT_EQ(d.Texts, texts);
    // Asked again with what was typed.
    const std::vector<QString> prefills = {"", "", "91", "", "east", "Sydney", "-33.87", "-90.01"};
    EXPECT_EQ(d.Prefills, prefills);
    EXPECT_EQ(Text(), "[Waypoint1]\nName=Sydney\nLat=-33.87\nLon=180\n");
}

TEST_F(WaypointDialogTest, TheDialogOpensBesideThePlaceShownAtTheCentre) {
    Start("");
    const QRect screen = form_->screen()->availableGeometry();
    // Centred on the screen as it starts, then at the screen's left edge.
    for (const QPoint at : {form_->pos(), screen.topLeft()}) {
        form_->move(at);
        ASSERT_TRUE(WaitFor([&] { return form_->pos() == at; }));
        const QPoint centre = QRect(form_->mapToGlobal(QPoint()), form_->size()).center();
        TModalDriver d;
        d.On("nimbora::TCustWayForm", [&](QWidget* w) {
            EXPECT_FALSE(w->frameGeometry().contains(centre)) << at.x();
            EXPECT_TRUE(screen.contains(w->frameGeometry())) << at.x();
            Close()(w);
        });
        Run(d);
    }
}

// Green pixels of the labels and markers in a box around the middle of the view.
int GreenNearCentre(TMainForm& form) {
    const QImage frame = Seam::OpenGLPanel(form)->grabFramebuffer();
    const QPoint c = frame.rect().center();
    int n = 0;
    for (int y = c.y() - 60; y < c.y() + 20; ++y)
        for (int x = c.x() - 20; x < c.x() + 120; ++x) {
            const QRgb p = frame.pixel(x, y);
            n += qGreen(p) > 200 && qRed(p) < 80 && qBlue(p) < 80;
        }
    return n;
}

TEST_F(WaypointDialogTest, ShowTurnsTheGlobeAndTheSwitchHidesTheMarkers) {
    Start("[Waypoint1]\nName=Far\nLat=10\nLon=100\n[Waypoint2]\nName=Mid Atlantic\nLat=-30\n"
          "Lon=-20\n");
    MenuItem(*form_, "ShowNamesBt")->trigger(); // only our own labels are green
    TMainFormTestSeam::Nav(*form_).Proj.Z = -7; // near enough for the labels
    ASSERT_EQ(GreenNearCentre(*form_), 0);
    TModalDriver d;
    d.On("nimbora::TCustWayForm", Press("ShowBt")).Answer(QMessageBox::Ok); // nothing selected
    d.On("nimbora::TCustWayForm", [&](QWidget* w) {
        SelectRow(1)(w);
        Press("ShowBt")(w);
        EXPECT_FLOAT_EQ(Seam::Nav(*form_).Proj.Y, -30);
        EXPECT_FLOAT_EQ(Seam::Nav(*form_).Proj.X, 20);
        EXPECT_GT(GreenNearCentre(*form_), 30);
        auto* check = w->findChild<QCheckBox*>("ShowWayCheck");
        EXPECT_TRUE(check->isChecked());
        check->click();
        EXPECT_FALSE(Seam::Settings(*form_).ShowCustomWay);
        EXPECT_EQ(GreenNearCentre(*form_), 0);
        // Not written before the dialog closes.
        EXPECT_FALSE(
            IniValue(ReadWholeFile(Seam::IniFile(*form_)), "Features", "ShowCustomWay").Found);
    });
    d.On("nimbora::TCustWayForm", [&](QWidget* w) {
        // A double click shows too.
        SelectRow(0)(w);
        auto* list = w->findChild<QTreeView*>("SiteList");
        emit list->doubleClicked(list->model()->index(0, 0));
        EXPECT_FLOAT_EQ(Seam::Nav(*form_).Proj.X, -100);
        Close()(w);
    });
    Run(d);
    EXPECT_EQ(d.Texts.front(), "Please select a waypoint from the list.");
    EXPECT_EQ(IniValue(ReadWholeFile(Seam::IniFile(*form_)), "Features", "ShowCustomWay").Value, "0");

    // The next opening starts afresh from the switch's state.
    TModalDriver again;
    again.On("nimbora::TCustWayForm", [](QWidget* w) {
        EXPECT_FALSE(w->findChild<QCheckBox*>("ShowWayCheck")->isChecked());
        EXPECT_EQ(Dialog(w)->SelectedRow(), -1);
        w->findChild<QCheckBox*>("ShowWayCheck")->click();
        Close()(w);
    });
    Run(again);
    EXPECT_EQ(IniValue(ReadWholeFile(Seam::IniFile(*form_)), "Features", "ShowCustomWay").Value, "1");
}

TEST_F(WaypointDialogTest, UnicodeNamesAreStoredWholeAndDrawnInTheFontsCodePage) {
    Start("");
    TModalDriver d;
    d.On("nimbora::TCustWayForm", Press("AddBt"))
        .Type(QString::fromUtf8("東京 Zürich €"))
        .Type("35.68")
        .Type("139.69");
    d.On("nimbora::TCustWayForm", Close());
    Run(d);
    EXPECT_EQ(Text(), "[Waypoint1]\nName=\xE6\x9D\xB1\xE4\xBA\xAC Z\xC3\xBCrich \xE2\x82\xAC\n"
                      "Lat=35.68\nLon=139.69\n");
    ASSERT_EQ(Seam::DrawPoints(*form_).back().Kind, WpTUser);
    EXPECT_EQ(Seam::DrawPoints(*form_).back().RepPoint.Nam, "?? Z\xFCrich \x80");
}

} // namespace
} // namespace nimbora::test
