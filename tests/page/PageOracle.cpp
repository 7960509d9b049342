// SPDX-License-Identifier: MIT
// What the program itself makes of the cases the browser page must agree on: the pixels of line
// segments (the raster, and the main window's canvas widget drawing strokes), received draw
// records, numbers read leniently, what a log keeps and how a line looks in a log box.
//
// Reads one command a line on standard input and answers each with one line:
//   line W H X1 Y1 X2 Y2    the raster's pixels in order: "count x y x y ..."
//   seg SX SY DX DY CLR     the canvas widget draws the segment; no answer
//   erase                   the canvas widget's erase; no answer
//   dump                    the canvas's pixels row by row, each as 6 hex digits RRGGBB
//   record PAYLOAD          a received draw record: "sx sy dx dy clr", or "drop"
//   number TEXT             the lenient reading and its rounding, shortest form each
//   keep LINES BYTES S...   what a log keeps: the oldest lines dropped after each add of size S
//   shown HEX               a log box's screen form of a line given as UTF-16 units in hex
// Runs offscreen; the canvas is the main window's own widget.
#include "base/AppState.h"
#include "base/LineRaster.h"
#include "base/LogKeep.h"
#include "net/core/DrawPacket.h"
#include "net/core/LenientNumber.h"
#include "ui/main/CanvasWidget.h"
#include "ui/main/LogBox.h"

#include <QApplication>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

using namespace zaplo;

namespace {

std::string Shortest(double v) {
    if (std::isnan(v)) {
        return "nan";
    }
    if (std::isinf(v)) {
        return v > 0 ? "inf" : "-inf";
    }
    if (v == 0 && std::signbit(v)) {
        return "-0";
    }
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, v);
    return std::string(buffer, result.ptr);
}

void Line(std::istringstream& in, std::string& out) {
    int w = 0;
    int h = 0;
    int x1 = 0;
    int y1 = 0;
    int x2 = 0;
    int y2 = 0;
    in >> w >> h >> x1 >> y1 >> x2 >> y2;
    std::string pixels;
    const int64_t n = RasterLine(w, h, x1, y1, x2, y2, [&](int x, int y) {
        pixels += ' ';
        pixels += std::to_string(x);
        pixels += ' ';
        pixels += std::to_string(y);
    });
    out = std::to_string(n) + pixels;
}

void Dump(const CanvasWidget& canvas, std::string& out) {
    static const char kHex[] = "0123456789abcdef";
    std::vector<int32_t> row;
    out.clear();
    for (int y = 0; y < CanvasWidget::kInnerHeight; ++y) {
        canvas.ReadRow(y, row);
        for (const int32_t clr : row) {
            // Colour order is red, green, blue in the low, middle and high byte.
            for (const int part : {clr & 0xFF, (clr >> 8) & 0xFF, (clr >> 16) & 0xFF}) {
                out += kHex[part >> 4];
                out += kHex[part & 15];
            }
        }
    }
}

void Record(const std::string& payload, std::string& out) {
    const std::optional<DrawRecord> record = ReadDrawPacket(payload);
    if (!record) {
        out = "drop";
        return;
    }
    out = std::to_string(record->sx) + " " + std::to_string(record->sy) + " " +
          std::to_string(record->dx) + " " + std::to_string(record->dy) + " " +
          std::to_string(record->clr);
}

void Keep(std::istringstream& in, std::string& out) {
    std::size_t nLines = 0;
    std::size_t nBytes = 0;
    in >> nLines >> nBytes;
    LogKeep keep(nLines, nBytes);
    std::size_t nSize = 0;
    out.clear();
    while (in >> nSize) {
        out += std::to_string(keep.Add(nSize));
        out += ' ';
    }
    out += std::to_string(keep.Lines()) + " " + std::to_string(keep.Bytes());
}

void Shown(const std::string& hex, std::string& out) {
    QString line;
    for (std::size_t i = 0; i + 4 <= hex.size(); i += 4) {
        line += QChar(static_cast<char16_t>(std::stoi(hex.substr(i, 4), nullptr, 16)));
    }
    const QString shown = LogBox::Shown(line);
    char unit[8];
    out.clear();
    for (const QChar ch : shown) {
        std::snprintf(unit, sizeof unit, "%04x", static_cast<unsigned>(ch.unicode()));
        out += unit;
    }
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    AppState state;
    CanvasWidget canvas(state);
    std::ios::sync_with_stdio(false);
    std::string command;
    std::string out;
    while (std::getline(std::cin, command)) {
        const std::size_t space = command.find(' ');
        const std::string verb = command.substr(0, space);
        const std::string rest = space == std::string::npos ? "" : command.substr(space + 1);
        std::istringstream in(rest);
        if (verb == "line") {
            Line(in, out);
        } else if (verb == "seg") {
            int sx = 0;
            int sy = 0;
            int dx = 0;
            int dy = 0;
            int32_t clr = 0;
            in >> sx >> sy >> dx >> dy >> clr;
            canvas.DrawSegment(sx, sy, dx, dy, clr);
            continue;
        } else if (verb == "erase") {
            canvas.Erase();
            continue;
        } else if (verb == "dump") {
            Dump(canvas, out);
        } else if (verb == "record") {
            Record(rest, out);
        } else if (verb == "number") {
            const double v = ReadLenientNumber(rest);
            out = Shortest(v) + " " + Shortest(RoundHalfEven(v));
        } else if (verb == "keep") {
            Keep(in, out);
        } else if (verb == "shown") {
            Shown(rest, out);
        } else {
            std::cerr << "unknown command: " << verb << "\n";
            return 2;
        }
        std::cout << out << '\n';
    }
    std::cout.flush();
    return 0;
}
