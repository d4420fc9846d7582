// Buffer objects are OpenGL 1.5; the library exports them, the header declares them only so.
#define GL_GLEXT_PROTOTYPES 1
#include "render/SpherePieces.h"

#include <GL/glext.h>

#include <algorithm>
#include <cmath>

namespace nimbora {

namespace {

// GLU's own limit on slices and stacks (its caches hold this many entries).
constexpr int GluCacheSize = 240;

struct TDir {
    double X = 0, Y = 0, Z = 0;
};

TDir Dir(const TVertex& v) {
    return {v.X, v.Y, v.Z};
}

double Dot(const TDir& a, const TDir& b) {
    return a.X * b.X + a.Y * b.Y + a.Z * b.Z;
}

double Length(const TDir& a) {
    return std::sqrt(Dot(a, a));
}

TDir Sub(const TDir& a, const TDir& b) {
    return {a.X - b.X, a.Y - b.Y, a.Z - b.Z};
}

TDir Cross(const TDir& a, const TDir& b) {
    return {a.Y * b.Z - a.Z * b.Y, a.Z * b.X - a.X * b.Z, a.X * b.Y - a.Y * b.X};
}

TVertex Vertex(const TDir& d) {
    return {static_cast<float>(d.X), static_cast<float>(d.Y), static_cast<float>(d.Z)};
}

// Rounding between these bounds and the rasteriser's own decision of what faces the camera
// stays far inside this share of the distances involved.
constexpr double Margin = 1e-3;

// Bounds of a run of facets, each given by its three corners in the order that makes it face
// outward (counter-clockwise seen from outside).
struct TFacetBounds {
    std::vector<TDir> Normals;
    std::vector<double> Offsets;

    void Add(const TVertex& a, const TVertex& b, const TVertex& c) {
        const TDir pa = Dir(a), pb = Dir(b), pc = Dir(c);
        const TDir n = Cross(Sub(pb, pa), Sub(pc, pa));
        const double l = Length(n);
        // Facets without area (where a strip meets a pole) draw nothing.
        if (!(l > 1e-12 * std::max(1.0, Dot(pa, pa)))) return;
        const TDir u{n.X / l, n.Y / l, n.Z / l};
        Normals.push_back(u);
        Offsets.push_back(std::min({Dot(u, pa), Dot(u, pb), Dot(u, pc)}));
    }

