#include "render/polylines.h"

#include <QFile>

#include <cmath>
#include <cstdint>
#include <cstring>

namespace nimbora {

namespace {

// Little-endian reads independent of the host's byte order.
std::uint32_t ReadLe32(const char* p) {
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 |
           std::uint32_t(b[3]) << 24;
}

std::int32_t ReadInt32(const char* p) {
    return static_cast<std::int32_t>(ReadLe32(p));
}

float ReadFloat32(const char* p) {
    const std::uint32_t bits = ReadLe32(p);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// Far above the shipped resources (under 0.5 MB each); keeps a wrong path from loading a huge file.
constexpr qint64 MaxPolylineFileSize = 64 * 1024 * 1024;

} // namespace

std::vector<TPolyline> ReadPolylines(std::string_view bytes) {
    std::vector<TPolyline> lines;
    const char* pos = bytes.data();
    std::size_t left = bytes.size();
    if (left < 4) return lines;
    const std::int32_t count = ReadInt32(pos);
    pos += 4;
    left -= 4;
    // The loop is bounded by the bytes, not by the count: a huge count cannot run away.
    for (std::int32_t i = 0; i < count; ++i) {
        if (left < 4) break;
        const std::int32_t points = ReadInt32(pos);
        pos += 4;
        left -= 4;
        if (points < 0) break;
        const std::size_t need = std::size_t(points) * 8;
        if (need > left) break;
        TPolyline line;
        line.Points.resize(std::size_t(points));
        bool finite = true;
        for (std::int32_t k = 0; k < points; ++k) {
            TPolyPoint& pt = line.Points[std::size_t(k)];
            pt.Lon = ReadFloat32(pos + std::size_t(k) * 4);
            pt.Lat = ReadFloat32(pos + (std::size_t(points) + std::size_t(k)) * 4);
            finite = finite && std::isfinite(pt.Lon) && std::isfinite(pt.Lat);
        }
        pos += need;
        left -= need;
        if (finite) lines.push_back(std::move(line));
    }
    return lines;
}

std::vector<TPolyline> ReadPolylineResource(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > MaxPolylineFileSize) return {};
    const QByteArray data = file.readAll();
    return ReadPolylines(std::string_view(data.constData(), std::size_t(data.size())));
}

} // namespace nimbora
