#include <QImage>
#include <QString>

#include <gtest/gtest.h>

namespace {

struct Picture {
    const char* name;
    int width;
    int height;
};

// The windows load these by name and place them by these sizes.
TEST(Assets, EveryPictureLoadsFromTheResourcesAtItsSize) {
    const Picture pictures[] = {
        {"background.png", 512, 384}, {"banner.png", 410, 55},    {"planet.png", 109, 106},
        {"btnserver.png", 125, 40},   {"btnclient.png", 125, 40}, {"logo4.png", 121, 25},
        {"logo5.png", 121, 25},       {"logo6.png", 121, 25},     {"btnok.png", 50, 35},
        {"btncancel.png", 50, 35},    {"icon.png", 32, 32},
    };
    for (const Picture& p : pictures) {
        SCOPED_TRACE(p.name);
        const QImage image(QStringLiteral(":/assets/") + QString::fromUtf8(p.name));
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.width(), p.width);
        EXPECT_EQ(image.height(), p.height);
    }
}

TEST(Assets, LogoFramesAreDistinctColourings) {
    const QImage a(QStringLiteral(":/assets/logo4.png"));
    const QImage b(QStringLiteral(":/assets/logo5.png"));
    const QImage c(QStringLiteral(":/assets/logo6.png"));
    EXPECT_NE(a, b);
    EXPECT_NE(b, c);
    EXPECT_NE(a, c);
    EXPECT_LE(a.colorCount(), 256);
    EXPECT_GT(a.colorCount(), 0); // stored with a palette of at most 256 colours
}

} // namespace
