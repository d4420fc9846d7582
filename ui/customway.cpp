#include "ui/customway.h"

#include "core/support.h"
#include "waypoints/ParseCoord.h"
#include "waypoints/WaypointFile.h"
#include "widgets/uVistaFuncs.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

namespace nimbora {

namespace {

std::string NameOf(const TDrawPoint& p) {
    return p.RepPoint.NamUtf8.empty() ? p.RepPoint.Nam : p.RepPoint.NamUtf8;
}

} // namespace

QPoint PositionBeside(const QRect& window, const QSize& dialog, const QRect& screen) {
    const auto within = [](int at, int length, int low, int high) {
        return std::clamp(at, low, std::max(low, high + 1 - length));
    };
    const int y = within(window.center().y() - dialog.height() / 2, dialog.height(), screen.top(),
                         screen.bottom());
    const int left =
        within(window.left() - dialog.width(), dialog.width(), screen.left(), screen.right());
    const int right = within(window.right() + 1, dialog.width(), screen.left(), screen.right());
    const auto hidden = [&](int x) {
        return QRect(QPoint(x, y), dialog).intersected(window).width();
    };
    // The labels stand right of their places: the left side wins a tie.
    return {hidden(right) < hidden(left) ? right : left, y};
}

// --- The list ---

void TSiteListModel::Fill(const TDrawPointList* points) {
    beginResetModel();
    Points = points;
    Rows = points ? UserPointIndices(*points) : std::vector<std::size_t>();
    endResetModel();
}

int TSiteListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(std::min<std::size_t>(Rows.size(), INT_MAX));
}

int TSiteListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 3;
}

QVariant TSiteListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !Points || !index.isValid() || index.row() >= rowCount())
        return {};
    const TDrawPoint& p = (*Points)[PointIndex(index.row())];
    switch (index.column()) {
    case 0:
        return QString::fromStdString(NameOf(p));
    case 1:
        return QString::fromStdString(FormatDeg2(p.RepPoint.Lat));
    case 2:
        return QString::fromStdString(FormatLonDeg2(p.RepPoint.Lon));
    default:
        return {};
    }
}

QVariant TSiteListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    switch (section) {
    case 0:
        return QStringLiteral("Name to show");
    case 1:
        return QString::fromUtf8("Latitude [\u00B0]");
    case 2:
        return QString::fromUtf8("Longitude [\u00B0]");
    default:
        return {};
    }
}

// --- The dialog ---

TCustWayForm::TCustWayForm(QWidget* parent, TCustomWaypoints& waypoints)
    : QDialog(parent), Waypoints(waypoints) {
    setObjectName("CustWayForm");
    setWindowTitle(QString::fromLatin1(CustWayTitle));
    resize(400, 275);

    SiteModel = new TSiteListModel(this);
    SiteList = new QTreeView(this);
    SiteList->setObjectName("SiteList");
    SiteList->setModel(SiteModel);
    SiteList->setRootIsDecorated(false);
    SiteList->setItemsExpandable(false);
    SiteList->setUniformRowHeights(true); // many thousands of rows stay quick
    SiteList->setSelectionBehavior(QAbstractItemView::SelectRows);
    SiteList->setSelectionMode(QAbstractItemView::SingleSelection);
    SiteList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    SiteList->header()->setStretchLastSection(false);
    SiteList->setColumnWidth(0, 150);
    SiteList->setColumnWidth(1, 110);
    SiteList->setColumnWidth(2, 110);

    auto button = [this](const char* name, const char* caption) {
        auto* b = new QPushButton(QString::fromLatin1(caption), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        return b;
    };
    AddBt = button("AddBt", "Add");
    EditBt = button("EditBt", "Edit");
    DeleteBt = button("DeleteBt", "Delete");
    ShowBt = button("ShowBt", "Show");
    auto* countCaption = new QLabel(QStringLiteral("Waypoints:"), this);
    CountLabel = new QLabel(QStringLiteral("0"), this);
    CountLabel->setObjectName("CountLabel");
    ShowWayCheck = new QCheckBox(QStringLiteral("Show custom waypoints"), this);
    ShowWayCheck->setObjectName("ShowWayCheck");

    auto* bar = new QHBoxLayout;
    for (QWidget* w : {static_cast<QWidget*>(AddBt), static_cast<QWidget*>(EditBt),
                       static_cast<QWidget*>(DeleteBt), static_cast<QWidget*>(ShowBt)})
        bar->addWidget(w);
    auto* status = new QHBoxLayout;
    status->addWidget(countCaption);
    status->addWidget(CountLabel);
    status->addStretch();
    status->addWidget(ShowWayCheck);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(SiteList);
    layout->addLayout(bar);
    layout->addLayout(status);

    connect(AddBt, &QPushButton::clicked, this, [this] { AddBtClick(); });
    connect(EditBt, &QPushButton::clicked, this, [this] { EditBtClick(); });
    connect(DeleteBt, &QPushButton::clicked, this, [this] { DeleteBtClick(); });
    connect(ShowBt, &QPushButton::clicked, this, [this] { ShowBtClick(); });
    connect(SiteList, &QTreeView::doubleClicked, this, [this] { ShowBtClick(); });
    connect(ShowWayCheck, &QCheckBox::clicked, this, [this] { ShowWayCheckClick(); });
    // SiteListSelectItem: an entry that loses the selection takes the focus mark with it.
    connect(SiteList->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected, const QItemSelection& deselected) {
                if (selected.isEmpty() && !deselected.isEmpty())
                    SiteList->selectionModel()->clearCurrentIndex();
            });
}

void TCustWayForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!Shown) PlaceBesideOwner();
    FormShow();
}

void TCustWayForm::PlaceBesideOwner() {
    const QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
    if (!owner || !owner->screen()) return;
    // Before the window manager has framed the dialog, its frame is guessed from the owner's.
    QSize frame = frameGeometry().size();
    if (frame == size()) frame += owner->frameGeometry().size() - owner->size();
    move(PositionBeside(owner->frameGeometry(), frame, owner->screen()->availableGeometry()));
}

void TCustWayForm::FormShow() {
    if (Shown) return;
    Shown = true;
    FillSiteList();
    ShowWayCheck->setChecked(Waypoints.ShowCustomWay());
}

void TCustWayForm::FillSiteList() {
    SiteModel->Fill(&Waypoints.Points());
    CountLabel->setText(QString::number(SiteModel->rowCount()));
}

int TCustWayForm::SelectedRow() const {
    const QModelIndexList rows = SiteList->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

QString TCustWayForm::RowCaption(int row) const {
    return SiteModel->data(SiteModel->index(row, 0), Qt::DisplayRole).toString();
}

void TCustWayForm::SelectRow(int row) {
    const QModelIndex index = SiteModel->index(row, 0);
    SiteList->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                           QItemSelectionModel::Rows);
    SiteList->setFocus();
    SiteList->scrollTo(index);
}

bool TCustWayForm::Prompt(const QString& title, const QString& label, const QString& text,
                          QString& answer) {
    bool ok = false;
    const QString typed = QInputDialog::getText(this, title, label, QLineEdit::Normal, text, &ok);
    if (!ok) return false;
    answer = typed.trimmed();
    return true;
}

void TCustWayForm::Inform(const std::string& text) {
    TaskMessageBox(this, QString::fromLatin1(CustWayTitle), QString::fromStdString(text), MbOk,
                   IconInformation);
}

bool TCustWayForm::AskCoordinate(const QString& title, TCoordKind kind, const QString& offered,
                                 double& value) {
    const QString label = kind == TCoordKind::Latitude ? QStringLiteral("Enter Latitude")
                                                       : QStringLiteral("Enter Longitude");
    QString typed = offered;
    for (;;) {
        if (!Prompt(title, label, QString(typed), typed) || typed.isEmpty()) return false;
        if (ReadCoordinate(typed.toStdString(), kind, value)) return true;
        // Asked again with what was typed, so a slip costs one key, not the whole entry.
        TaskMessageBox(this, QString::fromLatin1(CustWayTitle),
                       QString::fromStdString(CoordinateRangeMessage(kind)), MbOk, IconWarning);
    }
}

