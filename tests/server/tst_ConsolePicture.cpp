// SPDX-License-Identifier: MIT
// The headless host's --send-picture: a newcomer receives the host's canvas as draw records
// right after its join's answer, and without the option nothing more is kept or sent.
#include "base/PixelCanvas.h"
#include "net/PictureSender.h"
#include "net/SessionHost.h"
#include "net/core/DrawPacket.h"
#include "server/ConsoleView.h"
#include "tests/support/HeadlessHost.h"
#include "tests/support/RawPeer.h"

#include <QTest>

#include <memory>

namespace {

// Strokes from far outside, a clear, then more strokes: what the host's canvas must end with.
const QByteArray kStrokes = "{10}-30000;5;30000;300;255;\r\n"
                            "{11}\r\n"
                            "{10}0;0;248;353;65280;\r\n"
                            "{10}247;-100;-5;352;16711680;\r\n"
                            "{10}20;40;200;40;0;\r\n"
                            "{10}20;41;200;41;0;\r\n"
                            "{10}100;-32768;101;32767;123456;\r\n";

// Applies every "{10}" and "{11}" line of szLines to canvas, counting the records in nRecords.
void Apply(zaplo::PixelCanvas& canvas, const QByteArray& szLines, int& nRecords) {
    for (const QByteArray& line : szLines.split('\n')) {
        const QByteArray text = line.trimmed();
        if (text.startsWith("{10}")) {
            const auto record = zaplo::ReadDrawPacket(text.mid(4).toStdString());
            QVERIFY(record);
            canvas.DrawSegment(record->sx, record->sy, record->dx, record->dy, record->clr);
            ++nRecords;
        } else if (text == "{11}") {
            canvas.Erase();
        }
    }
}

bool Same(const zaplo::PixelCanvas& a, const zaplo::PixelCanvas& b) {
    for (int y = 0; y < zaplo::PixelCanvas::kHeight; ++y) {
        if (!std::ranges::equal(a.Row(y), b.Row(y))) {
            return false;
        }
    }
    return true;
}

struct Host {
    explicit Host(bool bSendPicture) {
        state.onEnd = nullptr;
        state.szNick = "hub";
        state.nPort = FreeLowPort();
        state.szListenHost = "127.0.0.1";
        state.nMode = zaplo::Mode::Server;
        view = std::make_unique<zaplo::ConsoleView>(nullptr, bSendPicture);
        console = std::make_unique<zaplo::SessionHost>(state, *view);
        console->SetSendPicture(bSendPicture);
        console->Start();
    }
    std::unique_ptr<RawPeer> Join(const QByteArray& szNick) {
        auto peer = std::make_unique<RawPeer>(static_cast<uint16_t>(state.nPort));
        if (peer->WaitState(QTcpSocket::ConnectedState)) {
            peer->Send("{2}" + szNick + "\r\n");
        }
        return peer;
    }
    zaplo::AppState state;
    std::unique_ptr<zaplo::ConsoleView> view;
    std::unique_ptr<zaplo::SessionHost> console;
};

} // namespace

class ConsolePictureTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void newcomerReceivesTheCanvasAfterItsAnswer_data() {
        QTest::addColumn<bool>("bSendPicture");
        QTest::newRow("--send-picture") << true;
        QTest::newRow("without") << false;
    }
    void newcomerReceivesTheCanvasAfterItsAnswer() {
        QFETCH(bool, bSendPicture);
        Host host(bSendPicture);
        QVERIFY(host.console->Listening());
        // Without the option nothing is kept.
        QCOMPARE(host.view->Canvas() != nullptr, bSendPicture);
        QCOMPARE(host.console->SendsPicture(), bSendPicture);
        auto ann = host.Join("ann");
        QCOMPARE(ann->TakeThrough("{8}"), QByteArray("{9}ann has joined!\r\n{8}hub;ann;\r\n"));
        // ann's echoed chat line comes after her strokes are on the host's canvas.
        ann->Send(kStrokes + "{1}{ann}drawn\r\n");
        QVERIFY(ann->TakeThrough("{1}{ann}drawn\r\n").endsWith("{1}{ann}drawn\r\n"));
        if (!bSendPicture) {
            auto bob = host.Join("bob");
            QVERIFY(bob->TakeThrough("{8}").endsWith("{8}hub;ann;bob;\r\n"));
            ann->Send("{1}{ann}welcome\r\n");
            QCOMPARE(bob->TakeThrough("{1}{ann}welcome\r\n"), QByteArray("{1}{ann}welcome\r\n"));
            return;
        }
        zaplo::PixelCanvas expected;
        int nRecords = 0;
        Apply(expected, kStrokes, nRecords);
        QVERIFY(Same(*host.view->Canvas(), expected));
        QVERIFY(!Same(expected, zaplo::PixelCanvas()));

        auto bob = host.Join("bob");
        QTRY_VERIFY(host.console->PictureIdle() && bob->got.contains("{10}"));
        // What ann says now reaches bob after the whole picture.
        ann->Send("{1}{ann}welcome\r\n");
        const QByteArray got = bob->TakeThrough("{1}{ann}welcome\r\n");
        const QByteArray answer = "{9}bob has joined!\r\n{8}hub;ann;bob;\r\n";
        QVERIFY2(got.startsWith(answer), got.left(200).constData());
        QVERIFY(got.endsWith("{1}{ann}welcome\r\n"));
        const QByteArray picture = got.mid(answer.size(), got.size() - answer.size() - 17);
        zaplo::PixelCanvas drawn;
        nRecords = 0;
        Apply(drawn, picture, nRecords);
        QCOMPARE(picture.count("\r\n"), nRecords); // nothing but records
        QCOMPARE(static_cast<std::size_t>(nRecords), host.console->PictureRecordsSent());
        QVERIFY(Same(drawn, *host.view->Canvas()));
    }
};

QTEST_GUILESS_MAIN(ConsolePictureTest)
#include "tst_ConsolePicture.moc"
