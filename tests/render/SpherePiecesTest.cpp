// The pieced spheres against gluSphere itself, compared through OpenGL's feedback mode: what the
// pipeline would rasterise (positions, texture coordinates, normals) must be the same, facet for
// facet, with every piece sent and with the pieces a view culls left out.
#include "render/SpherePieces.h"
#include "render/OpenGLPanel.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glu.h>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace nimbora {
namespace {

struct TSphereCase {
    const char* Name;
    double Radius;
    int Slices, Stacks;
    bool Textured;
    int Bands = 16, Sectors = 8;
};

// The scene's spheres: earth, clouds, atmosphere, moon, and the two marker shapes.
constexpr TSphereCase SceneSpheres[] = {
    {"earth", 5.0, 128, 128, true, 32, 32},        {"clouds", 5.05, 64, 64, true},
    {"atmosphere", 5.08, 128, 128, false, 32, 32}, {"moon", 1.25, 96, 96, true},
    {"country marker", 0.01, 5, 4, false},         {"waypoint marker", 0.01, 6, 6, false}};

class SpherePieces : public testing::Test {
protected:
    void SetUp() override {
        Context.setFormat(TOpenGLPanel::SceneFormat());
        ASSERT_TRUE(Context.create());
        Surface.setFormat(Context.format());
        Surface.create();
        ASSERT_TRUE(Context.makeCurrent(&Surface));
    }
    void TearDown() override { Context.doneCurrent(); }

    // The feedback of what draw sends: window coordinates, colour and texture coordinates of
    // every vertex of every polygon that survives culling and clipping.
    static std::vector<float> Feedback(const std::function<void()>& draw) {
        std::vector<float> buffer(4 << 20);
        glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D_COLOR_TEXTURE, buffer.data());
        glRenderMode(GL_FEEDBACK);
        draw();
        const GLint n = glRenderMode(GL_RENDER);
        EXPECT_GE(n, 0) << "feedback buffer too small";
        buffer.resize(static_cast<std::size_t>(std::max(n, 0)));
        return buffer;
    }

    static void GluSphere(const TSphereCase& c) {
        GLUquadric* q = gluNewQuadric();
        gluQuadricNormals(q, GLU_SMOOTH);
        gluQuadricTexture(q, c.Textured ? GL_TRUE : GL_FALSE);
        gluSphere(q, c.Radius, c.Slices, c.Stacks);
        gluDeleteQuadric(q);
    }

    // Bit for bit; the first difference is told.
    static void ExpectSame(const std::vector<float>& glu, const std::vector<float>& ours,
                           const std::string& what) {
        ASSERT_EQ(glu.size(), ours.size()) << what;
        std::size_t differing = 0, first = 0;
        for (std::size_t i = 0; i < glu.size(); ++i)
            if (glu[i] != ours[i] && differing++ == 0) first = i;
        EXPECT_EQ(differing, 0u) << what << ", first at " << first << ": " << glu[first] << " vs "
                                 << ours[first];
    }

    static int Polygons(const std::vector<float>& feedback) {
        int polygons = 0;
        for (std::size_t i = 0; i < feedback.size();) {
            if (static_cast<GLint>(feedback[i]) != GL_POLYGON_TOKEN) return -1;
            const auto vertices = static_cast<std::size_t>(feedback[i + 1]);
            i += 2 + vertices * 11; // x y z, r g b a, s t r q
            ++polygons;
        }
        return polygons;
    }

    QOpenGLContext Context;
    QOffscreenSurface Surface;
};