bool TCustWayForm::AskPosition(const QString& title, const QString& lat, const QString& lon,
                               double& latOut, double& lonOut) {
    return AskCoordinate(title, TCoordKind::Latitude, lat, latOut) &&
           AskCoordinate(title, TCoordKind::Longitude, lon, lonOut);
}

void TCustWayForm::ReportWrite(const std::string& error) {
    if (error.empty()) return;
    TaskMessageBox(this, QString::fromLatin1(CustWayTitle), QString::fromStdString(error), MbOk,
                   IconError);
}

void TCustWayForm::AddBtClick() {
    const QString title = QStringLiteral("Create custom waypoint");
    QString typed;
    if (!Prompt(title, QStringLiteral("Enter waypoint Name"), {}, typed)) return;
    const std::string name = CleanWaypointName(typed.toStdString());
    if (name.empty()) return;
    if (Waypoints.Find(name) >= 0) {
        // Message boxes show their text as it is: an "&" needs no doubling.
        Inform("The waypoint labeled \"" + name + "\" already exists, cannot continue.");
        return;
    }
    double lat = 0, lon = 0;
    if (!AskPosition(title, {}, {}, lat, lon)) return;
    const std::string error = Waypoints.Add(name, lat, lon);
    FillSiteList();
    SelectRow(SiteModel->rowCount() - 1);
    ReportWrite(error);
}

void TCustWayForm::EditBtClick() {
    const int row = SelectedRow();
    if (row < 0) {
        Inform("Please select a waypoint from the list.");
        return;
    }
    const QString title = QStringLiteral("Edit custom waypoint");
    QString typed;
    if (!Prompt(title, QStringLiteral("Enter new name"), RowCaption(row), typed)) return;
    const std::string name = CleanWaypointName(typed.toStdString());
    if (name.empty()) return;
    const std::size_t index = SiteModel->PointIndex(row);
    const int other = Waypoints.Find(name);
    if (other >= 0 && static_cast<std::size_t>(other) != index) {
        Inform("The name \"" + name + "\" already exists, cannot continue.");
        return;
    }
    const TRepPoint old = Waypoints.Points()[index].RepPoint;
    double lat = 0, lon = 0;
    if (!AskPosition(title, QString::fromStdString(FormatWaypointNumber(old.Lat)),
                     QString::fromStdString(FormatWaypointLongitude(old.Lon)), lat, lon))
        return;
    const std::string error = Waypoints.Replace(index, name, lat, lon);
    FillSiteList();
    SelectRow(row);
    ReportWrite(error);
}

void TCustWayForm::DeleteBtClick() {
    const int row = SelectedRow();
    if (row < 0) {
        Inform("Please select a waypoint from the list.");
        SiteList->setFocus();
        return;
    }
    const std::string question =
        "The waypoint \"" + RowCaption(row).toStdString() + "\" will be deleted...";
    if (TaskMessageBox(this, QString::fromLatin1(CustWayTitle), QString::fromStdString(question),
                       MbYes | MbNo, IconQuestion,
                       QStringLiteral("Are you sure you want to continue?")) != ResultYes) {
        SiteList->setFocus();
        return;
    }
    const int next = row == SiteModel->rowCount() - 1 ? row - 1 : row;
    const std::string error = Waypoints.Remove(SiteModel->PointIndex(row));
    FillSiteList();
    ReportWrite(error);
    if (next >= 0) SelectRow(next);
    SiteList->setFocus();
}

void TCustWayForm::ShowBtClick() {
    const int row = SelectedRow();
    if (row < 0) {
        Inform("Please select a waypoint from the list.");
        return;
    }
    Waypoints.RequestShow(SiteModel->PointIndex(row));
}

void TCustWayForm::ShowWayCheckClick() {
    Waypoints.SetShowCustomWay(ShowWayCheck->isChecked());
}

void ShowCustomWaypointsDialog(QWidget* parent, TCustomWaypoints& waypoints) {
    TCustWayForm form(parent, waypoints);
    form.exec();
}

} // namespace nimbora
