#include "render/BoundaryLayout.h"

#include "render/Points.h"
#include "resources/Resources.h"

#include <gtest/gtest.h>

#include <cstring>

namespace nimbora {
namespace {

// Bit for bit: the layout goes to OpenGL as it is, so rounding differences would move pixels.
void ExpectSameLayout(const TLineLayout& a, const TLineLayout& b) {
    EXPECT_EQ(std::memcmp(&a.Radius, &b.Radius, sizeof a.Radius), 0);
    ASSERT_EQ(a.Vertices.size(), b.Vertices.size());
    EXPECT_EQ(std::memcmp(a.Vertices.data(), b.Vertices.data(), a.Vertices.size() * sizeof(TVertex)),
              0);
    ASSERT_EQ(a.Levels.size(), b.Levels.size());
    for (std::size_t i = 0; i < a.Levels.size(); ++i) {
        const TLineLevel &x = a.Levels[i], &y = b.Levels[i];
        EXPECT_EQ(std::memcmp(&x.Tolerance, &y.Tolerance, sizeof x.Tolerance), 0) << i;
        EXPECT_EQ(x.Vertices, y.Vertices) << i;
        ASSERT_EQ(x.Chunks.size(), y.Chunks.size()) << i;
        for (std::size_t k = 0; k < x.Chunks.size(); ++k) {
            const TLineChunk &c = x.Chunks[k], &d = y.Chunks[k];
            const float cf[] = {c.Centre.X, c.Centre.Y, c.Centre.Z, c.Reach};
            const float df[] = {d.Centre.X, d.Centre.Y, d.Centre.Z, d.Reach};
            ASSERT_TRUE(c.First == d.First && c.Count == d.Count &&
                        std::memcmp(cf, df, sizeof cf) == 0)
                << i << " " << k;
        }
    }
}

TEST(BoundaryLayout, TheBuiltLayoutIsTheOneLaidOutFromTheShippedLines) {
    InitNimboraResources();
    std::vector<std::vector<TPolyline>> resources;
    for (const char* resource : BoundaryResources)
        resources.push_back(ReadPolylineResource(QString::fromLatin1(resource)));
    const TLineLayout computed = LayOutBoundaries(resources);
    ASSERT_EQ(computed.Levels.size(), BoundaryTolerances.size() + 1);
    EXPECT_EQ(computed.Levels[0].Vertices, 144455u);
    const std::optional<TLineLayout> built = ReadLineLayout(BuiltBoundaryLayout());
    ASSERT_TRUE(built);
    ExpectSameLayout(*built, computed);
}

TEST(BoundaryLayout, StoredBytesReadBackOrNotAtAll) {
    // Two strips, the second cut into chunks; values that do not survive a trip through text.
    std::vector<TVertex> v;
    for (int i = 0; i < 140; ++i)
        v.push_back(SpherePoint(5.02f, 0.1 * i + 1e-7, i < 70 ? 0.3 * i : -0.3 * i));
    const TLineLayout layout = LayOutLines(v, {{0, 70}, {70, 70}}, 5.02f, {1.0 / 3, 0.7});
    const std::vector<std::uint8_t> bytes = StoreLineLayout(layout);
    const std::optional<TLineLayout> back = ReadLineLayout(bytes);
    ASSERT_TRUE(back);
    ExpectSameLayout(*back, layout);

    // Cut short anywhere, one byte too many, or nothing at all.
    for (std::size_t size = 0; size < bytes.size(); ++size)
        ASSERT_FALSE(ReadLineLayout(std::span(bytes).first(size))) << size;
    std::vector<std::uint8_t> longer = bytes;
    longer.push_back(0);
    EXPECT_FALSE(ReadLineLayout(longer));

    // Damaged: another tag, counts beyond the bytes, a chunk reaching past the vertices.
    const auto chunkAt = bytes.size() - 24; // the last chunk: first, count, centre, reach
    const auto last = layout.Levels.back().Chunks.back();
    const auto total = static_cast<std::int32_t>(layout.Vertices.size());
    struct TCase {
        const char* What;
        std::size_t At;
        std::int64_t Value;
        int Size;
    } cases[] = {
        {"tag", 0, 0x314e424c, 4},
        {"vertex count", 8, 1LL << 40, 8},
        {"level count", 16, 1LL << 40, 8},
        {"chunks of a level", 24 + 16, 1LL << 40, 8},
        {"first", chunkAt, total - last.Count + 1, 4},
        {"negative first", chunkAt, -1, 4},
        {"count", chunkAt + 4, total - last.First + 1, 4},
    };
    for (const TCase& c : cases) {
        std::vector<std::uint8_t> damaged = bytes;
        std::memcpy(damaged.data() + c.At, &c.Value, static_cast<std::size_t>(c.Size));
        EXPECT_FALSE(ReadLineLayout(damaged)) << c.What;
    }
    // At the limit: the last chunk ending on the last vertex is taken.
    std::vector<std::uint8_t> edge = bytes;
    const std::int32_t first = total - last.Count;
    std::memcpy(edge.data() + chunkAt, &first, 4);
    ASSERT_TRUE(ReadLineLayout(edge));
    EXPECT_EQ(ReadLineLayout(edge)->Levels.back().Chunks.back().First, first);
}

} // namespace
} // namespace nimbora