    void Into(TSpherePiece& piece) const {
        if (Normals.empty()) {
            piece.Reach = static_cast<float>(M_PI); // nothing known: always sent
            piece.Offset = -1e30f;
            return;
        }
        TDir sum;
        for (const TDir& n : Normals)
            sum = {sum.X + n.X, sum.Y + n.Y, sum.Z + n.Z};
        const double l = Length(sum);
        if (!(l > 1e-9)) {
            piece.Reach = static_cast<float>(M_PI);
            piece.Offset = static_cast<float>(*std::min_element(Offsets.begin(), Offsets.end()));
            return;
        }
        const TDir axis{sum.X / l, sum.Y / l, sum.Z / l};
        // The arc cosine falls as the cosine grows: the widest normal is the least aligned one.
        double leastCos = 1;
        for (const TDir& n : Normals)
            leastCos = std::min(leastCos, Dot(n, axis));
        const double reach = std::acos(std::clamp(leastCos, -1.0, 1.0));
        piece.Axis = Vertex(axis);
        piece.Reach = static_cast<float>(std::min(M_PI, reach + Margin));
        piece.Offset = static_cast<float>(*std::min_element(Offsets.begin(), Offsets.end()));
    }
};

void BoundingSphere(const TSphereMesh& mesh, TSpherePiece& piece) {
    TDir lo{1e30, 1e30, 1e30}, hi{-1e30, -1e30, -1e30};
    for (GLint i = piece.First; i < piece.First + piece.Count; ++i) {
        const TDir p = Dir(mesh.Positions[static_cast<std::size_t>(i)]);
        lo = {std::min(lo.X, p.X), std::min(lo.Y, p.Y), std::min(lo.Z, p.Z)};
        hi = {std::max(hi.X, p.X), std::max(hi.Y, p.Y), std::max(hi.Z, p.Z)};
    }
    const TDir c{(lo.X + hi.X) / 2, (lo.Y + hi.Y) / 2, (lo.Z + hi.Z) / 2};
    double r = 0;
    for (GLint i = piece.First; i < piece.First + piece.Count; ++i)
        r = std::max(r, Length(Sub(Dir(mesh.Positions[static_cast<std::size_t>(i)]), c)));
    piece.Centre = Vertex(c);
    piece.Radius = static_cast<float>(r * (1 + Margin));
}

// How far the vertices of the given runs stray from the axis, seen from the sphere's centre.
float VertexSpread(const TSphereMesh& mesh, const std::vector<TSpherePiece>& runs,
                   const TVertex& axis) {
    const TDir a = Dir(axis);
    if (!(Length(a) > 0.5)) return static_cast<float>(M_PI); // no axis known
    double least = 1;
    for (const TSpherePiece& run : runs)
        for (GLint i = run.First; i < run.First + run.Count; ++i) {
            const TDir p = Dir(mesh.Positions[static_cast<std::size_t>(i)]);
            const double l = Length(p);
            if (l > 0) least = std::min(least, Dot(p, a) / l);
        }
    return static_cast<float>(std::min(M_PI, std::acos(std::clamp(least, -1.0, 1.0)) + Margin));
}

// Matrix helpers, column-major as OpenGL keeps them.
double At(const float (&m)[16], int row, int col) {
    return m[col * 4 + row];
}

} // namespace

TSphereMesh MakeSphereMesh(double radius, int slices, int stacks, bool textured) {
    TSphereMesh mesh;
    slices = std::min(slices, GluCacheSize - 1);
    stacks = std::min(stacks, GluCacheSize - 1);
    if (slices < 2 || stacks < 1 || !(radius >= 0)) return mesh;

    // The same caches, in the same precision, as GLU fills them: angles held as floats, their
    // sines and cosines taken in double and kept as floats.
    std::vector<float> sinA(static_cast<std::size_t>(slices) + 1),
        cosA(static_cast<std::size_t>(slices) + 1);
    for (int i = 0; i < slices; ++i) {
        const float angle = static_cast<float>(2 * M_PI * i / slices);
        sinA[static_cast<std::size_t>(i)] = static_cast<float>(std::sin(double(angle)));
        cosA[static_cast<std::size_t>(i)] = static_cast<float>(std::cos(double(angle)));
    }
    sinA[static_cast<std::size_t>(slices)] = sinA[0];
    cosA[static_cast<std::size_t>(slices)] = cosA[0];
    std::vector<float> sinB(static_cast<std::size_t>(stacks) + 1),
        cosB(static_cast<std::size_t>(stacks) + 1), sinNB(sinB.size()), cosNB(cosB.size());
    for (int j = 0; j <= stacks; ++j) {
        const float angle = static_cast<float>(M_PI * j / stacks);
        sinNB[static_cast<std::size_t>(j)] = static_cast<float>(std::sin(double(angle)));
        cosNB[static_cast<std::size_t>(j)] = static_cast<float>(std::cos(double(angle)));
        sinB[static_cast<std::size_t>(j)] = static_cast<float>(radius * std::sin(double(angle)));
        cosB[static_cast<std::size_t>(j)] = static_cast<float>(radius * std::cos(double(angle)));
    }
    // The ends come to a point.
    sinB[0] = sinB[static_cast<std::size_t>(stacks)] = 0;
    sinNB[0] = sinNB[static_cast<std::size_t>(stacks)] = 0;

    const auto put = [&](TVertex normal, TVertex position, float s, float t) {
        mesh.Normals.push_back(normal);
        mesh.Positions.push_back(position);
        if (textured) {
            mesh.TexCoords.push_back(s);
            mesh.TexCoords.push_back(t);
        }
    };
    const auto begin = [&](GLenum mode) {
        mesh.Strips.push_back({mode, static_cast<GLint>(mesh.Positions.size()), 0});
    };
    const auto end = [&] {
        mesh.Strips.back().Count =
            static_cast<GLsizei>(mesh.Positions.size()) - mesh.Strips.back().First;
    };
    const auto at = [](const std::vector<float>& v, int i) {
        return v[static_cast<std::size_t>(i)];
    };

    int start = 0, finish = stacks;
    if (!textured) {
        // Without texture coordinates the ends are fans around the poles.
        start = 1;
        finish = stacks - 1;
        const float r = static_cast<float>(radius);
        {
            const float s2 = at(sinB, 1), z = at(cosB, 1), sn = at(sinNB, 1), cn = at(cosNB, 1);
            begin(GL_TRIANGLE_FAN);
            put({at(sinA, 0) * at(sinNB, 0), at(cosA, 0) * at(sinNB, 0), at(cosNB, 0)}, {0, 0, r},
                0, 0);
            for (int i = slices; i >= 0; --i)
                put({at(sinA, i) * sn, at(cosA, i) * sn, cn},
                    {s2 * at(sinA, i), s2 * at(cosA, i), z}, 0, 0);
            end();
        }
        {
            const int k = stacks - 1;
            const float s2 = at(sinB, k), z = at(cosB, k), sn = at(sinNB, k), cn = at(cosNB, k);
            // GLU takes the apex normal's first two factors from the slice caches at the stack
            // count; they are multiplied by zero.
            const int a = std::min(stacks, slices);
            begin(GL_TRIANGLE_FAN);
            put({at(sinA, a) * at(sinNB, stacks), at(cosA, a) * at(sinNB, stacks),
                 at(cosNB, stacks)},
                {0, 0, -r}, 0, 0);
            for (int i = 0; i <= slices; ++i)
                put({at(sinA, i) * sn, at(cosA, i) * sn, cn},
                    {s2 * at(sinA, i), s2 * at(cosA, i), z}, 0, 0);
            end();
        }
    }
    for (int j = start; j < finish; ++j) {
        const float zLow = at(cosB, j), zHigh = at(cosB, j + 1);
        const float s1 = at(sinB, j), s2 = at(sinB, j + 1);
        const float sn3 = at(sinNB, j + 1), cn3 = at(cosNB, j + 1);
        const float sn4 = at(sinNB, j), cn4 = at(cosNB, j);
        begin(GL_QUAD_STRIP);
        for (int i = 0; i <= slices; ++i) {
            const float s = 1 - static_cast<float>(i) / static_cast<float>(slices);
            put({at(sinA, i) * sn3, at(cosA, i) * sn3, cn3},
                {s2 * at(sinA, i), s2 * at(cosA, i), zHigh}, s,
                1 - static_cast<float>(j + 1) / static_cast<float>(stacks));
            put({at(sinA, i) * sn4, at(cosA, i) * sn4, cn4},
                {s1 * at(sinA, i), s1 * at(cosA, i), zLow}, s,
                1 - static_cast<float>(j) / static_cast<float>(stacks));
        }
        end();
    }
    return mesh;
}

std::vector<TSpherePiece> MakeSpherePieces(const TSphereMesh& mesh, int rows, int columns) {
    rows = std::max(rows, 1);
    columns = std::max(columns, 1);
    std::vector<TSpherePiece> pieces;
    const auto p = [&](GLint i) -> const TVertex& {
        return mesh.Positions[static_cast<std::size_t>(i)];
    };
    // The quad strips, row by row: a piece is a block of rows x columns quads, sent as one run
    // of each row's strip.
    std::vector<const TSphereStrip*> quadRows;
    for (const TSphereStrip& strip : mesh.Strips) {
        if (strip.Mode == GL_TRIANGLE_FAN) {
            TSpherePiece piece;
            piece.Mode = GL_TRIANGLE_FAN;
            piece.First = strip.First;
            piece.Count = strip.Count;
            TFacetBounds facets;
            for (GLint i = strip.First + 1; i + 1 < strip.First + strip.Count; ++i)
                facets.Add(p(strip.First), p(i), p(i + 1));
            facets.Into(piece);
            BoundingSphere(mesh, piece);
            piece.Spread = piece.Reach >= M_PI ? static_cast<float>(M_PI)
                                               : VertexSpread(mesh, {piece}, piece.Axis);
            pieces.push_back(piece);
        } else if (strip.Count >= 4) {
            quadRows.push_back(&strip);
        }
    }
    for (std::size_t row = 0; row < quadRows.size(); row += static_cast<std::size_t>(rows)) {
        const std::size_t lastRow = std::min(quadRows.size(), row + static_cast<std::size_t>(rows));
        const int quads = quadRows[row]->Count / 2 - 1;
        for (int column = 0; column < quads; column += columns) {
            const int n = std::min(columns, quads - column);
            TFacetBounds facets;
            TSpherePiece block;
            // One piece per row of the block, sharing the block's bounds.
            std::vector<TSpherePiece> runs;
            TDir lo{1e30, 1e30, 1e30}, hi{-1e30, -1e30, -1e30};
            for (std::size_t r = row; r < lastRow; ++r) {
                const GLint first = quadRows[r]->First + 2 * column;
                for (int q = 0; q < n; ++q) {
                    const GLint v = first + 2 * q;
                    // The quad (v0, v1, v3, v2) of the strip, split either way.
                    facets.Add(p(v), p(v + 1), p(v + 3));
                    facets.Add(p(v), p(v + 3), p(v + 2));
                    facets.Add(p(v), p(v + 1), p(v + 2));
                    facets.Add(p(v + 1), p(v + 3), p(v + 2));
                }
                TSpherePiece run;
                run.First = first;
                run.Count = 2 * (n + 1);
                runs.push_back(run);
            }
            facets.Into(block);
            // The bounding sphere of the whole block.
            TSpherePiece all;
            all.First = runs.front().First;
            for (const TSpherePiece& run : runs)
                for (GLint i = run.First; i < run.First + run.Count; ++i) {
                    const TDir q = Dir(p(i));
                    lo = {std::min(lo.X, q.X), std::min(lo.Y, q.Y), std::min(lo.Z, q.Z)};
                    hi = {std::max(hi.X, q.X), std::max(hi.Y, q.Y), std::max(hi.Z, q.Z)};
                }
            const TDir c{(lo.X + hi.X) / 2, (lo.Y + hi.Y) / 2, (lo.Z + hi.Z) / 2};
            double radius = 0;
            for (const TSpherePiece& run : runs)
                for (GLint i = run.First; i < run.First + run.Count; ++i)
                    radius = std::max(radius, Length(Sub(Dir(p(i)), c)));
            const float spread = block.Reach >= M_PI ? static_cast<float>(M_PI)
                                                     : VertexSpread(mesh, runs, block.Axis);
            for (TSpherePiece& run : runs) {
                run.Spread = spread;
                run.Axis = block.Axis;
                run.Reach = block.Reach;
                run.Offset = block.Offset;
                run.Centre = Vertex(c);
                run.Radius = static_cast<float>(radius * (1 + Margin));
                pieces.push_back(run);
            }
        }
    }
    // Row by row, column by column, as gluSphere sends them: neighbours in a strip follow each
    // other and join up when both are sent.
    std::stable_sort(pieces.begin(), pieces.end(),
                     [](const TSpherePiece& a, const TSpherePiece& b) {
                         if ((a.Mode == GL_TRIANGLE_FAN) != (b.Mode == GL_TRIANGLE_FAN))
                             return a.Mode == GL_TRIANGLE_FAN;
                         return a.First < b.First;
                     });
    return pieces;
}

TSphereView SphereViewOf(const float (&mv)[16], const float (&proj)[16]) {
    TSphereView view;
    // The eye at the origin of eye space, taken back through the modelview matrix (an affine
    // map: solve R x + t = 0).
    double r[3][3], t[3];
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j)
            r[i][j] = At(mv, i, j);
        t[i] = At(mv, i, 3);
    }
    const double det = r[0][0] * (r[1][1] * r[2][2] - r[1][2] * r[2][1]) -
                       r[0][1] * (r[1][0] * r[2][2] - r[1][2] * r[2][0]) +
                       r[0][2] * (r[1][0] * r[2][1] - r[1][1] * r[2][0]);
    if (std::abs(det) > 1e-30) {
        // Cramer's rule for R x = -t.
        const auto solve = [&](int col) {
            double m[3][3];
            for (int i = 0; i < 3; ++i)
                for (int j = 0; j < 3; ++j)
                    m[i][j] = j == col ? -t[i] : r[i][j];
            return (m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                    m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                    m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0])) /
                   det;
        };
        view.Eye = {static_cast<float>(solve(0)), static_cast<float>(solve(1)),
                    static_cast<float>(solve(2))};
    }
    // The view volume's planes in object coordinates, from the rows of projection x modelview.
    double m[4][4];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            double s = 0;
            for (int k = 0; k < 4; ++k)
                s += At(proj, i, k) * At(mv, k, j);
            m[i][j] = s;
        }
    for (int plane = 0; plane < 6; ++plane) {
        const int row = plane / 2;
        const double sign = plane % 2 == 0 ? 1 : -1;
        for (int j = 0; j < 4; ++j)
            view.Planes[static_cast<std::size_t>(plane)][static_cast<std::size_t>(j)] =
                m[3][j] + sign * m[row][j];
    }
    return view;
}

