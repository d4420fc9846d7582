#include "widgets/SchrinkPanel.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace nimbora {

namespace {

const QColor Navy(0, 0, 128);
const QColor Blue(0, 0, 255);
const QColor Silver(192, 192, 192);
const QColor Cream(255, 251, 240);

// Rounds to nearest with halves to the even neighbour (the default rounding mode).
int RoundEven(double value) {
    return static_cast<int>(std::nearbyint(value));
}

template <class F> void ForEachPanel(const QWidget* self, F f) {
    const QObject* parent = self->parent();
    if (!parent) return;
    for (QObject* child : parent->children())
        if (auto* panel = qobject_cast<TSchrinkPanel*>(child)) f(panel);
}

} // namespace

// ---------------------------------------------------------------------------------------------

TOverPaint::TOverPaint(QWidget* parent) : QWidget(parent) {}

void TOverPaint::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    if (OnMouseEnter) OnMouseEnter();
}

void TOverPaint::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    if (OnMouseLeave) OnMouseLeave();
}

void TOverPaint::mouseReleaseEvent(QMouseEvent* event) {
    QWidget::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) &&
        OnClick)
        OnClick();
}

void TOverPaint::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (OnPaint) OnPaint(painter);
}

// ---------------------------------------------------------------------------------------------

QColor HotLightColour(const QColor& link) {
    const double apart =
        std::hypot(link.red() - Blue.red(), link.green() - Blue.green(), link.blue() - Blue.blue());
    // Many palettes' link colour is the hover blue itself; half as bright it reads as a link
    // still and the pointer shows on it.
    if (apart >= MinHoverContrast) return link;
    return link.darker(200).toRgb();
}

QImage RenderHeaderPicture(const THeaderLook& look) {
    const int w = std::max(look.Width, 1), h = std::max(look.Height, 1);
    QImage picture(w, h, QImage::Format_RGB32);
    const int base[3] = {look.Base.red(), look.Base.green(), look.Base.blue()};
    int depth[3];
    for (int c = 0; c < 3; ++c)
        depth[c] = std::min(30, base[c]);
    for (int x = 0; x < w; ++x) {
        const double shade = std::cos((w - 1 - x) * (std::numbers::pi / 2) / w);
        int v[3];
        for (int c = 0; c < 3; ++c)
            v[c] = std::clamp(RoundEven(base[c] - depth[c] * shade), 0, 255);
        const QRgb pixel = qRgb(v[0], v[1], v[2]);
        for (int y = 0; y < h; ++y)
            picture.setPixel(x, y, pixel);
    }

    QColor text;
    if (!look.Collapsable) {
        text = Navy;
    } else if (look.Expanded) {
        // Raised look: silver above and left, cream below and right.
        for (int x = 0; x < w; ++x)
            picture.setPixel(x, 0, Silver.rgb());
        for (int y = 0; y < h - 1; ++y)
            picture.setPixel(0, y, Silver.rgb());
        for (int x = 0; x < w; ++x)
            picture.setPixel(x, h - 1, Cream.rgb());
        for (int y = 1; y < h; ++y)
            picture.setPixel(w - 1, y, Cream.rgb());
        text = look.Over ? Blue : Navy;
    } else {
        text = look.Over ? Blue : look.HotLight;
    }

    if (!look.Caption.isEmpty()) {
        QPainter painter(&picture);
        painter.setFont(look.Font);
        painter.setPen(text);
        const QFontMetrics metrics(look.Font);
        const int top = (h - metrics.boundingRect(QStringLiteral("X")).height()) / 2;
        painter.drawText(10, top + metrics.ascent(), look.Caption);
    }
    return picture;
}

// ---------------------------------------------------------------------------------------------