TEST_F(SpherePieces, AllPiecesSendExactlyWhatGluSphereSends) {
    // Window x carries a coordinate without rounding: the projection scales by 1/8 and the
    // viewport by 8 (window y and depth are rounded on the way). Passes with y or z swapped
    // into x bring those out unchanged as well; the normals come out as texture coordinates
    // (normal-map texture generation).
    glViewport(-8, -8, 16, 16);
    glDisable(GL_CULL_FACE);
    glDisable(GL_LIGHTING);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    for (const TSphereCase& c : SceneSpheres) {
        SCOPED_TRACE(c.Name);
        TSpherePieces pieces;
        pieces.Build(c.Radius, c.Slices, c.Stacks, c.Textured, c.Bands, c.Sectors);
        EXPECT_GE(pieces.PieceCount(), 3u);
        for (int pass = 0; pass < 4; ++pass) {
            glMatrixMode(GL_PROJECTION);
            glLoadIdentity();
            if (pass == 1) {
                const GLfloat swapXY[16] = {0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
                glLoadMatrixf(swapXY);
            } else if (pass == 2) {
                const GLfloat swapXZ[16] = {0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1};
                glLoadMatrixf(swapXZ);
            }
            glScalef(0.125f, 0.125f, 0.125f);
            glMatrixMode(GL_MODELVIEW);
            if (pass == 3) {
                for (const GLenum coord : {GL_S, GL_T, GL_R})
                    glTexGeni(coord, GL_TEXTURE_GEN_MODE, GL_NORMAL_MAP);
                for (const GLenum gen : {GL_TEXTURE_GEN_S, GL_TEXTURE_GEN_T, GL_TEXTURE_GEN_R})
                    glEnable(gen);
            }
            const std::vector<float> glu = Feedback([&] { GluSphere(c); });
            const std::vector<float> ours = Feedback([&] { pieces.DrawAll(); });
            for (const GLenum gen : {GL_TEXTURE_GEN_S, GL_TEXTURE_GEN_T, GL_TEXTURE_GEN_R})
                glDisable(gen);
            ASSERT_GE(Polygons(glu), 2 * c.Slices * (c.Stacks - 1)) << "pass " << pass;
            ExpectSame(glu, ours, "pass " + std::to_string(pass));
        }
        pieces.Release();
    }
}

TEST_F(SpherePieces, CulledViewsKeepEveryFacetThatCanShow) {
    // Back faces culled as in the scene; what survives culling and clipping, with the pieces
    // that the view leaves out never sent, must still be what gluSphere gives.
    glViewport(0, 0, 640, 480);
    glEnable(GL_CULL_FACE);
    glDisable(GL_LIGHTING);
    struct TView {
        const char* Name;
        float Z, TurnY, TurnX;
        float Move[3]; // the sphere's place in globe coordinates
    };
    const TView views[] = {
        {"start view", -15, 20, -10, {0, 0, 0}},
        {"near view", -8, 20, -10, {0, 0, 0}},
        {"very near", -5.6f, -35, 140, {0, 0, 0}},
        {"looking over a pole", -9, 89, 0, {0, 0, 0}},
        {"moon at the edge of the view", -8, 0, 0, {6.5f, 0, -3}},
        {"moon out of view", -8, 0, 0, {0, 19, 5}},
        {"moon behind the camera", -8, 0, 0, {0, 0, 20}},
    };
    for (const TSphereCase& c : SceneSpheres) {
        if (c.Radius < 1) continue; // markers are drawn whole
        TSpherePieces pieces;
        pieces.Build(c.Radius, c.Slices, c.Stacks, c.Textured, c.Bands, c.Sectors);
        for (const TView& v : views) {
            SCOPED_TRACE(std::string(c.Name) + ", " + v.Name);
            glMatrixMode(GL_PROJECTION);
            glLoadIdentity();
            gluPerspective(45.0, 640.0 / 480.0, 0.1, 550.0);
            glMatrixMode(GL_MODELVIEW);
            glLoadIdentity();
            glTranslatef(0, 0, v.Z);
            glRotatef(v.TurnY, 1, 0, 0);
            glRotatef(v.TurnX, 0, 1, 0);
            glTranslatef(v.Move[0], v.Move[1], v.Move[2]);
            glRotatef(-90, 1, 0, 0);
            const std::vector<float> glu = Feedback([&] { GluSphere(c); });
            bool sent = false;
            const std::vector<float> ours = Feedback([&] { sent = pieces.Draw(); });
            ExpectSame(glu, ours, "culled");
            EXPECT_EQ(sent, !glu.empty());
            // And the culling does leave much of the sphere out.
            glDisable(GL_CULL_FACE);
            const int all = Polygons(Feedback([&] { GluSphere(c); }));
            const int kept = Polygons(Feedback([&] { pieces.Draw(); }));
            glEnable(GL_CULL_FACE);
            if (v.Move[0] == 0 && v.Move[1] == 0 && v.Move[2] == 0) {
                EXPECT_LT(kept, all * 6 / 10) << kept << " of " << all;
            }
        }
        pieces.Release();
    }
}

// The area of the quad of a strip that begins at vertex v.
double QuadArea(const TSphereMesh& mesh, GLint v) {
    const auto at = [&](GLint i) { return mesh.Positions[static_cast<std::size_t>(i)]; };
    const auto half = [](const TVertex& a, const TVertex& b, const TVertex& c) {
        const double ux = b.X - a.X, uy = b.Y - a.Y, uz = b.Z - a.Z;
        const double vx = c.X - a.X, vy = c.Y - a.Y, vz = c.Z - a.Z;
        const double x = uy * vz - uz * vy, y = uz * vx - ux * vz, z = ux * vy - uy * vx;
        return std::sqrt(x * x + y * y + z * z) / 2;
    };
    return half(at(v), at(v + 1), at(v + 3)) + half(at(v), at(v + 3), at(v + 2));
}

TEST(SpherePieceBounds, PiecesWithinAnAngleHaveEveryVertexThere) {
    // Directions north and south, east and west, on a pole and between the pole and the
    // seam; the half-sphere (a light's or the sun's horizon) and a narrower cap.
    const TSphereMesh mesh = MakeSphereMesh(5.0, 128, 128, true);
    const std::vector<TSpherePiece> pieces = MakeSpherePieces(mesh, 4, 4);
    const TVertex directions[] = {{1, 0, 0},        {-1, 0, 0},        {0, 1, 0},
                                  {0, -1, 0},       {0, 0, 1},         {0, 0, -1},
                                  {0.3f, -2, 1.4f}, {0.3f, -2, -1.4f}, {0, 0, 0.1f}};
    for (const double angle : {M_PI / 2, M_PI / 6}) {
        for (const TVertex& d : directions) {
            SCOPED_TRACE(std::to_string(d.X) + " " + std::to_string(d.Y) + " " +
                         std::to_string(d.Z) + ", angle " + std::to_string(angle));
            const double dl = std::sqrt(d.X * d.X + d.Y * d.Y + d.Z * d.Z);
            double within = 0, all = 0; // area of the pieces
            for (const TSpherePiece& piece : pieces) {
                double area = 0;
                for (GLint v = piece.First; v + 3 < piece.First + piece.Count; v += 2)
                    area += QuadArea(mesh, v);
                all += area;
                if (!PieceWithin(piece, d, angle)) continue;
                within += area;
                for (GLint i = piece.First; i < piece.First + piece.Count; ++i) {
                    const TVertex& p = mesh.Positions[static_cast<std::size_t>(i)];
                    const double cosine = (p.X * d.X + p.Y * d.Y + p.Z * d.Z) /
                                          (dl * std::sqrt(p.X * p.X + p.Y * p.Y + p.Z * p.Z));
                    ASSERT_GE(cosine, std::cos(angle)) << "vertex " << i;
                }
            }
            // Most of the cap is known to be there: the bounds are tight.
            EXPECT_GT(within / all, 0.5 * (1 - std::cos(angle)) / 2);
        }
    }
    // No direction, or a piece without known bounds, tells nothing.
    EXPECT_FALSE(PieceWithin(pieces.front(), TVertex{0, 0, 0}, M_PI));
    TSpherePiece unknown;
    unknown.Spread = static_cast<float>(M_PI);
    EXPECT_FALSE(PieceWithin(unknown, TVertex{1, 0, 0}, M_PI));
}

} // namespace
} // namespace nimbora