TSphereView CurrentSphereView() {
    float mv[16], proj[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, mv);
    glGetFloatv(GL_PROJECTION_MATRIX, proj);
    return SphereViewOf(mv, proj);
}

bool OutsideView(const TSphereView& view, const TVertex& centre, float radius) {
    const double cx = centre.X, cy = centre.Y, cz = centre.Z;
    for (const auto& pl : view.Planes) {
        const double n = std::sqrt(pl[0] * pl[0] + pl[1] * pl[1] + pl[2] * pl[2]);
        if (!(n > 0)) continue;
        if ((pl[0] * cx + pl[1] * cy + pl[2] * cz + pl[3]) / n < -radius * (1 + Margin))
            return true;
    }
    return false;
}

bool PieceMayShow(const TSpherePiece& piece, const TSphereView& view) {
    // Out of the view volume: the bounding sphere lies wholly outside one of its planes.
    if (OutsideView(view, piece.Centre, piece.Radius)) return false;
    // Every facet turns its back on the eye: even the normal of the cone nearest to the eye's
    // direction leaves the eye on the inner side of the nearest facet plane.
    if (piece.Reach >= M_PI) return true;
    const TDir eye = Dir(view.Eye);
    const double d = Length(eye);
    if (!(d > 0)) return true;
    const double toEye = std::acos(std::clamp(Dot(Dir(piece.Axis), eye) / d, -1.0, 1.0));
    const double nearest = d * std::cos(std::min(M_PI, std::max(0.0, toEye - piece.Reach)));
    return nearest > piece.Offset - Margin * (d + std::abs(piece.Offset));
}

