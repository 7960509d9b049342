// SPDX-License-Identifier: MIT
// What the user sees of a server certificate nobody vouches for: the real dialog, offscreen,
// alone and in a client's join, answered by clicking its buttons.
#include "tests/tls/TlsParty.h"

#include "net/LinkSettings.h"
#include "ui/connect/frmCertificate.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace {

using zaplo::CertificateNote;
using zaplo::frmCertificate;

CertificateNote Note(CertificateNote::Kind kind) {
    CertificateNote note;
    note.kind = kind;
    note.szHost = "example.org:5201";
    note.szFingerprint = "AB:" + std::string(93, '1');
    note.szKnown = kind == CertificateNote::Kind::Ask ? "" : "CD:" + std::string(93, '2');
    note.szSubject = "<b>evil</b> & <a href='x'>co</a>";
    note.szIssuer = "<i>self</i>";
    note.szValidity = "2026-01-01T00:00:00Z to 2027-01-01T00:00:00Z";
    note.szProblems = "The certificate is self-signed, and untrusted";
    note.szStore = "/home/u/.local/share/Zaplo/known_hosts";
    return note;
}

// What one certificate dialog showed, and the button clicked in it.
struct Seen {
    QString fingerprint;
    QString known;
    QString text;
    bool bAcceptOffered = false;
};

// Clicks the button named szButton in the next certificate dialog shown modally.
void AnswerNext(const char* szButton, std::vector<Seen>& seen) {
    auto* poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, [poll, szButton, &seen] {
        auto* dialog = qobject_cast<frmCertificate*>(QApplication::activeModalWidget());
        if (dialog == nullptr) {
            return;
        }
        Seen shown;
        shown.fingerprint = dialog->findChild<QLineEdit*>(QStringLiteral("txtFingerprint"))->text();
        if (auto* known = dialog->findChild<QLineEdit*>(QStringLiteral("txtKnown"))) {
            shown.known = known->text();
        }
        shown.text = dialog->findChild<QLabel*>(QStringLiteral("lblCertificate"))->text();
        shown.bAcceptOffered =
            dialog->findChild<QPushButton*>(QStringLiteral("btnAccept")) != nullptr;
        seen.push_back(shown);
        dialog->findChild<QPushButton*>(QString::fromLatin1(szButton))->click();
        poll->deleteLater();
        poll->stop();
    });
    poll->start(10);
}

} // namespace

class CertificatePromptTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { qputenv("XDG_DATA_HOME", data_.path().toUtf8()); }

    void askShowsThePeersTextsPlainAndRefusingIsTheDefault() {
        const CertificateNote note = Note(CertificateNote::Kind::Ask);
        frmCertificate dialog(note);
        auto* fingerprint = dialog.findChild<QLineEdit*>(QStringLiteral("txtFingerprint"));
        QVERIFY(fingerprint && fingerprint->isReadOnly());
        QCOMPARE(fingerprint->text().toStdString(), note.szFingerprint);
        QVERIFY(!dialog.findChild<QLineEdit*>(QStringLiteral("txtKnown")));
        // Every label is plain text: the certificate's markup shows as typed.
        bool bSubjectShown = false;
        for (const QLabel* label : dialog.findChildren<QLabel*>()) {
            QVERIFY(label->textFormat() == Qt::PlainText || label->text().endsWith(u':'));
            bSubjectShown = bSubjectShown || label->text().toStdString() == note.szSubject;
        }
        QVERIFY(bSubjectShown);
        auto* refuse = dialog.findChild<QPushButton*>(QStringLiteral("btnRefuse"));
        QVERIFY(refuse && refuse->isDefault());

        std::vector<Seen> seen;
        AnswerNext("btnAccept", seen);
        QVERIFY(frmCertificate::Show(note));
        AnswerNext("btnRefuse", seen);
        QVERIFY(!frmCertificate::Show(note));
        QCOMPARE(seen.size(), std::size_t{2});
        QVERIFY(seen[0].bAcceptOffered);
        QVERIFY(seen[0].text.contains(QStringLiteral("example.org:5201")));
        QVERIFY(seen[0].text.contains(QString::fromStdString(note.szStore)));
    }

    void refusalNamesBothFingerprintsAndOffersNoAccept() {
        for (const auto kind : {CertificateNote::Kind::Changed, CertificateNote::Kind::NotPinned}) {
            const CertificateNote note = Note(kind);
            std::vector<Seen> seen;
            AnswerNext("btnRefuse", seen);
            QVERIFY(!frmCertificate::Show(note));
            QCOMPARE(seen.size(), std::size_t{1});
            QVERIFY(!seen[0].bAcceptOffered);
            QCOMPARE(seen[0].fingerprint.toStdString(), note.szFingerprint);
            QCOMPARE(seen[0].known.toStdString(), note.szKnown);
            QVERIFY(seen[0].text.startsWith(QStringLiteral("Not joined")));
        }
    }

    void joinAsksThroughTheDialogAndRefusesAChangedCertificate() {
        if (!TestCertificates::Available() || !QSslSocket::supportsSsl()) {
            QSKIP("needs the openssl command and Qt's OpenSSL backend");
        }
        TestCertificates certs;
        QVERIFY(certs.SelfSigned(QStringLiteral("first")) &&
                certs.SelfSigned(QStringLiteral("second")));
        const std::string szFirst =
            TestCertificates::Fingerprint(certs.Cert(QStringLiteral("first")));
        const std::string szSecond =
            TestCertificates::Fingerprint(certs.Cert(QStringLiteral("second")));
        const auto show = [](const CertificateNote& note) { return frmCertificate::Show(note); };
        std::vector<Seen> seen;

        auto server = TlsServer(certs, QStringLiteral("first"));
        auto ann = TlsClient(*server, "ann");
        ann->state.onCertificate = show;
        AnswerNext("btnAccept", seen);
        ann->Start();
        QTRY_COMPARE(server->UserRows(), (Lines{"host", "ann"}));
        QCOMPARE(seen.size(), std::size_t{1});
        QCOMPARE(seen[0].fingerprint.toStdString(), szFirst);
        QVERIFY(QFile::exists(zaplo::LinkSettings::KnownHostsPath()));

        const int16_t nPort = server->state.nPort;
        server.reset();
        auto other = TlsServer(certs, QStringLiteral("second"), nPort);
        auto bob = TlsClient(*other, "bob");
        bob->state.onCertificate = show;
        AnswerNext("btnRefuse", seen);
        bob->Start();
        QVERIFY(bob->Has("failed"));
        QCOMPARE(seen.size(), std::size_t{2});
        QVERIFY(!seen[1].bAcceptOffered);
        QCOMPARE(seen[1].known.toStdString(), szFirst);
        QCOMPARE(seen[1].fingerprint.toStdString(), szSecond);
        QCOMPARE(other->UserRows(), (Lines{"host"}));
    }

private:
    QTemporaryDir data_;
};

QTEST_MAIN(CertificatePromptTest)
#include "tst_CertificatePrompt.moc"
