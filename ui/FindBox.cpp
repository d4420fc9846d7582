#include "ui/FindBox.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace nimbora {

namespace {

constexpr int BoxWidth = 240;
constexpr int MaxTypedLength = 200;

} // namespace

TFindBox::TFindBox(QWidget* parent) : QFrame(parent) {
    setObjectName("FindBox");
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(2);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    Edit = new QLineEdit(this);
    Edit->setObjectName("FindEdit");
    Edit->setPlaceholderText(QStringLiteral("Place or latitude, longitude"));
    Edit->setMaxLength(MaxTypedLength);
    Edit->setFixedWidth(BoxWidth);
    Edit->installEventFilter(this);
    layout->addWidget(Edit);

    List = new QListWidget(this);
    List->setObjectName("FindList");
    List->setFixedWidth(BoxWidth);
    List->setFocusPolicy(Qt::NoFocus);
    List->hide();
    layout->addWidget(List);

    Message = new QLabel(QStringLiteral("Not found"), this);
    Message->setObjectName("FindMessage");
    Message->hide();
    layout->addWidget(Message);

    connect(Edit, &QLineEdit::textEdited, this, [this] { TextChanged(); });
    connect(List, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        const int row = List->row(item);
        if (row >= 0 && row < static_cast<int>(Offered.size())) GoTo(Offered[row]);
    });
    hide();
}

void TFindBox::Open(TPlaceIndex index) {
    Index = std::move(index);
    move(5, 5);
    show();
    raise();
    Edit->setFocus();
    Edit->selectAll();
    TextChanged();
}

void TFindBox::TextChanged() {
    Message->hide();
    List->clear();
    const std::string typed = Edit->text().toStdString();
    if (auto position = ReadTypedPosition(typed))
        Offered = {*position};
    else
        Offered = Index.Matches(typed, MaxOffered);
    for (const TPlace& place : Offered)
        List->addItem(QString::fromStdString(place.Name));
    if (!Offered.empty()) {
        const int row = List->sizeHintForRow(0);
        List->setFixedHeight(row * static_cast<int>(Offered.size()) + 2 * List->frameWidth());
    }
    List->setVisible(!Offered.empty());
}

void TFindBox::Go() {
    // A name chosen with the arrow keys, else what the text says best.
    const int row = List->currentRow();
    if (row >= 0 && row < static_cast<int>(Offered.size())) {
        GoTo(Offered[row]);
    } else if (auto place = FindPlace(Index, Edit->text().toStdString())) {
        GoTo(*place);
    } else {
        List->hide();
        Message->show();
    }
}

void TFindBox::GoTo(const TPlace& place) {
    hide();
    if (OnGo) OnGo(place);
}

void TFindBox::CloseBox() {
    hide();
    if (OnClose) OnClose();
}

void TFindBox::keyPressEvent(QKeyEvent* event) {
    event->accept();
}

bool TFindBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched != Edit || event->type() != QEvent::KeyPress)
        return QFrame::eventFilter(watched, event);
    // The keys the box answers go no further: the window would turn the globe or close.
    const int count = List->count();
    switch (static_cast<QKeyEvent*>(event)->key()) {
    case Qt::Key_Escape:
        CloseBox();
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        Go();
        return true;
    case Qt::Key_Down:
        if (count > 0) List->setCurrentRow(std::min(List->currentRow() + 1, count - 1));
        return true;
    case Qt::Key_Up:
        if (count > 0) List->setCurrentRow(std::max(List->currentRow() - 1, 0));
        return true;
    default:
        return QFrame::eventFilter(watched, event);
    }
}

} // namespace nimbora
