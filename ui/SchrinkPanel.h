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

    QString ButtonCaption() const { return FButtonCaption; }
    bool Expanded() const { return FExpanded; }
    bool Collapsable() const { return FCollapsable; }
    int ExpandedHeight() const { return FExpandedHeight; }
    int SchrinkedHeight() const { return FSchrinkedHeight; }
    int GroupID() const { return FGroupID; }
    int GroupOrder() const { return FGroupOrder; }
    bool OpenbyOne() const { return FOpenbyOne; }
    bool ButtonOver() const { return FButtonOver; }
    TBevel BevelOuter() const { return FBevelOuter; }
    TBevel BevelInner() const { return FBevelInner; }

    void SetButtonCaption(const QString& value);
    void SetExpanded(bool value);
    void SetCollapsable(bool value);
    void SetExpandedHeight(int value);
    void SetGroupID(int value);
    void SetGroupOrder(int value);
    void SetOpenbyOne(bool value) { FOpenbyOne = value; }
    void SetBevels(TBevel outer, TBevel inner);

    // The sibling panel of that group with the smallest order greater than order; of equal
    // orders the first child wins. Null when there is none.
    TSchrinkPanel* SearchNext(int group, int order) const;
    // Moves the group's first panel beside a hider of the group and sizes the hider.
    void CallHider();
    // The panel's size changed.
    void Resize();

    TOverPaint* Button() const { return FButton; }
    const QImage& ButtonBitmap() const { return FButtonBitmap; }
    // Where the panel's own controls go: below the header, as high as the open panel.
    QWidget* Body() const { return FBody; }

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

    TOverPaint* FButton = nullptr;
    QWidget* FBody = nullptr;
    QString FButtonCaption;
    bool FButtonOver = false;
    QImage FButtonBitmap;
    bool FCollapsable = true;
    bool FExpanded = true;
    int FExpandedHeight = 80;
    int FSchrinkedHeight = SchrinkHeaderHeight + 2;
    int FGroupID = 0;
    int FGroupOrder = -1;
    bool FOpenbyOne = false;
    TBevel FBevelOuter = BvRaised;
    TBevel FBevelInner = BvNone;
    QColor FButtonColor;
};

// A thin strip beside a group of panels: it carries the group's first panel on its left or
// right side, is as high as the whole group, and a click shows or hides the group's panels.
class TSchrinkHider : public QWidget {
    Q_OBJECT
public:
    explicit TSchrinkHider(QWidget* parent = nullptr);

    int GroupID() const { return FGroupID; }
    void SetGroupID(int value) { FGroupID = value; }
    // True: the panels sit to the left of the strip.
    bool LeftSide() const { return FLeftSide; }
    void SetLeftSide(bool value) { FLeftSide = value; }
    bool PanelsShown() const { return FPanelsShown; }
    // Shows or hides every panel of the group.
    void SetPanelsShown(bool shown);

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    int FGroupID = 0;
    bool FLeftSide = false;
    bool FPanelsShown = true;
};

} // namespace nimbora