bool PieceWithin(const TSpherePiece& piece, const TVertex& direction, double angle) {
    if (piece.Spread >= M_PI) return false;
    const TDir d = Dir(direction);
    const double l = Length(d);
    if (!(l > 0)) return false;
    const double apart = std::acos(std::clamp(Dot(Dir(piece.Axis), d) / l, -1.0, 1.0));
    return apart + piece.Spread + Margin <= angle;
}

void TSpherePieces::Build(double radius, int slices, int stacks, bool textured, int bands,
                          int sectors) {
    Release();
    const TSphereMesh mesh = MakeSphereMesh(radius, slices, stacks, textured);
    // By default 16 x 8 pieces of 11.25 x 45 degrees: small enough that the limb and the view's
    // edges cut off little that is sent in vain, few enough that the culling costs next to
    // nothing.
    Pieces = MakeSpherePieces(mesh, std::max(1, stacks / std::max(1, bands)),
                              std::max(1, slices / std::max(1, sectors)));
    Textured = textured;
    All.clear();
    for (const TSpherePiece& piece : Pieces)
        All.push_back(&piece);
    const std::size_t n = mesh.Positions.size();
    if (n == 0) return;
    glGenBuffers(1, &Buffer);
    if (Buffer == 0) return;
    NormalOffset = n * sizeof(TVertex);
    TexOffset = 2 * n * sizeof(TVertex);
    const std::size_t bytes = TexOffset + mesh.TexCoords.size() * sizeof(float);
    glBindBuffer(GL_ARRAY_BUFFER, Buffer);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(bytes), nullptr, GL_STATIC_DRAW);
    glBufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(NormalOffset),
                    mesh.Positions.data());
    glBufferSubData(GL_ARRAY_BUFFER, static_cast<GLintptr>(NormalOffset),
                    static_cast<GLsizeiptr>(NormalOffset), mesh.Normals.data());
    if (textured)
        glBufferSubData(GL_ARRAY_BUFFER, static_cast<GLintptr>(TexOffset),
                        static_cast<GLsizeiptr>(mesh.TexCoords.size() * sizeof(float)),
                        mesh.TexCoords.data());
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

