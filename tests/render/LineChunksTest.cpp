#include "render/LineChunks.h"
#include "render/Points.h"
#include "render/Scene.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace nimbora {
namespace {

// A line along the equator from longitude `from`, one vertex a degree.
std::vector<TVertex> Equator(int from, int count, float r = 5) {
    std::vector<TVertex> v;
    for (int i = 0; i < count; ++i)
        v.push_back(SpherePoint(r, from + i, 0));
    return v;
}

TEST(LineChunks, StripsSplitAtSharedJointsAndCapsHoldEveryVertex) {
    std::vector<TVertex> v = Equator(0, 10);
    const std::vector<TVertex> second = Equator(100, 3);
    v.insert(v.end(), second.begin(), second.end());
    // A strip reaching past the end and an empty one are left out.
    const auto chunks = MakeLineChunks(v, {{0, 10}, {10, 3}, {12, 5}, {5, 0}}, 4);
    const std::vector<std::pair<int, int>> expected = {{0, 4}, {3, 4}, {6, 4}, {10, 3}};
    ASSERT_EQ(chunks.size(), expected.size());
    for (std::size_t i = 0; i < chunks.size(); ++i) {
        EXPECT_EQ(chunks[i].First, expected[i].first) << i;
        EXPECT_EQ(chunks[i].Count, expected[i].second) << i;
        for (int k = chunks[i].First; k < chunks[i].First + chunks[i].Count; ++k) {
            const TVertex& p = v[static_cast<std::size_t>(k)];
            const TVertex& c = chunks[i].Centre;
            const double cosine = (p.X * c.X + p.Y * c.Y + p.Z * c.Z) / 5;
            EXPECT_LE(std::acos(std::min(1.0, cosine)), chunks[i].Reach) << i << " " << k;
        }
    }
    // Three degrees of arc: half of that around the middle, plus the margin.
    EXPECT_NEAR(chunks[0].Reach, 1.5 * M_PI / 180, 2e-3);
}

TEST(LineChunks, OnlyChunksBehindTheEarthOrOutOfViewAreLeftOut) {
    const float r = 5.02f;
    // Camera over longitude 0 at distance 15; the shell hides beyond about 70 degrees.
    TShellView view;
    view.Camera = SpherePoint(15, 0, 0);
    view.MinCos = std::cos(70 * M_PI / 180);
    struct TCase {
        int Lon;
        bool Shows;
    } cases[] = {{-5, true}, {60, true}, {67, true}, {75, false}, {170, false}, {-80, false}};
    for (const TCase c : cases) {
        const std::vector<TVertex> v = Equator(c.Lon, 5, r); // 4 degrees wide
        const TLineChunk chunk = MakeLineChunks(v, {{0, 5}}, 64).at(0);
        EXPECT_EQ(ChunkMayShow(chunk, r, view), c.Shows) << c.Lon;
    }
    // A narrow field of view sees only what lies near the line of sight.
    view.FieldHalfAngle = 10 * M_PI / 180;
    for (const TCase c : {TCase{-2, true}, TCase{40, false}}) {
        const TLineChunk chunk = MakeLineChunks(Equator(c.Lon, 5, r), {{0, 5}}, 64).at(0);
        EXPECT_EQ(ChunkMayShow(chunk, r, view), c.Shows) << c.Lon;
    }
    // A chunk without a direction (all at the centre) is always sent.
    const TLineChunk centre = MakeLineChunks({TVertex{}, TVertex{}}, {{0, 2}}, 64).at(0);
    EXPECT_TRUE(ChunkMayShow(centre, r, view));
}

// Distance from p to the segment a-b.
double SegmentDistance(const TVertex& p, const TVertex& a, const TVertex& b) {
    const double ux = b.X - a.X, uy = b.Y - a.Y, uz = b.Z - a.Z;
    const double wx = p.X - a.X, wy = p.Y - a.Y, wz = p.Z - a.Z;
    const double uu = ux * ux + uy * uy + uz * uz;
    const double t = uu > 0 ? std::clamp((wx * ux + wy * uy + wz * uz) / uu, 0.0, 1.0) : 0;
    const double dx = wx - t * ux, dy = wy - t * uy, dz = wz - t * uz;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

TEST(LineChunks, CoarserLinesStayWithinTheirToleranceAndKeepTheirEnds) {
    // A coast-like line: a wiggle on top of a wiggle, a vertex every 0.05 degrees, and a spike
    // that must survive any tolerance below its height.
    std::vector<TVertex> v{SpherePoint(5.02f, 0, 0)}; // a strip of one vertex before it
    const int first = 1, count = 400;
    for (int i = 0; i < count; ++i) {
        const double lon = 10 + i * 0.05;
        double lat = 40 + 0.8 * std::sin(i * 0.07) + 0.05 * std::sin(i * 1.3);
        if (i == 250) lat += 1; // about 0.09 units high
        v.push_back(SpherePoint(5.02f, lon, lat));
    }
    std::size_t previous = count + 1;
    for (const double tolerance : {0.0, 0.001, 0.004, 0.016, 0.04}) {
        SCOPED_TRACE(tolerance);
        const std::vector<int> kept = SimplifyStrip(v, first, count, tolerance);
        ASSERT_GE(kept.size(), 2u);
        EXPECT_EQ(kept.front(), first);
        EXPECT_EQ(kept.back(), first + count - 1);
        EXPECT_LE(kept.size(), previous); // coarser never keeps more
        previous = kept.size();
        if (tolerance == 0) {
            EXPECT_EQ(kept.size(), std::size_t(count));
        }
        EXPECT_NE(std::find(kept.begin(), kept.end(), first + 250), kept.end());
        for (std::size_t k = 0; k + 1 < kept.size(); ++k) {
            ASSERT_LT(kept[k], kept[k + 1]);
            for (int i = kept[k] + 1; i < kept[k + 1]; ++i)
                EXPECT_LE(SegmentDistance(v[std::size_t(i)], v[std::size_t(kept[k])],
                                          v[std::size_t(kept[k + 1])]),
                          tolerance)
                    << i;
        }
    }
    EXPECT_LT(previous, 30u);
    // Two vertices stay two; a strip outside the vertices gives nothing.
    EXPECT_EQ(SimplifyStrip(v, 5, 2, 1.0), (std::vector<int>{5, 6}));
    EXPECT_TRUE(SimplifyStrip(v, 300, 200, 0.01).empty());
    EXPECT_TRUE(SimplifyStrip(v, -1, 3, 0.01).empty());
}

TEST(LineChunks, CoarserBoundariesOnlyFromAfarAndWithinAQuarterPixel) {
    // Near views draw every vertex, whatever the panel.
    for (const double distance : {5.5, 8.4, 9.99})
        for (const int height : {240, 480, 2400})
            EXPECT_EQ(BoundaryError(distance, BoundaryRadius, height), 0) << distance;
    // From afar the line may stray, but not a quarter pixel where the shell is nearest.
    for (const double distance : {10.0, 15.0, 60.0})
        for (const int height : {240, 480, 960}) {
            const double error = BoundaryError(distance, BoundaryRadius, height);
            const double pixelsPerUnit =
                height / (2 * std::tan(22.5 * M_PI / 180) * (distance - BoundaryRadius));
            EXPECT_GT(error, 0);
            EXPECT_LE(error * pixelsPerUnit, 0.25 + 1e-9) << distance << " " << height;
            EXPECT_GE(error * pixelsPerUnit, 0.2) << distance << " " << height;
        }
    EXPECT_EQ(BoundaryError(15, BoundaryRadius, 0), 0);
}

} // namespace
} // namespace nimbora
