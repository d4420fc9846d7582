#pragma once
// The user's own places as the waypoint dialog edits them: the list in file order, the switch
// that shows them on the globe, and the file each change is written to. The window binds to the
// signals and the dialog only edits and asks, so neither holds the other's members.
#include "render/Points.h"

#include <QObject>

#include <string>

namespace nimbora {

class TCustomWaypoints : public QObject {
    Q_OBJECT
public:
    // points: the custom waypoints (kind WpTUser) in list order. fileWritable is false when the
    // file could not be read whole: rewriting it would lose the rest.
    TCustomWaypoints(TDrawPointList points, bool showCustomWay, std::string file, bool fileWritable,
                     QObject* parent = nullptr);

    const TDrawPointList& Points() const { return List; }
    bool ShowCustomWay() const { return Show; }
    void SetShowCustomWay(bool show);

    // The row of the waypoint of that name in any case, or -1.
    int Find(const std::string& name) const;
    // Each change is announced, then written to the file; the text of a failed write is
    // returned, empty when it was written.
    std::string Add(const std::string& name, double lat, double lon);
    std::string Replace(std::size_t row, const std::string& name, double lat, double lon);
    std::string Remove(std::size_t row);
    // Asks for the globe to turn so that the waypoint of the row faces the viewer.
    void RequestShow(std::size_t row);

signals:
    void PointsChanged();
    void ShowCustomWayChanged(bool show);
    void ShowRequested(double lat, double lon);

private:
    std::string Changed();

    TDrawPointList List;
    bool Show;
    std::string File;
    bool FileWritable;
};

// The custom waypoints of the window's marked points, in list order.
TDrawPointList CustomWaypointsOf(const TDrawPointList& points);
// Puts custom in place of the custom waypoints of points, after the other points as always.
void ReplaceCustomWaypoints(TDrawPointList& points, const TDrawPointList& custom);

} // namespace nimbora
