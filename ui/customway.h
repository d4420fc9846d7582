#pragma once
// The "Custom waypoints" dialog: the list of the user's own places with Add, Edit, Delete and
// Show, and the switch that shows or hides them on the globe. It edits the model of the user's
// places and asks it to show one; the window binds to the model.
#include "render/Points.h"
#include "waypoints/CustomWaypoints.h"
#include "waypoints/ParseCoord.h"

#include <QAbstractTableModel>
#include <QDialog>

#include <string>
#include <vector>

class QCheckBox;
class QLabel;
class QPushButton;
class QTreeView;

namespace nimbora {

// The dialog's message boxes carry this title.
inline constexpr char CustWayTitle[] = "Custom waypoints";

// Where a dialog of that frame size goes so that the middle of the window stays in view (frames
// in screen coordinates): beside the window where the screen has room, else against the
// screen's edge on the side that hides less of the window; level with the window's middle;
// inside the screen.
QPoint PositionBeside(const QRect& window, const QSize& dialog, const QRect& screen);

// The list's rows: the custom waypoints of DrawPoints in list order.
class TSiteListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TSiteListModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}
    void Fill(const TDrawPointList* points);
    // Index into DrawPoints of a row.
    std::size_t PointIndex(int row) const { return Rows[static_cast<std::size_t>(row)]; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    const TDrawPointList* Points = nullptr;
    std::vector<std::size_t> Rows;
};

class TCustWayForm : public QDialog {
    Q_OBJECT
public:
    TCustWayForm(QWidget* parent, TCustomWaypoints& waypoints);

    // The row selected in the list, or -1.
    int SelectedRow() const;
    int RowCount() const { return SiteModel->rowCount(); }
    QString RowCaption(int row) const;

    void AddBtClick();
    void EditBtClick();
    void DeleteBtClick();
    void ShowBtClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();
    void FillSiteList();
    void SelectRow(int row);
    // Prompts for a text; false on Cancel. The answer is trimmed.
    bool Prompt(const QString& title, const QString& label, const QString& text, QString& answer);
    void Inform(const std::string& text);
    // Tells the user that a change could not be written, with the reason.
    void ReportWrite(const std::string& error);
    // Moves the dialog beside its owner, where "Show" does not turn the place under it.
    void PlaceBesideOwner();
    // One coordinate, asked for again with what was typed until it can be read; false on
    // Cancel or an empty answer.
    bool AskCoordinate(const QString& title, TCoordKind kind, const QString& offered,
                       double& value);
    // Both coordinates from the prompts; false when the operation ends.
    bool AskPosition(const QString& title, const QString& lat, const QString& lon, double& latOut,
                     double& lonOut);
    void ShowWayCheckClick();

    TCustomWaypoints& Waypoints;
    bool Shown = false;
    TSiteListModel* SiteModel = nullptr;
    QTreeView* SiteList = nullptr;
    QPushButton* AddBt = nullptr;
    QPushButton* EditBt = nullptr;
    QPushButton* DeleteBt = nullptr;
    QPushButton* ShowBt = nullptr;
    QLabel* CountLabel = nullptr;
    QCheckBox* ShowWayCheck = nullptr;
};

// Opens the dialog modally over parent; every opening starts afresh.
void ShowCustomWaypointsDialog(QWidget* parent, TCustomWaypoints& waypoints);

} // namespace nimbora
