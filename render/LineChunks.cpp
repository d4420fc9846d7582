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
    // The widest angle from the axis is where the cosine is smallest: one arc cosine a chunk.
    double leastCos = 1;
    for (int i = first; i < first + count; ++i) {
        const TVertex& v = vertices[static_cast<std::size_t>(i)];
        const double vl = Length(v);
        if (!(vl > 0)) continue;
        leastCos = std::min(leastCos, Dot(v, c.Centre) / vl);
    }
    c.Reach =
        static_cast<float>(std::min(M_PI, std::acos(std::clamp(leastCos, -1.0, 1.0)) + CapMargin));
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

std::vector<double> StripSignificance(const std::vector<TVertex>& vertices, int first, int count,
                                      double floor) {
    std::vector<double> significance;
    const int total = static_cast<int>(vertices.size());
    if (first < 0 || count <= 0 || first > total - count) return significance;
    significance.assign(static_cast<std::size_t>(count), 0.0);
    significance.front() = significance.back() = HUGE_VAL;
    // Douglas-Peucker down to the last vertex. Where a span splits does not depend on the
    // tolerance, only whether it does: a vertex stays while its own split distance and those of
    // all the splits above it exceed the tolerance. Spans wait on a list, not on the stack.
    struct TSpan {
        int A, B;
        double Above; // the smallest split distance on the way down to this span
    };
    std::vector<TSpan> spans{{0, count - 1, HUGE_VAL}};
    const auto at = [&](int i) -> const TVertex& {
        return vertices[static_cast<std::size_t>(first + i)];
    };
    while (!spans.empty()) {
        const TSpan span = spans.back();
        spans.pop_back();
        if (span.B - span.A < 2) continue;
        const TVertex &pa = at(span.A), &pb = at(span.B);
        const double ux = double(pb.X) - pa.X, uy = double(pb.Y) - pa.Y, uz = double(pb.Z) - pa.Z;
        const double uu = ux * ux + uy * uy + uz * uz;
        double worst = -1;
        int worstAt = span.A + 1;
        for (int i = span.A + 1; i < span.B; ++i) {
            const TVertex& p = at(i);
            const double wx = double(p.X) - pa.X, wy = double(p.Y) - pa.Y, wz = double(p.Z) - pa.Z;
            // Distance to the segment (not its line): the kept line is the segment.
            const double t = uu > 0 ? std::clamp((wx * ux + wy * uy + wz * uz) / uu, 0.0, 1.0) : 0;
            const double dx = wx - t * ux, dy = wy - t * uy, dz = wz - t * uz;
            const double d2 = dx * dx + dy * dy + dz * dz;
            if (d2 > worst) worst = d2, worstAt = i;
        }
        const double here = std::min(span.Above, std::sqrt(worst));
        // Below the floor the order of the rest no longer matters: they all count as 0.
        if (here <= floor) continue;
        significance[static_cast<std::size_t>(worstAt)] = here;
        spans.push_back({span.A, worstAt, here});
        spans.push_back({worstAt, span.B, here});
    }
    return significance;
}

std::vector<int> SimplifyStrip(const std::vector<TVertex>& vertices, int first, int count,
                               double tolerance) {
    std::vector<int> kept;
    if (!(tolerance > 0)) {
        if (first >= 0 && count > 0 && first <= static_cast<int>(vertices.size()) - count)
            for (int i = first; i < first + count; ++i)
                kept.push_back(i);
        return kept;
    }
    const std::vector<double> significance = StripSignificance(vertices, first, count, tolerance);
    for (int i = 0; i < static_cast<int>(significance.size()); ++i)
        if (significance[static_cast<std::size_t>(i)] > tolerance || i == 0 || i == count - 1)
            kept.push_back(first + i);
    return kept;
}

TLineLayout LayOutLines(const std::vector<TVertex>& vertices,
                        const std::vector<std::pair<int, int>>& strips, float radius,
                        const std::vector<double>& tolerances) {
    TLineLayout layout;
    layout.Radius = radius;
    // Every copy goes into one buffer, one after the other; the copies shrink fast, so room for
    // twice the lines mostly saves growing the buffer.
    std::vector<TVertex>& all = layout.Vertices;
    std::vector<TLineLevel>& levels = layout.Levels;
    all.reserve(2 * vertices.size());
    all = vertices;
    // Short enough that a chunk at the limb is mostly hidden or mostly seen, long enough that
    // the culling loop stays far below the cost of the lines.
    constexpr int ChunkVertices = 64;
    levels.push_back({0, vertices.size(), MakeLineChunks(vertices, strips, ChunkVertices)});
    // How far each vertex may stray before a coarser copy drops it, found once for all copies.
    std::vector<std::vector<double>> significance;
    const double floor =
        tolerances.empty() ? 0 : *std::min_element(tolerances.begin(), tolerances.end());
    if (!tolerances.empty())
        for (const auto& [first, count] : strips)
            significance.push_back(StripSignificance(vertices, first, count, floor));
    for (const double tolerance : tolerances) {
        if (!(tolerance > levels.back().Tolerance)) continue;
        std::vector<TVertex> coarse;
        std::vector<std::pair<int, int>> coarseStrips;
        for (std::size_t k = 0; k < strips.size(); ++k) {
            const std::vector<double>& sig = significance[k];
            if (sig.empty()) continue;
            const std::size_t start = coarse.size();
            for (std::size_t i = 0; i < sig.size(); ++i)
                if (sig[i] > tolerance || i == 0 || i + 1 == sig.size())
                    coarse.push_back(vertices[static_cast<std::size_t>(strips[k].first) + i]);
            coarseStrips.emplace_back(static_cast<int>(all.size() + start),
                                      static_cast<int>(coarse.size() - start));
        }
        // The chunks index the shared buffer, so they are cut with the earlier copies in front.
        all.insert(all.end(), coarse.begin(), coarse.end());
        levels.push_back(
            {tolerance, coarse.size(), MakeLineChunks(all, coarseStrips, ChunkVertices)});
    }
    return layout;
}

void TLineSet::Build(const std::vector<TVertex>& vertices,
                     const std::vector<std::pair<int, int>>& strips, float radius,
                     const std::vector<double>& tolerances) {
    Build(LayOutLines(vertices, strips, radius, tolerances));
}

void TLineSet::Build(TLineLayout layout) {
    Release();
    Radius = layout.Radius;
    Levels = std::move(layout.Levels);
    std::size_t most = 0;
    for (const TLineLevel& level : Levels)
        most = std::max(most, level.Chunks.size());
    Firsts.reserve(most);
    Counts.reserve(most);
    glGenBuffers(1, &Buffer);
    if (Buffer == 0) return;
    glBindBuffer(GL_ARRAY_BUFFER, Buffer);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(layout.Vertices.size() * sizeof(TVertex)),
                 layout.Vertices.data(), GL_STATIC_DRAW);
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
    for (const TLineLevel& level : Levels)
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
