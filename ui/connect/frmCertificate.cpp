// SPDX-License-Identifier: MIT
#include "ui/connect/frmCertificate.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace zaplo {

namespace {

QString Utf8(const std::string& szText) {
    return QString::fromUtf8(szText.data(), static_cast<qsizetype>(szText.size()));
}

// What a certificate says of itself is the peer's text: shown plain, and only so much of it.
constexpr qsizetype kMaxShown = 400;

QLabel* PlainLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(
        text.size() > kMaxShown ? text.left(kMaxShown) + QStringLiteral("\u2026") : text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

} // namespace

frmCertificate::frmCertificate(const CertificateNote& note, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmCertificate"));
    setWindowTitle(QStringLiteral("Zaplo"));
    setModal(true);
    setMinimumWidth(560);
    auto* layout = new QVBoxLayout(this);
    lblText_ = PlainLabel(Explanation(note), this);
    lblText_->setObjectName(QStringLiteral("lblCertificate"));
    layout->addWidget(lblText_);

    auto* form = new QFormLayout();
    const bool bAsk = note.kind == CertificateNote::Kind::Ask;
    const QString offered =
        bAsk ? QStringLiteral("SHA-256 fingerprint:") : QStringLiteral("Shown now:");
    QLineEdit* fingerprint = FingerprintBox(QStringLiteral("txtFingerprint"), note.szFingerprint);
    form->addRow(offered, fingerprint);
    if (!bAsk) {
        const QString known = note.kind == CertificateNote::Kind::Changed
                                  ? QStringLiteral("Accepted before:")
                                  : QStringLiteral("Asked for:");
        form->addRow(known, FingerprintBox(QStringLiteral("txtKnown"), note.szKnown));
    }
    form->addRow(QStringLiteral("Issued to:"), PlainLabel(Utf8(note.szSubject), this));
    form->addRow(QStringLiteral("Issued by:"), PlainLabel(Utf8(note.szIssuer), this));
    form->addRow(QStringLiteral("Valid:"), PlainLabel(Utf8(note.szValidity), this));
    if (!note.szProblems.empty()) {
        form->addRow(QStringLiteral("Not vouched for:"), PlainLabel(Utf8(note.szProblems), this));
    }
    layout->addLayout(form);

    auto* buttons = new QDialogButtonBox(this);
    if (bAsk) {
        btnAccept_ = buttons->addButton(QStringLiteral("&Accept"), QDialogButtonBox::AcceptRole);
        btnAccept_->setObjectName(QStringLiteral("btnAccept"));
        btnAccept_->setAutoDefault(false);
    }
    btnRefuse_ = buttons->addButton(bAsk ? QStringLiteral("&Refuse") : QStringLiteral("&Close"),
                                    QDialogButtonBox::RejectRole);
    btnRefuse_->setObjectName(QStringLiteral("btnRefuse"));
    // Enter refuses: accepting takes a deliberate click.
    btnRefuse_->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    // The fingerprint first: what the user compares, ready to be selected and copied.
    fingerprint->setFocus();
}

QLineEdit* frmCertificate::FingerprintBox(const QString& name, const std::string& szFingerprint) {
    auto* box = new QLineEdit(Utf8(szFingerprint), this);
    box->setObjectName(name);
    box->setReadOnly(true);
    box->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    box->setMinimumWidth(box->fontMetrics().horizontalAdvance(box->text()) + 16);
    box->setCursorPosition(0);
    return box;
}

QString frmCertificate::Explanation(const CertificateNote& note) const {
    const QString host = Utf8(note.szHost);
    switch (note.kind) {
    case CertificateNote::Kind::Changed:
        return QStringLiteral(
                   "Not joined: the certificate of %1 has changed since you accepted it. Somebody "
                   "may be in between, reading and changing what you send.\n\nIf the host says "
                   "it has a new certificate and tells you its fingerprint, and it is the one "
                   "shown now, remove the line of %1 from %2 and join again.")
            .arg(host, Utf8(note.szStore));
    case CertificateNote::Kind::NotPinned:
        return QStringLiteral("Not joined: %1 shows a certificate other than the one asked for "
                              "with --tls-fingerprint.")
            .arg(host);
    case CertificateNote::Kind::Ask:
        break;
    }
    return QStringLiteral("%1 shows a certificate that this computer does not vouch for. Accept "
                          "it only if its fingerprint is the one the host gave you. An accepted "
                          "certificate is remembered for %1 (in %2), so you are not asked again; "
                          "a different one later is refused.")
        .arg(host, Utf8(note.szStore));
}

bool frmCertificate::Show(const CertificateNote& note, QWidget* parent) {
    frmCertificate dialog(note, parent);
    const bool bAccepted = dialog.exec() == QDialog::Accepted;
    return bAccepted && note.kind == CertificateNote::Kind::Ask;
}

} // namespace zaplo
