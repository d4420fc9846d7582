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

void TLineSet::Build(const std::vector<TVertex>& vertices,
                     const std::vector<std::pair<int, int>>& strips, float radius) {
    Release();
    Radius = radius;
    // Short enough that a chunk at the limb is mostly hidden or mostly seen, long enough that
    // the culling loop stays far below the cost of the lines.
    Chunks = MakeLineChunks(vertices, strips, 64);
    Firsts.reserve(Chunks.size());
    Counts.reserve(Chunks.size());
    glGenBuffers(1, &Buffer);
    if (Buffer == 0) return;
    glBindBuffer(GL_ARRAY_BUFFER, Buffer);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertices.size() * sizeof(TVertex)),
                 vertices.data(), GL_STATIC_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void TLineSet::Draw(const TShellView& view) {
    if (Buffer == 0) return;
    Firsts.clear();
    Counts.clear();
    for (const TLineChunk& c : Chunks)
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
    Chunks.clear();
}

} // namespace nimbora
