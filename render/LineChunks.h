#pragma once
// Line strips on a shell around the globe, kept in a vertex buffer in chunks of neighbouring
// vertices, each with the smallest cone around the globe's centre that holds it (its cap). A
// frame sends only the chunks whose cap reaches the side facing the camera and the camera's
// field of view; what it sends is drawn exactly as before, so the culling changes no pixel.
#include "core/Geometry.h"

#include <GL/gl.h>

#include <cmath>
#include <utility>
#include <vector>

namespace nimbora {

struct TLineChunk {
    GLint First = 0;
    GLsizei Count = 0;
    TVertex Centre;  // unit vector of the cap's axis
    float Reach = 0; // the cap's half angle, radians
};

// Splits each strip (first vertex, vertex count) into chunks of at most maxVertices; neighbouring
// chunks share their joint vertex, so the line runs on unbroken.
std::vector<TLineChunk> MakeLineChunks(const std::vector<TVertex>& vertices,
                                       const std::vector<std::pair<int, int>>& strips,
                                       int maxVertices);

// What a frame can see of a shell: the camera's position (globe coordinates), the cosine of the
// angle from the camera's direction beyond which the shell lies behind the earth (-1: nothing
// hidden), and the half angle of a cone around the line of sight that holds the field of view.
struct TShellView {
    TVertex Camera;
    double MinCos = -1;
    double FieldHalfAngle = M_PI;
};

// False only when no point of the chunk (at radius r) can be seen.
bool ChunkMayShow(const TLineChunk& chunk, float r, const TShellView& view);

// For each vertex of the strip (first, count), the largest tolerance at which a coarser line
// (below) still keeps it; infinite at both ends, 0 for what even floor would drop. Empty for a
// strip outside the vertices.
std::vector<double> StripSignificance(const std::vector<TVertex>& vertices, int first, int count,
                                      double floor = 0);

// The vertices of the strip (first, count) that a coarser line keeps (Douglas-Peucker): no
// dropped vertex lies further than tolerance from the kept line, and both ends are always kept.
// Indices into vertices, in order.
std::vector<int> SimplifyStrip(const std::vector<TVertex>& vertices, int first, int count,
                               double tolerance);

// One copy of the lines in the buffer: the full lines (tolerance 0) or a coarser one.
struct TLineLevel {
    double Tolerance = 0;
    std::size_t Vertices = 0;
    std::vector<TLineChunk> Chunks;
};

// The lines and a coarser copy for each tolerance (globe units, ascending), laid out one after
// the other as the vertex buffer takes them, with their chunks. Needs no context, so the costly
// part of building a line set can run on a worker.
struct TLineLayout {
    float Radius = 0;
    std::vector<TVertex> Vertices;
    std::vector<TLineLevel> Levels;
};
TLineLayout LayOutLines(const std::vector<TVertex>& vertices,
                        const std::vector<std::pair<int, int>>& strips, float radius,
                        const std::vector<double>& tolerances = {});

// The chunks in a vertex buffer. Needs the OpenGL context current.
class TLineSet {
public:
    TLineSet() = default;
    TLineSet(const TLineSet&) = delete;
    TLineSet& operator=(const TLineSet&) = delete;

    // Besides the lines themselves, a coarser copy for each tolerance (globe units, ascending).
    void Build(const std::vector<TVertex>& vertices, const std::vector<std::pair<int, int>>& strips,
               float radius, const std::vector<double>& tolerances = {});
    // The same from a layout made beforehand (its vertices are handed to OpenGL, then dropped).
    void Build(TLineLayout layout);
    // Draws the chunks that may show as line strips in the current colour and state, from the
    // coarsest copy whose tolerance is at most maxError (the full lines when none is).
    void Draw(const TShellView& view, double maxError = 0);
    void Release();
    // Which copy Draw takes for maxError: 0 the full lines, k the k-th tolerance.
    std::size_t LevelFor(double maxError) const;
    // Vertices of each copy, the full lines first.
    std::vector<std::size_t> LevelVertexCounts() const;

private:
    std::vector<TLineLevel> Levels;
    std::vector<GLint> Firsts;
    std::vector<GLsizei> Counts;
    GLuint Buffer = 0;
    float Radius = 0;
};

} // namespace nimbora