TSchrinkPanel::TSchrinkPanel(QWidget* parent) : QFrame(parent) {
    BodyWidget = new QWidget(this);
    HeaderButton = new TOverPaint(this);
    HeaderButton->setCursor(Qt::PointingHandCursor);
    HeaderButton->OnClick = [this] { Toggle(); };
    HeaderButton->OnMouseEnter = [this] { Hover(true); };
    HeaderButton->OnMouseLeave = [this] { Hover(false); };
    HeaderButton->OnPaint = [this](QPainter& painter) { painter.drawImage(0, 0, HeaderImage); };
    ButtonColor = palette().color(QPalette::Midlight);
    QFrame::resize(170, 80);
    OpenHeight = height();
    ClosedHeight = SchrinkHeaderHeight + BevelWidth();
    Resize();
}

int TSchrinkPanel::BevelWidth() const {
    return (OuterBevel != BvNone ? 2 : 0) + (InnerBevel != BvNone ? 2 : 0);
}

void TSchrinkPanel::SetBevels(TBevel outer, TBevel inner) {
    OuterBevel = outer;
    InnerBevel = inner;
    Resize();
    update();
}

void TSchrinkPanel::SetButtonCaption(const QString& value) {
    if (value == CaptionText) return;
    CaptionText = value;
    // Shown when the header is next drawn.
}

void TSchrinkPanel::Toggle() {
    if (!IsExpanded) {
        SetExpanded(true);
    } else if (CanCollapse) {
        SetExpanded(false);
    }
}

void TSchrinkPanel::Hover(bool over) {
    // A panel that cannot be collapsed shows no hover effect.
    if (!CanCollapse) return;
    PointerOver = over;
    RenderHeader();
    HeaderButton->update();
}

void TSchrinkPanel::SetExpanded(bool value) {
    // Only opening closes the others: closing one of two open panels of an accordion would
    // otherwise have each close the other, without end.
    if (OneOpenAtATime && value) {
        ForEachPanel(this, [this](TSchrinkPanel* other) {
            if (other != this && other->Group == Group && other->IsExpanded && other->CanCollapse)
                other->SetExpanded(false);
        });
    }
    IsExpanded = value;
    ClosedHeight = SchrinkHeaderHeight + BevelWidth();
    ButtonColor = palette().color(value ? QPalette::Midlight : QPalette::Button);
    SetPanelHeight(value ? OpenHeight : ClosedHeight);
}

void TSchrinkPanel::SetPanelHeight(int height) {
    if (height != this->height()) QFrame::resize(width(), height);
    // A hidden panel gets its resize event only when shown; the group must follow now.
    Resize();
}

void TSchrinkPanel::SetExpandedHeight(int value) {
    OpenHeight = value;
    if (IsExpanded)
        SetPanelHeight(value);
    else
        Resize(); // the body keeps the open height
}

void TSchrinkPanel::SetCollapsable(bool value) {
    if (value == CanCollapse) return;
    CanCollapse = value;
    if (!value) PointerOver = false;
    HeaderButton->setCursor(value ? Qt::PointingHandCursor : Qt::ArrowCursor);
    RenderHeader();
    update();
    HeaderButton->update();
}

void TSchrinkPanel::SetGroupID(int value) {
    if (value == Group) return;
    Group = value;
    ArrangeGroup();
}

void TSchrinkPanel::SetGroupOrder(int value) {
    if (value == Order) return;
    Order = value;
    ArrangeGroup();
}

TSchrinkPanel* TSchrinkPanel::SearchNext(int group, int order) const {
    TSchrinkPanel* best = nullptr;
    ForEachPanel(this, [&](TSchrinkPanel* panel) {
        if (panel->Group != group || panel->Order <= order) return;
        if (!best || panel->Order < best->Order) best = panel;
    });
    return best;
}

void TSchrinkPanel::ArrangeGroup() {
    TSchrinkPanel* current = SearchNext(Group, -1);
    while (current) {
        TSchrinkPanel* next = SearchNext(Group, current->Order);
        if (!next) break;
        const QRect target(current->x(), current->y() + current->height(), current->width(),
                           next->height());
        if (next->geometry() != target) next->setGeometry(target);
        current = next;
    }
    CallHider();
}

