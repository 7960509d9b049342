// SPDX-License-Identifier: MIT
#include <QImage>
#include <QString>

#include <gtest/gtest.h>

namespace {

// Linking the library is enough: its pictures load with no set-up call.
TEST(Assets, PicturesLoadFromTheLinkedResources) {
    for (const char* name : {"background", "banner", "planet", "btnserver", "btnclient", "logo4",
                             "logo5", "logo6", "btnok", "btncancel", "icon"}) {
        const QString path = QStringLiteral(":/assets/%1.png").arg(QLatin1String(name));
        EXPECT_FALSE(QImage(path).isNull()) << name;
    }
}

} // namespace