bool TSpherePieces::Draw(const std::function<bool(const TSpherePiece&)>& take) {
    if (Buffer == 0) return false;
    const TSphereView view = CurrentSphereView();
    std::vector<const TSpherePiece*> shown;
    shown.reserve(Pieces.size());
    for (const TSpherePiece& piece : Pieces)
        if ((!take || take(piece)) && PieceMayShow(piece, view)) shown.push_back(&piece);
    if (shown.empty()) return false;
    Send(shown);
    return true;
}

void TSpherePieces::DrawAll() {
    if (Buffer == 0) return;
    Send(All);
}

void TSpherePieces::DrawAllBound() {
    if (Buffer != 0) SendBound(All);
}

void TSpherePieces::Send(const std::vector<const TSpherePiece*>& pieces) {
    Bind();
    SendBound(pieces);
    Unbind();
}

void TSpherePieces::Bind() {
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    glBindBuffer(GL_ARRAY_BUFFER, Buffer);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, nullptr);
    glEnableClientState(GL_NORMAL_ARRAY);
    glNormalPointer(GL_FLOAT, 0, reinterpret_cast<const void*>(NormalOffset));
    if (Textured) {
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(2, GL_FLOAT, 0, reinterpret_cast<const void*>(TexOffset));
    }
}

void TSpherePieces::Unbind() {
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glPopClientAttrib();
}

void TSpherePieces::SendBound(const std::vector<const TSpherePiece*>& pieces) {
    Firsts.clear();
    Counts.clear();
    for (const TSpherePiece* piece : pieces) {
        if (piece->Mode != GL_QUAD_STRIP) {
            glDrawArrays(piece->Mode, piece->First, piece->Count);
            continue;
        }
        // Runs next to each other in one strip join up again (they share a pair of vertices).
        if (!Firsts.empty() && Firsts.back() + Counts.back() - 2 == piece->First)
            Counts.back() = piece->First + piece->Count - Firsts.back();
        else
            Firsts.push_back(piece->First), Counts.push_back(piece->Count);
    }
    if (!Firsts.empty())
        glMultiDrawArrays(GL_QUAD_STRIP, Firsts.data(), Counts.data(),
                          static_cast<GLsizei>(Firsts.size()));
}

void TSpherePieces::Release() {
    if (Buffer != 0) glDeleteBuffers(1, &Buffer);
    Buffer = 0;
    Pieces.clear();
    All.clear();
}

} // namespace nimbora
