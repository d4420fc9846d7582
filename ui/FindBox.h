#pragma once
// The find box over the top-left corner of the globe: the names that hold what is typed are
// offered as it is typed; Return or a click on one goes there, Escape closes the box.
#include "waypoints/PlaceFinder.h"

#include <QFrame>
#include <functional>
#include <vector>

class QLabel;
class QLineEdit;
class QListWidget;

namespace nimbora {

class TFindBox : public QFrame {
    Q_OBJECT
public:
    explicit TFindBox(QWidget* parent);

    // Shows the box with the keyboard in it, to look among the names of index; the text typed
    // before stays, selected.
    void Open(TPlaceIndex index);

    std::function<void(const TPlace&)> OnGo; // the box has closed
    std::function<void()> OnClose;           // Escape

    static constexpr int MaxOffered = 8;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Keys the text field leaves stop here rather than turn the globe.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void TextChanged();
    void Go();
    void GoTo(const TPlace& place);
    void CloseBox();

    TPlaceIndex Index;
    std::vector<TPlace> Offered;
    QLineEdit* Edit = nullptr;
    QListWidget* List = nullptr;
    QLabel* Message = nullptr;
};

} // namespace nimbora
