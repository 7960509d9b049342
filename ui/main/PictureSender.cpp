#include "ui/main/PictureSender.h"

#include "base/Colour.h"
#include "gfx/QtColour.h"
#include "ui/main/CanvasWidget.h"

namespace zaplo {

PictureSender::PictureSender(const CanvasWidget& canvas, QObject* parent)
    : QObject(parent), canvas_(canvas),
      feed_(CanvasWidget::kInnerHeight, QColorToColour(canvas.Background())) {
    timer_.setObjectName(QStringLiteral("timerSendPicture"));
    timer_.setInterval(kBusyMs);
    connect(&timer_, &QTimer::timeout, this, &PictureSender::Tick);
}

void PictureSender::Start(int16_t iUser) {
    feed_.Start(iUser);
    timer_.start(kBusyMs);
}

void PictureSender::Stop(int16_t iUser) {
    feed_.Stop(iUser);
}

void PictureSender::Tick() {
    // Sending lets events run; a tick inside a tick would send rows twice.
    if (bTicking_) {
        return;
    }
    bTicking_ = true;
    const PictureFeed::RowReader readRow = [this](int y, std::vector<int32_t>& row) {
        const QImage& image = canvas_.Image();
        const auto* pixels = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        row.resize(static_cast<std::size_t>(image.width()));
        for (std::size_t x = 0; x < row.size(); ++x) {
            row[x] = PackColour(qRed(pixels[x]), qGreen(pixels[x]), qBlue(pixels[x]));
        }
    };
    bool bSent = false;
    for (const int16_t iUser : feed_.Slots()) {
        std::size_t nCount = 0;
        std::string szChunk = feed_.NextChunk(iUser, held ? held(iUser) : 0, readRow, &nCount);
        if (szChunk.empty() || !send) {
            continue;
        }
        nRecords_ += nCount;
        nBytes_ += szChunk.size();
        szChunk.resize(szChunk.size() - 2); // the sender ends the last message
        send(szChunk, iUser);
        bSent = true;
    }
    if (feed_.Idle()) {
        timer_.stop();
    } else {
        // Every newcomer still has its last chunk waiting (one may not read at all): look less
        // often until one takes it.
        timer_.setInterval(bSent ? kBusyMs : kWaitingMs);
    }
    bTicking_ = false;
}

} // namespace zaplo
