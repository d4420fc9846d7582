#pragma once
// A panel with a clickable header strip that collapses it to the header. Panels of one group
// stack without gaps, and a group can act as an accordion (at most one panel open). A hider
// strip beside a group keeps the group's first panel next to it.
#include <QColor>
#include <QFrame>
#include <QImage>
#include <QString>

#include <functional>

namespace nimbora {

// A paintable strip that tells when the pointer enters and leaves it and when it is clicked.
class TOverPaint : public QWidget {
    Q_OBJECT
public:
    explicit TOverPaint(QWidget* parent = nullptr);

    std::function<void()> OnClick;
    std::function<void()> OnMouseEnter;
    std::function<void()> OnMouseLeave;
    std::function<void(QPainter&)> OnPaint;

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
};

enum TBevel { BvNone, BvLowered, BvRaised };

inline constexpr int SchrinkHeaderHeight = 16;

// What the header picture depends on.
struct THeaderLook {
    int Width = 170;
    int Height = SchrinkHeaderHeight;
    QColor Base;     // header colour: light 3D when open, button face when closed
    QColor HotLight; // the system's hot-light colour (closed, not hovered)
    bool Collapsable = true;
    bool Expanded = true;
    bool Over = false;
    QString Caption;
    QFont Font;
};

// How far apart (distance in RGB) a closed header's text colour stays from the blue it turns
// under the pointer.
inline constexpr double MinHoverContrast = 80;
// The text colour of a closed header from the system's hot-light (link) colour: that colour,
// or a darker shade of it where it is too close to the hover blue to tell apart.
QColor HotLightColour(const QColor& link);

// The header picture: a shade that darkens toward the right edge by up to 30 per channel (never
// more than the channel itself), the frame of an open panel, and the caption.
QImage RenderHeaderPicture(const THeaderLook& look);

class TSchrinkPanel : public QFrame {
    Q_OBJECT
    Q_PROPERTY(QString ButtonCaption READ ButtonCaption WRITE SetButtonCaption)
    Q_PROPERTY(bool Expanded READ Expanded WRITE SetExpanded)
    Q_PROPERTY(bool Collapsable READ Collapsable WRITE SetCollapsable)
    Q_PROPERTY(int ExpandedHeight READ ExpandedHeight WRITE SetExpandedHeight)
    Q_PROPERTY(int GroupID READ GroupID WRITE SetGroupID)
    Q_PROPERTY(int GroupOrder READ GroupOrder WRITE SetGroupOrder)
    Q_PROPERTY(bool OpenbyOne READ OpenbyOne WRITE SetOpenbyOne)

public:
    explicit TSchrinkPanel(QWidget* parent = nullptr);

    QString ButtonCaption() const { return CaptionText; }
    bool Expanded() const { return IsExpanded; }
    bool Collapsable() const { return CanCollapse; }
    int ExpandedHeight() const { return OpenHeight; }
    int SchrinkedHeight() const { return ClosedHeight; }
    int GroupID() const { return Group; }
    int GroupOrder() const { return Order; }
    bool OpenbyOne() const { return OneOpenAtATime; }
    bool ButtonOver() const { return PointerOver; }
    TBevel BevelOuter() const { return OuterBevel; }
    TBevel BevelInner() const { return InnerBevel; }

    void SetButtonCaption(const QString& value);
    void SetExpanded(bool value);
    void SetCollapsable(bool value);
    void SetExpandedHeight(int value);
    void SetGroupID(int value);
    void SetGroupOrder(int value);
    void SetOpenbyOne(bool value) { OneOpenAtATime = value; }
    void SetBevels(TBevel outer, TBevel inner);

    // The sibling panel of that group with the smallest order greater than order; of equal
    // orders the first child wins. Null when there is none.
    TSchrinkPanel* SearchNext(int group, int order) const;
    // Moves the group's first panel beside a hider of the group and sizes the hider.
    void CallHider();
    // The panel's size changed.
    void Resize();

    TOverPaint* Button() const { return HeaderButton; }
    const QImage& ButtonBitmap() const { return HeaderImage; }
    // Where the panel's own controls go: below the header, as high as the open panel.
    QWidget* Body() const { return BodyWidget; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void Toggle();
    void Hover(bool over);
    void RenderHeader();
    void ArrangeGroup();
    void SetPanelHeight(int height);
    int BevelWidth() const;

    TOverPaint* HeaderButton = nullptr;
    QWidget* BodyWidget = nullptr;
    QString CaptionText;
    bool PointerOver = false;
    QImage HeaderImage;
    bool CanCollapse = true;
    bool IsExpanded = true;
    int OpenHeight = 80;
    int ClosedHeight = SchrinkHeaderHeight + 2;
    int Group = 0;
    int Order = -1;
    bool OneOpenAtATime = false;
    TBevel OuterBevel = BvRaised;
    TBevel InnerBevel = BvNone;
    QColor ButtonColor;
};

// A thin strip beside a group of panels: it carries the group's first panel on its left or
// right side, is as high as the whole group, and a click shows or hides the group's panels.
class TSchrinkHider : public QWidget {
    Q_OBJECT
public:
    explicit TSchrinkHider(QWidget* parent = nullptr);

    int GroupID() const { return Group; }
    void SetGroupID(int value) { Group = value; }
    // True: the panels sit to the left of the strip.
    bool LeftSide() const { return OnLeftSide; }
    void SetLeftSide(bool value) { OnLeftSide = value; }
    bool PanelsShown() const { return ShowsPanels; }
    // Shows or hides every panel of the group.
    void SetPanelsShown(bool shown);

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    int Group = 0;
    bool OnLeftSide = false;
    bool ShowsPanels = true;
};

} // namespace nimbora
