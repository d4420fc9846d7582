#include "render/Points.h"

#include <gtest/gtest.h>

namespace nimbora {
namespace {

void ExpectVertex(const TVertex& v, float x, float y, float z, float tol = 1e-5f) {
    EXPECT_NEAR(v.X, x, tol);
    EXPECT_NEAR(v.Y, y, tol);
    EXPECT_NEAR(v.Z, z, tol);
}

TEST(SpherePoint, AxesOfTheGlobe) {
    struct Case {
        double lon, lat;
        float x, y, z;
    };
    const Case cases[] = {
        {0, 0, 0, 0, 5},    {90, 0, 5, 0, 0},    {-90, 0, -5, 0, 0},
        {180, 0, 0, 0, -5}, {-180, 0, 0, 0, -5}, {0, 90, 0, 5, 0},
        {0, -90, 0, -5, 0}, {123, 90, 0, 5, 0},  {45, 0, 3.5355339f, 0, 3.5355339f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "lon " << c.lon << " lat " << c.lat);
        ExpectVertex(SpherePoint(5, c.lon, c.lat), c.x, c.y, c.z);
    }
}

TEST(SpherePoint, MeridianOf180IsTheSameAsMinus180) {
    for (double lat : {-60.0, 0.0, 33.3, 80.0}) {
        const TVertex a = SpherePoint(5.02, 180, lat);
        const TVertex b = SpherePoint(5.02, -180, lat);
        ExpectVertex(a, b.X, b.Y, b.Z);
    }
}

TEST(SpherePoint, LatitudePastThePoleFoldsBackOnTheSameMeridian) {
    // The label of a point at the pole sits at 90.5: same as 89.5, not on the far meridian.
    ExpectVertex(SpherePoint(5.2, 0.5, 90.5), SpherePoint(5.2, 0.5, 89.5).X,
                 SpherePoint(5.2, 0.5, 89.5).Y, SpherePoint(5.2, 0.5, 89.5).Z);
    EXPECT_GT(SpherePoint(5.2, 0.5, 90.5).Z, 0);
}

TEST(DrawPoint, PositionsColourAndNameByKind) {
    struct Case {
        TWpT kind;
        TglColor color;
    };
    const Case cases[] = {{WpTCountry, {1, 0, 0}}, {WpTUser, {0, 1, 0}}, {WpTSpecial, {0, 1, 0}}};
    for (const Case& c : cases) {
        const TDrawPoint p = MakeDrawPoint("Oslo", 59.91, 10.75, c.kind);
        EXPECT_EQ(p.Kind, c.kind);
        EXPECT_EQ(p.Color.R, c.color.R);
        EXPECT_EQ(p.Color.G, c.color.G);
        EXPECT_EQ(p.Color.B, c.color.B);
        EXPECT_EQ(p.RepPoint.Nam, "Oslo");
        EXPECT_DOUBLE_EQ(p.RepPoint.Lat, 59.91);
        EXPECT_DOUBLE_EQ(p.RepPoint.Lon, 10.75);
        const TVertex way = SpherePoint(5.0, 10.75, 59.91);
        const TVertex nam = SpherePoint(5.2, 11.25, 60.41);
        ExpectVertex(p.WayPoint, way.X, way.Y, way.Z, 0);
        ExpectVertex(p.NamPoint, nam.X, nam.Y, nam.Z, 0);
    }
}

TEST(DrawPoint, SpecialPointIsGreenAndNamed) {
    const TDrawPoint p = MakeSpecialPoint();
    EXPECT_EQ(p.Kind, WpTSpecial);
    EXPECT_EQ(p.RepPoint.Nam, SpecialPointName);
    EXPECT_FALSE(p.RepPoint.Nam.empty());
    EXPECT_EQ(p.Color.G, 1);
    EXPECT_EQ(p.Color.R, 0);
}

} // namespace
} // namespace nimbora