void TSchrinkPanel::CallHider() {
    const QObject* parent = this->parent();
    if (!parent) return;
    TSchrinkHider* hider = nullptr;
    for (QObject* child : parent->children()) {
        auto* candidate = qobject_cast<TSchrinkHider*>(child);
        if (candidate && candidate->GroupID() == Group) {
            hider = candidate;
            break;
        }
    }
    if (!hider) return;
    if (TSchrinkPanel* first = SearchNext(Group, -1)) {
        const int left = hider->LeftSide() ? hider->x() - width() : hider->x() + hider->width();
        if (first->pos() != QPoint(left, hider->y())) {
            first->move(left, hider->y());
            first->ArrangeGroup(); // the rest of the stack follows its first panel
            return;                // that arrangement sized the hider
        }
    }
    int total = 0;
    ForEachPanel(this, [&](TSchrinkPanel* panel) {
        if (panel->Group == Group) total += panel->height();
    });
    if (hider->height() != total) hider->resize(hider->width(), total);
}

void TSchrinkPanel::Resize() {
    if (!IsExpanded && height() != ClosedHeight) QFrame::resize(width(), ClosedHeight);
    const int b = BevelWidth() / 2;
    HeaderButton->setGeometry(b, b, std::max(width() - 2 * b, 1), SchrinkHeaderHeight);
    BodyWidget->setGeometry(b, b + SchrinkHeaderHeight, std::max(width() - 2 * b, 1),
                            std::max(OpenHeight - SchrinkHeaderHeight - 2 * b, 0));
    HeaderButton->raise();
    RenderHeader();
    HeaderButton->update();
    ArrangeGroup();
}

void TSchrinkPanel::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    Resize();
}

void TSchrinkPanel::moveEvent(QMoveEvent* event) {
    QFrame::moveEvent(event);
    CallHider();
}

void TSchrinkPanel::RenderHeader() {
    THeaderLook look;
    look.Width = HeaderButton->width();
    look.Height = HeaderButton->height();
    look.Base = ButtonColor;
    look.HotLight = HotLightColour(palette().color(QPalette::Link));
    look.Collapsable = CanCollapse;
    look.Expanded = IsExpanded;
    look.Over = PointerOver;
    look.Caption = CaptionText;
    look.Font = font();
    HeaderImage = RenderHeaderPicture(look);
}

void TSchrinkPanel::paintEvent(QPaintEvent*) {
    // The bevels, one pixel each: raised is light above and left, dark below and right.
    QPainter painter(this);
    QRect r = rect().adjusted(0, 0, -1, -1);
    const QColor light = palette().color(QPalette::Light);
    const QColor dark = palette().color(QPalette::Dark);
    for (TBevel bevel : {OuterBevel, InnerBevel}) {
        if (bevel == BvNone) continue;
        const QColor& topLeft = bevel == BvRaised ? light : dark;
        const QColor& bottomRight = bevel == BvRaised ? dark : light;
        painter.setPen(topLeft);
        painter.drawLine(r.topLeft(), r.topRight());
        painter.drawLine(r.topLeft(), r.bottomLeft());
        painter.setPen(bottomRight);
        painter.drawLine(r.bottomLeft(), r.bottomRight());
        painter.drawLine(r.topRight(), r.bottomRight());
        r.adjust(1, 1, -1, -1);
    }
}

// ---------------------------------------------------------------------------------------------

TSchrinkHider::TSchrinkHider(QWidget* parent) : QWidget(parent) {
    resize(8, 80);
    setCursor(Qt::PointingHandCursor);
}

void TSchrinkHider::SetPanelsShown(bool shown) {
    ShowsPanels = shown;
    if (!parent()) return;
    for (QObject* child : parent()->children())
        if (auto* panel = qobject_cast<TSchrinkPanel*>(child); panel && panel->GroupID() == Group)
            panel->setVisible(shown);
    update();
}

void TSchrinkHider::mouseReleaseEvent(QMouseEvent* event) {
    QWidget::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        SetPanelsShown(!ShowsPanels);
}

void TSchrinkHider::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Button));
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

} // namespace nimbora
