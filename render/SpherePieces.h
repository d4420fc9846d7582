#pragma once
// A GLU quadric sphere (smooth normals, outside orientation, filled) made of the very same
// vertices, normals, texture coordinates and primitives as gluSphere sends, kept in a vertex
// buffer and cut into pieces of a few rows and columns. A frame sends only the pieces of which
// some facet can face the camera and lie in the view; back faces and what is out of sight are
// never drawn anyway, so the picture stays the same while most vertices are no longer
// transformed and lit.
#include "core/Geometry.h"

#include <GL/gl.h>

#include <array>
#include <functional>
#include <vector>

namespace nimbora {

// One primitive of the sphere, as gluSphere begins and ends it.
struct TSphereStrip {
    GLenum Mode = GL_QUAD_STRIP; // or GL_TRIANGLE_FAN at the poles (untextured spheres)
    GLint First = 0;
    GLsizei Count = 0;
};

struct TSphereMesh {
    std::vector<TVertex> Positions, Normals;
    std::vector<float> TexCoords; // s, t per vertex; empty when untextured
    std::vector<TSphereStrip> Strips;
};

// What gluSphere(radius, slices, stacks) sends with smooth normals, texture coordinates when
// asked for, in its order. slices and stacks are limited as GLU limits them.
TSphereMesh MakeSphereMesh(double radius, int slices, int stacks, bool textured);

// A run of vertices of one strip, with bounds for culling in the sphere's own coordinates.
struct TSpherePiece {
    GLenum Mode = GL_QUAD_STRIP;
    GLint First = 0;
    GLsizei Count = 0;
    TVertex Centre; // bounding sphere of the vertices
    float Radius = 0;
    // Every facet's outward unit normal lies within Reach (radians) of Axis, and every facet's
    // plane lies at least Offset from the centre along its normal: from a point p, a facet can
    // face it only if dot(normal, p) > Offset.
    TVertex Axis;
    float Reach = 0;
    float Offset = 0;
    // Every vertex seen from the sphere's centre lies within Spread (radians) of Axis.
    float Spread = 0;
};

// Cuts the quad strips into pieces of at most rows strips and columns quads each; fans stay
// whole.
std::vector<TSpherePiece> MakeSpherePieces(const TSphereMesh& mesh, int rows, int columns);

// Where a frame looks from, in the sphere's own coordinates: the eye, and the six planes of the
// view volume (a, b, c, d with a x + b y + c z + d >= 0 inside).
struct TSphereView {
    TVertex Eye;
    std::array<std::array<double, 4>, 6> Planes{};
};

// The view of the current modelview and projection matrices.
TSphereView CurrentSphereView();
// The same from column-major modelview and projection matrices.
TSphereView SphereViewOf(const float (&modelview)[16], const float (&projection)[16]);

// True when a ball (centre and radius in the view's coordinates) lies wholly outside the view
// volume, so that nothing drawn within it can show.
bool OutsideView(const TSphereView& view, const TVertex& centre, float radius);

// False only when no facet of the piece can be both front-facing and inside the view.
bool PieceMayShow(const TSpherePiece& piece, const TSphereView& view);

// True only when every vertex of the piece, seen from the sphere's centre, lies within angle
// (radians) of direction (any length): what a light or a plane through the centre does to
// the piece is then known from its bounds alone.
bool PieceWithin(const TSpherePiece& piece, const TVertex& direction, double angle);

// The sphere in a vertex buffer. Needs the OpenGL context current.
class TSpherePieces {
public:
    TSpherePieces() = default;
    TSpherePieces(const TSpherePieces&) = delete;
    TSpherePieces& operator=(const TSpherePieces&) = delete;
    ~TSpherePieces() = default; // the buffer goes with Release, while a context is current

    // The sphere is cut into bands x sectors pieces (fewer when it has fewer stacks or slices).
    void Build(double radius, int slices, int stacks, bool textured, int bands = 16,
               int sectors = 8);
    // Draws the pieces that may show, under the current matrices and state, and of those only
    // what take accepts when it is given; false when nothing was sent.
    bool Draw(const std::function<bool(const TSpherePiece&)>& take = {});
    // The whole sphere, as gluSphere would. Between Bind and Unbind, DrawAllBound does the same
    // without setting the arrays up again: for many small spheres under different matrices.
    void DrawAll();
    void Bind();
    void DrawAllBound();
    void Unbind();
    void Release();
    std::size_t PieceCount() const { return Pieces.size(); }

private:
    void Send(const std::vector<const TSpherePiece*>& pieces);
    void SendBound(const std::vector<const TSpherePiece*>& pieces);

    std::vector<TSpherePiece> Pieces;
    std::vector<const TSpherePiece*> All;
    bool Textured = false;
    GLuint Buffer = 0;
    std::size_t NormalOffset = 0, TexOffset = 0;
    std::vector<GLint> Firsts;
    std::vector<GLsizei> Counts;
};

} // namespace nimbora
