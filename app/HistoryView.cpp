#include "app/HistoryView.h"

#include "core/Cp1252.h"
#include "weather/CloudsText.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QToolButton>
#include <QWidget>

#include <utility>

namespace nimbora {

namespace {

constexpr int BarHeight = 28;
constexpr int StatusLinesHeight = 50;

// The pictures' times as ticks along a line, the one on screen marked.
class TTimeline : public QWidget {
public:
    explicit TTimeline(const THistoryPlayer& player, QWidget* parent)
        : QWidget(parent), Player(player) {
        setMinimumWidth(80);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        const auto& pictures = Player.Pictures();
        QPainter painter(this);
        const int y = height() / 2;
        painter.setPen(QColor(160, 160, 160));
        painter.drawLine(4, y, width() - 4, y);
        if (pictures.empty()) return;
        const double first = pictures.front().Utc, span = pictures.back().Utc - first;
        auto xOf = [&](double utc) {
            return 4 + static_cast<int>(span > 0 ? (utc - first) / span * (width() - 8) : 0);
        };
        for (const THistoryPicture& p : pictures)
            painter.drawLine(xOf(p.Utc), y - 4, xOf(p.Utc), y + 4);
        if (const THistoryPicture* at = Player.Current()) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(QColor(255, 210, 60));
            painter.drawEllipse(QPoint(xOf(at->Utc), y), 5, 5);
        }
    }

private:
    const THistoryPlayer& Player;
};

QToolButton* AddButton(QHBoxLayout* row, QWidget* bar, const QString& text, const char* name,
                       std::function<void()> clicked) {
    auto* button = new QToolButton(bar);
    button->setText(text);
    button->setObjectName(QLatin1String(name));
    button->setFocusPolicy(Qt::NoFocus); // the keys stay with the window
    QObject::connect(button, &QToolButton::clicked, bar, std::move(clicked));
    row->addWidget(button);
    return button;
}

} // namespace

class THistoryBar : public QWidget {
public:
    THistoryBar(THistoryView& view, QWidget* parent) : QWidget(parent) {
        setObjectName(QStringLiteral("HistoryBar"));
        setAutoFillBackground(true);
        QPalette colours = palette();
        colours.setColor(QPalette::Window, QColor(20, 20, 28));
        colours.setColor(QPalette::WindowText, QColor(220, 220, 220));
        setPalette(colours);
        auto* row = new QHBoxLayout(this);
        row->setContentsMargins(4, 1, 4, 1);
        row->setSpacing(2);
        AddButton(row, this, QStringLiteral("\u25C0"), "HistoryBackBt", [&view] { view.StepBack(); });
        PlayBt = AddButton(row, this, QString(), "HistoryPlayBt", [&view] { view.PlayPause(); });
        AddButton(row, this, QStringLiteral("\u25B6"), "HistoryNextBt",
                  [&view] { view.StepForward(); });
        row->addWidget(Line = new TTimeline(view.GetPlayer(), this), 1);
        row->addWidget(Time = new QLabel(this));
        AddButton(row, this, QStringLiteral("Now"), "HistoryNowBt", [&view] { view.Close(); });
    }

    void Refresh(const THistoryPlayer& player) {
        PlayBt->setText(player.IsPlaying() ? QStringLiteral("Pause") : QStringLiteral("Play"));
        const THistoryPicture* at = player.Current();
        Time->setText(player.Pictures().empty() ? QStringLiteral("No cloud history kept yet")
                      : at ? QString::fromStdString(Cp1252ToUtf8(HistoryTimeText(at->Utc)))
                           : QStringLiteral("Now"));
        Line->update();
    }

private:
    QToolButton* PlayBt = nullptr;
    QLabel* Time = nullptr;
    TTimeline* Line = nullptr;
};

THistoryView::THistoryView(QWidget* panel, std::string dataFolder, TShow show)
    : Panel(panel), DataFolder(std::move(dataFolder)), Show(std::move(show)) {
    PlayTimer.setInterval(THistoryPlayer::PlayIntervalMs);
    connect(&PlayTimer, &QTimer::timeout, this, [this] {
        if (Player.Tick()) Changed(true);
    });
    Panel->installEventFilter(this);
}

THistoryView::~THistoryView() {
    if (Panel) Panel->removeEventFilter(this);
}

QWidget* THistoryView::GetBar() const {
    return Bar;
}

void THistoryView::Open() {
    if (Player.IsOpen()) return;
    Player.Open(ListCloudHistory(DataFolder));
    // Beside the drawing panel rather than inside it, where the panel's own drawing would hide it.
    if (!Bar) Bar = new THistoryBar(*this, Panel->parentWidget());
    PlaceBar();
    Bar->show();
    Bar->raise();
    Changed(false);
}

void THistoryView::Close() {
    const bool away = Player.Current() != nullptr;
    Player.Close();
    PlayTimer.stop();
    if (Bar) Bar->hide();
    if (away) Show(nullptr);
}

bool THistoryView::Key(int key) {
    if (key == Qt::Key_BracketLeft || key == Qt::Key_BracketRight) {
        Open();
        key == Qt::Key_BracketLeft ? StepBack() : StepForward();
        return true;
    }
    if (key == Qt::Key_Escape && Player.IsOpen()) {
        Close();
        return true;
    }
    return false;
}

void THistoryView::StepBack() {
    Changed(Player.StepBack());
}

void THistoryView::StepForward() {
    Changed(Player.StepForward());
}

void THistoryView::PlayPause() {
    if (Player.IsPlaying()) {
        Player.Pause();
        Changed(false);
        return;
    }
    Player.Play();
    Changed(Player.Tick());
}

bool THistoryView::Prepared(const std::string& path, bool succeeded) {
    const THistoryPicture* at = Player.Current();
    if (!at || at->Path != path) return false;
    Player.Shown();
    return !succeeded;
}

std::optional<double> THistoryView::PictureTime() const {
    if (const THistoryPicture* at = Player.Current()) return at->Utc;
    return std::nullopt;
}

void THistoryView::Changed(bool moved) {
    if (Player.IsPlaying() != PlayTimer.isActive())
        Player.IsPlaying() ? PlayTimer.start() : PlayTimer.stop();
    if (Bar) static_cast<THistoryBar*>(Bar)->Refresh(Player);
    if (moved) Show(Player.Current());
}

void THistoryView::PlaceBar() {
    // Above the status lines at the lower left, which stay readable.
    const QRect panel = Panel->geometry();
    if (Bar)
        Bar->setGeometry(panel.left(), panel.bottom() + 1 - BarHeight - StatusLinesHeight,
                         panel.width(), BarHeight);
}

bool THistoryView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Panel && event->type() == QEvent::Resize) PlaceBar();
    return QObject::eventFilter(watched, event);
}

} // namespace nimbora
