// The collapsible panels: header picture, heights, the accordion, the stacking and the hider.
#include "widgets/SchrinkPanel.h"

#include <QApplication>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QWidget>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace nimbora {
namespace {

void ClickHeader(TSchrinkPanel& panel) {
    const QPointF at(5, 5);
    QMouseEvent press(QEvent::MouseButtonPress, at, panel.Button()->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, panel.Button()->mapToGlobal(at),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(panel.Button(), &press);
    QApplication::sendEvent(panel.Button(), &release);
}

void Hover(TSchrinkPanel& panel) {
    const QPointF at(5, 5);
    QEnterEvent enter(at, at, panel.Button()->mapToGlobal(at));
    QApplication::sendEvent(panel.Button(), &enter);
}

TEST(HeaderPicture, ShadesTowardTheRightByAtMostThirtyOrTheChannel) {
    THeaderLook look;
    look.Width = 100;
    look.Expanded = false; // no frame over the edges
    look.Base = QColor(200, 20, 0);
    const QImage picture = RenderHeaderPicture(look);
    const int y = look.Height / 2;
    // Left edge: base - d * cos(99 * (pi/2) / 100), rounded half to even.
    auto expected = [&](int base, int x) {
        const int d = std::min(30, base);
        return static_cast<int>(std::nearbyint(base - d * std::cos((99 - x) * M_PI / 2 / 100)));
    };
    const QRgb left = picture.pixel(0, y), right = picture.pixel(99, y);
    EXPECT_EQ(qRed(left), expected(200, 0));
    EXPECT_EQ(qRed(left), 200); // 200 - 30 * 0.0157 = 199.53 rounds up
    EXPECT_EQ(qGreen(left), 20);
    EXPECT_EQ(qRed(right), 170);
    EXPECT_EQ(qGreen(right), 0); // darkened by its own 20, not by 30 (never below 0)
    EXPECT_EQ(qBlue(right), 0);
    for (int x = 0; x < 100; ++x)
        EXPECT_EQ(qRed(picture.pixel(x, y)), expected(200, x)) << x;
}

TEST(HeaderPicture, OpenPanelHasItsFrameAndTheTextColourFollowsTheState) {
    THeaderLook look;
    look.Width = 120;
    look.Base = QColor(227, 227, 227);
    look.HotLight = QColor(0, 102, 204);
    const QImage open = RenderHeaderPicture(look);
    EXPECT_EQ(open.pixel(0, 8), qRgb(192, 192, 192));   // left: silver
    EXPECT_EQ(open.pixel(60, 0), qRgb(192, 192, 192));  // top: silver
    EXPECT_EQ(open.pixel(119, 8), qRgb(255, 251, 240)); // right: cream
    EXPECT_EQ(open.pixel(60, 15), qRgb(255, 251, 240)); // bottom: cream

    // The caption's colour, by state: the darkest pixel of the caption area.
    auto captionColour = [&](bool collapsable, bool expanded, bool over) {
        THeaderLook l = look;
        l.Caption = QStringLiteral("MMMM");
        l.Font.setStyleStrategy(QFont::NoAntialias);
        l.Collapsable = collapsable;
        l.Expanded = expanded;
        l.Over = over;
        const QImage p = RenderHeaderPicture(l);
        QRgb best = qRgb(255, 255, 255);
        for (int y = 1; y < 15; ++y)
            for (int x = 10; x < 40; ++x)
                if (qGray(p.pixel(x, y)) < qGray(best)) best = p.pixel(x, y);
        return best;
    };
    struct Case {
        bool Collapsable, Expanded, Over;
        QRgb Text;
    } cases[] = {
        {false, true, false, qRgb(0, 0, 128)}, {false, true, true, qRgb(0, 0, 128)},
        {true, true, false, qRgb(0, 0, 128)},  {true, true, true, qRgb(0, 0, 255)},
        {true, false, true, qRgb(0, 0, 255)},  {true, false, false, qRgb(0, 102, 204)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(captionColour(c.Collapsable, c.Expanded, c.Over), c.Text)
            << c.Collapsable << c.Expanded << c.Over;
    // No frame without collapsing.
    look.Collapsable = false;
    EXPECT_NE(RenderHeaderPicture(look).pixel(0, 8), qRgb(192, 192, 192));
}

TEST(SchrinkPanel, StartsWithItsDefaults) {
    QWidget parent;
    TSchrinkPanel panel(&parent);
    EXPECT_EQ(panel.width(), 170);
    EXPECT_EQ(panel.height(), 80);
    EXPECT_EQ(panel.ExpandedHeight(), 80);
    EXPECT_TRUE(panel.Expanded());
    EXPECT_TRUE(panel.Collapsable());
    EXPECT_EQ(panel.GroupID(), 0);
    EXPECT_EQ(panel.GroupOrder(), -1);
    EXPECT_FALSE(panel.OpenbyOne());
    EXPECT_EQ(panel.Button()->height(), 16);
}

TEST(SchrinkPanel, ClosedHeightCountsTwoPerBevel) {
    struct Case {
        TBevel Outer, Inner;
        int Height;
    } cases[] = {{BvRaised, BvNone, 18},
                 {BvRaised, BvLowered, 20},
                 {BvNone, BvNone, 16},
                 {BvNone, BvRaised, 18}};
    for (const Case& c : cases) {
        QWidget parent;
        TSchrinkPanel panel(&parent);
        panel.SetBevels(c.Outer, c.Inner);
        panel.SetExpanded(false);
        EXPECT_EQ(panel.height(), c.Height);
        panel.SetExpanded(true);
        EXPECT_EQ(panel.height(), 80);
    }
}

struct Accordion {
    QWidget parent;
    TSchrinkPanel* first = new TSchrinkPanel(&parent);
    TSchrinkPanel* second = new TSchrinkPanel(&parent);
    Accordion() {
        for (TSchrinkPanel* p : {first, second}) {
            p->setGeometry(10, 20, 230, 100);
            p->SetOpenbyOne(true);
        }
        first->SetExpandedHeight(415);
        second->SetExpandedHeight(421);
        first->SetGroupOrder(0);
        second->SetGroupOrder(1);
        second->SetExpanded(false);
    }
};

TEST(SchrinkPanel, OpeningOneOfAnAccordionClosesTheOtherAndTheStackHasNoGaps) {
    Accordion a;
    EXPECT_TRUE(a.first->Expanded());
    EXPECT_EQ(a.second->height(), 18);
    EXPECT_EQ(a.second->y(), 20 + 415);
    ClickHeader(*a.second);
    EXPECT_TRUE(a.second->Expanded());
    EXPECT_FALSE(a.first->Expanded());
    EXPECT_EQ(a.first->height(), 18);
    EXPECT_EQ(a.second->height(), 421);
    EXPECT_EQ(a.second->geometry(), QRect(10, 20 + 18, 230, 421));
    ClickHeader(*a.first);
    EXPECT_TRUE(a.first->Expanded());
    EXPECT_FALSE(a.second->Expanded());
    EXPECT_EQ(a.second->y(), 20 + 415);
}

TEST(SchrinkPanel, ClickingTheOnlyOpenPanelClosesEveryPanel) {
    Accordion a;
    ClickHeader(*a.first);
    EXPECT_FALSE(a.first->Expanded());
    EXPECT_FALSE(a.second->Expanded());
    EXPECT_EQ(a.second->y(), 20 + 18);
}

TEST(SchrinkPanel, NonCollapsablePanelIgnoresClicksAndHover) {
    Accordion a;
    a.first->SetCollapsable(false);
    const QImage before = a.first->ButtonBitmap();
    Hover(*a.first);
    EXPECT_FALSE(a.first->ButtonOver());
    EXPECT_EQ(a.first->ButtonBitmap(), before);
    ClickHeader(*a.first);
    EXPECT_TRUE(a.first->Expanded());
    EXPECT_EQ(a.first->height(), 415);
    EXPECT_EQ(a.first->Button()->cursor().shape(), Qt::ArrowCursor);
    // Opening the other does not close a panel that cannot be collapsed.
    ClickHeader(*a.second);
    EXPECT_TRUE(a.first->Expanded());
    EXPECT_TRUE(a.second->Expanded());
    // A collapsable one does react to the pointer.
    Hover(*a.second);
    EXPECT_TRUE(a.second->ButtonOver());
}

// The largest colour distance between two pictures of one size, pixel by pixel.
double LargestDifference(const QImage& a, const QImage& b) {
    double largest = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            largest = std::max(
                largest, std::hypot(qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q)));
        }
    return largest;
}

TEST(SchrinkPanel, TheHeaderVisiblyChangesUnderThePointerOpenOrClosed) {
    for (bool expanded : {true, false}) {
        QWidget parent;
        auto* panel = new TSchrinkPanel(&parent);
        panel->SetButtonCaption(QStringLiteral("Sun lighting"));
        panel->SetExpanded(expanded);
        const QImage away = panel->Button()->grab().toImage();
        Hover(*panel);
        const QImage over = panel->Button()->grab().toImage();
        ASSERT_EQ(away.size(), over.size());
        EXPECT_GT(LargestDifference(away, over), 80) << expanded;
    }
}

TEST(SchrinkPanel, SearchNextTakesTheSmallestGreaterOrderAndTheFirstChildOnTies) {
    QWidget parent;
    auto* a = new TSchrinkPanel(&parent);
    auto* b = new TSchrinkPanel(&parent);
    auto* c = new TSchrinkPanel(&parent);
    auto* other = new TSchrinkPanel(&parent);
    a->SetGroupOrder(5);
    b->SetGroupOrder(2);
    c->SetGroupOrder(2);
    other->SetGroupID(1);
    other->SetGroupOrder(0);
    EXPECT_EQ(a->SearchNext(0, -1), b);
    EXPECT_EQ(a->SearchNext(0, 2), a);
    EXPECT_EQ(a->SearchNext(0, 5), nullptr);
    EXPECT_EQ(a->SearchNext(1, -1), other);
    EXPECT_EQ(a->SearchNext(7, -1), nullptr);
}

TEST(SchrinkHider, CarriesTheFirstPanelAndIsAsHighAsTheGroup) {
    Accordion a;
    auto* hider = new TSchrinkHider(&a.parent);
    hider->setGeometry(300, 40, 8, 10);
    a.first->CallHider();
    EXPECT_EQ(a.first->pos(), QPoint(308, 40));
    EXPECT_EQ(hider->height(), 415 + 18);
    hider->SetLeftSide(true);
    a.first->CallHider();
    EXPECT_EQ(a.first->pos(), QPoint(300 - 230, 40));
    EXPECT_EQ(a.second->pos(), QPoint(300 - 230, 40 + 415)); // the stack follows
    // The hider follows a panel's new height.
    ClickHeader(*a.second);
    EXPECT_EQ(hider->height(), 18 + 421);

    hider->SetPanelsShown(false);
    EXPECT_TRUE(a.first->isHidden());
    EXPECT_TRUE(a.second->isHidden());
    hider->SetPanelsShown(true);
    EXPECT_FALSE(a.first->isHidden());
}

} // namespace
} // namespace nimbora
