// Buffer objects are OpenGL 1.5; the library exports them, the header declares them only so.
#define GL_GLEXT_PROTOTYPES 1
#include "render/LineChunks.h"

#include <GL/glext.h>

#include <algorithm>
#include <cmath>

namespace nimbora {

namespace {

double Length(const TVertex& v) {
    return std::sqrt(double(v.X) * v.X + double(v.Y) * v.Y + double(v.Z) * v.Z);
}

double Dot(const TVertex& a, const TVertex& b) {
    return double(a.X) * b.X + double(a.Y) * b.Y + double(a.Z) * b.Z;
}

// Rounding in the cap and in the line's own transformation stays far inside this.
constexpr double CapMargin = 1e-3;

TLineChunk Cap(const std::vector<TVertex>& vertices, int first, int count) {
    TLineChunk c;
    c.First = first;
    c.Count = count;
    double sx = 0, sy = 0, sz = 0;
    for (int i = first; i < first + count; ++i) {
        const TVertex& v = vertices[static_cast<std::size_t>(i)];
        const double l = Length(v);
        if (l > 0) sx += v.X / l, sy += v.Y / l, sz += v.Z / l;
    }
    const double l = std::sqrt(sx * sx + sy * sy + sz * sz);
    if (!(l > 1e-9)) {
        c.Reach = static_cast<float>(M_PI); // no direction: always sent
        return c;
    }
    c.Centre = {static_cast<float>(sx / l), static_cast<float>(sy / l), static_cast<float>(sz / l)};
    double reach = 0;
    for (int i = first; i < first + count; ++i) {
        const TVertex& v = vertices[static_cast<std::size_t>(i)];
        const double vl = Length(v);
        if (!(vl > 0)) continue;
        reach = std::max(reach, std::acos(std::clamp(Dot(v, c.Centre) / vl, -1.0, 1.0)));
    }
    c.Reach = static_cast<float>(std::min(M_PI, reach + CapMargin));
    return c;
}

} // namespace

std::vector<TLineChunk> MakeLineChunks(const std::vector<TVertex>& vertices,
                                       const std::vector<std::pair<int, int>>& strips,
                                       int maxVertices) {
    maxVertices = std::max(maxVertices, 2);
    std::vector<TLineChunk> chunks;
    const int total = static_cast<int>(vertices.size());
    for (const auto& [first, count] : strips) {
        if (first < 0 || count <= 0 || first > total - count) continue;
        if (count < 2) {
            chunks.push_back(Cap(vertices, first, count));
            continue;
        }
        for (int start = first; start < first + count - 1; start += maxVertices - 1) {
            const int n = std::min(maxVertices, first + count - start);
            chunks.push_back(Cap(vertices, start, n));
        }
    }
    return chunks;
}

bool ChunkMayShow(const TLineChunk& chunk, float r, const TShellView& view) {
    if (chunk.Reach >= M_PI) return true;
    const double d = Length(view.Camera);
    if (!(d > 0)) return true;
    // Behind the earth: the cap's nearest point to the camera's direction is still beyond the
    // angle where the shell disappears.
    const double toCamera = std::acos(std::clamp(Dot(chunk.Centre, view.Camera) / d, -1.0, 1.0));
    if (view.MinCos > -1 && std::cos(std::max(0.0, toCamera - chunk.Reach)) < view.MinCos)
        return false;
    // Out of the field of view: the chunk's bounding sphere (centre on the cap's axis at
    // radius r, through the cap's rim) lies wholly outside the cone around the line of sight.
    if (view.FieldHalfAngle < M_PI / 2) {
        const double cx = chunk.Centre.X * r - view.Camera.X,
                     cy = chunk.Centre.Y * r - view.Camera.Y,
                     cz = chunk.Centre.Z * r - view.Camera.Z;
        const double dist = std::sqrt(cx * cx + cy * cy + cz * cz);
        const double rho = 2 * r * std::sin(chunk.Reach / 2);
        if (dist <= rho) return true;
        // The line of sight runs from the camera to the globe's centre.
        const double off = std::acos(
            std::clamp(-(cx * view.Camera.X + cy * view.Camera.Y + cz * view.Camera.Z) / (dist * d),
                       -1.0, 1.0));
        if (off - std::asin(rho / dist) > view.FieldHalfAngle) return false;
    }
    return true;
}

std::vector<int> SimplifyStrip(const std::vector<TVertex>& vertices, int first, int count,
                               double tolerance) {
    std::vector<int> kept;
    const int total = static_cast<int>(vertices.size());
    if (first < 0 || count <= 0 || first > total - count) return kept;
    if (count <= 2 || !(tolerance > 0)) {
        for (int i = first; i < first + count; ++i)
            kept.push_back(i);
        return kept;
    }
    std::vector<char> keep(static_cast<std::size_t>(count), 0);
    keep.front() = keep.back() = 1;
    // Spans still to split, without recursion: a long strip cannot exhaust the stack.
    std::vector<std::pair<int, int>> spans{{0, count - 1}};
    const auto at = [&](int i) -> const TVertex& {
        return vertices[static_cast<std::size_t>(first + i)];
    };
    while (!spans.empty()) {
        const auto [a, b] = spans.back();
        spans.pop_back();
        if (b - a < 2) continue;
        const TVertex &pa = at(a), &pb = at(b);
        const double ux = double(pb.X) - pa.X, uy = double(pb.Y) - pa.Y, uz = double(pb.Z) - pa.Z;
        const double uu = ux * ux + uy * uy + uz * uz;
        double worst = -1;
        int worstAt = a;
        for (int i = a + 1; i < b; ++i) {
            const TVertex& p = at(i);
            const double wx = double(p.X) - pa.X, wy = double(p.Y) - pa.Y, wz = double(p.Z) - pa.Z;
            // Distance to the segment (not its line): the kept line is the segment.
            const double t = uu > 0 ? std::clamp((wx * ux + wy * uy + wz * uz) / uu, 0.0, 1.0) : 0;
            const double dx = wx - t * ux, dy = wy - t * uy, dz = wz - t * uz;
            const double d2 = dx * dx + dy * dy + dz * dz;
            if (d2 > worst) worst = d2, worstAt = i;
        }
        if (worst > tolerance * tolerance) {
            keep[static_cast<std::size_t>(worstAt)] = 1;
            spans.emplace_back(a, worstAt);
            spans.emplace_back(worstAt, b);
        }
    }
    for (int i = 0; i < count; ++i)
        if (keep[static_cast<std::size_t>(i)]) kept.push_back(first + i);
    return kept;
}

void TLineSet::Build(const std::vector<TVertex>& vertices,
                     const std::vector<std::pair<int, int>>& strips, float radius,
                     const std::vector<double>& tolerances) {
    Release();
    Radius = radius;
    // Every copy goes into one buffer, one after the other.
    std::vector<TVertex> all = vertices;
    // Short enough that a chunk at the limb is mostly hidden or mostly seen, long enough that
    // the culling loop stays far below the cost of the lines.
    constexpr int ChunkVertices = 64;
    Levels.push_back({0, vertices.size(), MakeLineChunks(vertices, strips, ChunkVertices)});
    for (const double tolerance : tolerances) {
        if (!(tolerance > Levels.back().Tolerance)) continue;
        std::vector<TVertex> coarse;
        std::vector<std::pair<int, int>> coarseStrips;
        for (const auto& [first, count] : strips) {
            const std::vector<int> kept = SimplifyStrip(vertices, first, count, tolerance);
            if (kept.empty()) continue;
            coarseStrips.emplace_back(static_cast<int>(all.size() + coarse.size()),
                                      static_cast<int>(kept.size()));
            for (const int i : kept)
                coarse.push_back(vertices[static_cast<std::size_t>(i)]);
        }
        // The chunks index the shared buffer, so they are cut with the earlier copies in front.
        all.insert(all.end(), coarse.begin(), coarse.end());
        Levels.push_back(
            {tolerance, coarse.size(), MakeLineChunks(all, coarseStrips, ChunkVertices)});
    }
    std::size_t most = 0;
    for (const TLevel& level : Levels)
        most = std::max(most, level.Chunks.size());
    Firsts.reserve(most);
    Counts.reserve(most);
    glGenBuffers(1, &Buffer);
    if (Buffer == 0) return;
    glBindBuffer(GL_ARRAY_BUFFER, Buffer);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(all.size() * sizeof(TVertex)), all.data(),
                 GL_STATIC_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

std::size_t TLineSet::LevelFor(double maxError) const {
    std::size_t level = 0;
    for (std::size_t i = 1; i < Levels.size(); ++i)
        if (Levels[i].Tolerance <= maxError) level = i;
    return level;
}

std::vector<std::size_t> TLineSet::LevelVertexCounts() const {
    std::vector<std::size_t> counts;
    for (const TLevel& level : Levels)
        counts.push_back(level.Vertices);
    return counts;
}

void TLineSet::Draw(const TShellView& view, double maxError) {
    if (Buffer == 0 || Levels.empty()) return;
    Firsts.clear();
    Counts.clear();
    for (const TLineChunk& c : Levels[LevelFor(maxError)].Chunks)
        if (ChunkMayShow(c, Radius, view)) {
            // Chunks next to each other in the buffer and in the same strip join up again.
            if (!Firsts.empty() && Firsts.back() + Counts.back() - 1 == c.First)
                Counts.back() += c.Count - 1;
            else
                Firsts.push_back(c.First), Counts.push_back(c.Count);
        }
    if (Firsts.empty()) return;
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    glBindBuffer(GL_ARRAY_BUFFER, Buffer);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, sizeof(TVertex), nullptr);
    glMultiDrawArrays(GL_LINE_STRIP, Firsts.data(), Counts.data(),
                      static_cast<GLsizei>(Firsts.size()));
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glPopClientAttrib();
}

void TLineSet::Release() {
    if (Buffer != 0) glDeleteBuffers(1, &Buffer);
    Buffer = 0;
    Levels.clear();
}

} // namespace nimbora
