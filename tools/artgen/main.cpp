// SPDX-License-Identifier: MIT
// Writes the program's pictures into the folder named on the command line. Every picture is drawn
// from fixed seeds, so running it again gives the same files.
#include "tools/artgen/Artwork.h"
#include "tools/artgen/BackgroundArt.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QString>

#include <cstdio>
#include <utility>
#include <vector>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QStringList args = QGuiApplication::arguments();
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: zaplo_artgen <output folder>\n");
        return 2;
    }
    const QDir folder(args.at(1));
    if (!QDir().mkpath(folder.filePath(QStringLiteral("icons")))) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(folder.path()));
        return 1;
    }
    using zaplo::PaintDialogButton;
    using zaplo::PaintWordButton;
    std::vector<std::pair<QString, QImage>> pictures = {
        {QStringLiteral("background.png"), zaplo::PaintBackground()},
        {QStringLiteral("banner.png"), zaplo::PaintBanner()},
        {QStringLiteral("planet.png"), zaplo::PaintPlanet()},
        {QStringLiteral("btnserver.png"), PaintWordButton(QStringLiteral("SERVER"), 125, 40, 19)},
        {QStringLiteral("btnclient.png"), PaintWordButton(QStringLiteral("CLIENT"), 125, 40, 19)},
        {QStringLiteral("logo4.png"), zaplo::PaintLogo(220)},
        {QStringLiteral("logo5.png"), zaplo::PaintLogo(185)},
        {QStringLiteral("logo6.png"), zaplo::PaintLogo(275)},
        {QStringLiteral("btnok.png"), PaintDialogButton(QStringLiteral("OK"), 17)},
        {QStringLiteral("btncancel.png"), PaintDialogButton(QStringLiteral("CANCEL"), 11)},
        {QStringLiteral("icon.png"), zaplo::PaintIcon()},
    };
    // The desktop's icon theme takes the icon at several sizes; these stay out of the program.
    for (int size : {32, 64, 128, 256}) {
        pictures.emplace_back(QStringLiteral("icons/zaplo-%1.png").arg(size),
                              zaplo::PaintIcon(size));
    }
    int failures = 0;
    for (const auto& [name, image] : pictures) {
        const QString path = folder.filePath(name);
        if (!image.save(path, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
