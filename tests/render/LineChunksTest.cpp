#include "render/LineChunks.h"
#include "render/Points.h"

#include <gtest/gtest.h>

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

} // namespace
} // namespace nimbora
