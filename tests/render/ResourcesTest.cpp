#include "resources/Resources.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

TEST(Resources, EveryFileIsEmbeddedWhole) {
    InitNimboraResources();
    InitNimboraResources(); // a second call is harmless
    for (const char* name : {"earth2048.jpg", "earth4096.jpg", "moon.jpg", "sun.jpg", "coast.bin",
                             "island.bin", "nation.bin", "places.csv"}) {
        SCOPED_TRACE(name);
        QFile embedded(QStringLiteral(":/") + QString::fromLatin1(name));
        ASSERT_TRUE(embedded.open(QIODevice::ReadOnly));
        QFile source(QStringLiteral(NIMBORA_SOURCE_DIR "/resources/") + QString::fromLatin1(name));
        ASSERT_TRUE(source.open(QIODevice::ReadOnly));
        EXPECT_EQ(embedded.readAll(), source.readAll());
    }
}

} // namespace
