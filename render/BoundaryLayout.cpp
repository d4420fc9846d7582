#include "render/BoundaryLayout.h"

#include "render/Points.h"

#include <cstring>
#include <type_traits>

namespace nimbora {

namespace {

// Written first: a layout of another byte order or of another version reads as a wrong tag.
constexpr std::uint32_t LayoutTag = 0x4c424e31; // "1NBL" on a little-endian machine

struct TLevelHeader {
    double Tolerance;
    std::uint64_t Vertices;
    std::uint64_t Chunks;
};

struct TStoredChunk {
    std::int32_t First, Count;
    float CentreX, CentreY, CentreZ, Reach;
};

static_assert(std::is_trivially_copyable_v<TVertex> && sizeof(TVertex) == 3 * sizeof(float));

template <typename T> void Put(std::vector<std::uint8_t>& out, const T& value) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&value);
    out.insert(out.end(), bytes, bytes + sizeof value);
}

// Takes bytes from the front of what is left, or nothing when too few are left.
class TReader {
public:
    explicit TReader(std::span<const std::uint8_t> bytes) : Left(bytes) {}
    template <typename T> bool Get(T& value) { return GetArray(&value, 1); }
    template <typename T> bool GetArray(T* values, std::uint64_t count) {
        if (count > Left.size() / sizeof(T)) return false;
        const std::size_t size = static_cast<std::size_t>(count) * sizeof(T);
        if (size > 0) std::memcpy(values, Left.data(), size);
        Left = Left.subspan(size);
        return true;
    }
    bool AtEnd() const { return Left.empty(); }
    std::size_t LeftCount(std::size_t unit) const { return Left.size() / unit; }

private:
    std::span<const std::uint8_t> Left;
};

} // namespace

TLineLayout LayOutBoundaries(std::span<const std::vector<TPolyline>> resources) {
    std::vector<TVertex> vertices;
    std::vector<std::pair<int, int>> strips;
    for (const std::vector<TPolyline>& lines : resources)
        for (const TPolyline& line : lines) {
            strips.emplace_back(static_cast<int>(vertices.size()),
                                static_cast<int>(line.Points.size()));
            for (const TPolyPoint& p : line.Points)
                vertices.push_back(SpherePoint(BoundaryRadius, p.Lon, p.Lat));
        }
    return LayOutLines(vertices, strips, BoundaryRadius, BoundaryTolerances);
}

std::vector<std::uint8_t> StoreLineLayout(const TLineLayout& layout) {
    std::vector<std::uint8_t> out;
    Put(out, LayoutTag);
    Put(out, layout.Radius);
    Put(out, static_cast<std::uint64_t>(layout.Vertices.size()));
    Put(out, static_cast<std::uint64_t>(layout.Levels.size()));
    for (const TLineLevel& level : layout.Levels)
        Put(out, TLevelHeader{level.Tolerance, level.Vertices, level.Chunks.size()});
    for (const TVertex& v : layout.Vertices)
        Put(out, v);
    for (const TLineLevel& level : layout.Levels)
        for (const TLineChunk& c : level.Chunks)
            Put(out, TStoredChunk{c.First, c.Count, c.Centre.X, c.Centre.Y, c.Centre.Z, c.Reach});
    return out;
}

std::optional<TLineLayout> ReadLineLayout(std::span<const std::uint8_t> bytes) {
    TReader in(bytes);
    std::uint32_t tag = 0;
    std::uint64_t vertices = 0, levels = 0;
    TLineLayout layout;
    if (!in.Get(tag) || tag != LayoutTag || !in.Get(layout.Radius) || !in.Get(vertices) ||
        !in.Get(levels) || levels > in.LeftCount(sizeof(TLevelHeader)))
        return std::nullopt;
    std::vector<TLevelHeader> headers(static_cast<std::size_t>(levels));
    if (!in.GetArray(headers.data(), levels) || vertices > in.LeftCount(sizeof(TVertex)))
        return std::nullopt;
    layout.Vertices.resize(static_cast<std::size_t>(vertices));
    if (!in.GetArray(layout.Vertices.data(), vertices)) return std::nullopt;
    // The chunks are drawn straight from the vertex buffer: each must lie within it.
    const auto total = static_cast<std::int64_t>(vertices);
    for (const TLevelHeader& h : headers) {
        if (h.Vertices > vertices || h.Chunks > in.LeftCount(sizeof(TStoredChunk)))
            return std::nullopt;
        TLineLevel& level = layout.Levels.emplace_back();
        level.Tolerance = h.Tolerance;
        level.Vertices = static_cast<std::size_t>(h.Vertices);
        level.Chunks.reserve(static_cast<std::size_t>(h.Chunks));
        for (std::uint64_t i = 0; i < h.Chunks; ++i) {
            TStoredChunk s;
            if (!in.Get(s) || s.First < 0 || s.Count < 0 || s.First > total - s.Count)
                return std::nullopt;
            level.Chunks.push_back({s.First, s.Count, {s.CentreX, s.CentreY, s.CentreZ}, s.Reach});
        }
    }
    if (!in.AtEnd()) return std::nullopt;
    return layout;
}

} // namespace nimbora
