// SPDX-License-Identifier: MIT
#pragma once

#include "base/CertificateNote.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace zaplo {

// What the user sees of a server's certificate that the system does not vouch for: its SHA-256
// fingerprint and what it says of itself, to accept or refuse (Ask), or why it was refused
// (Changed: both fingerprints, and what to do if the change is genuine). Everything is plain
// text; the fingerprints are in read-only boxes that can be selected and copied, to compare
// with what the host tells.
class frmCertificate : public QDialog {
    Q_OBJECT
public:
    explicit frmCertificate(const CertificateNote& note, QWidget* parent = nullptr);

    // Shows note modally; true when the user accepted the certificate (Ask only).
    static bool Show(const CertificateNote& note, QWidget* parent = nullptr);

private:
    QLineEdit* FingerprintBox(const QString& name, const std::string& szFingerprint);
    QString Explanation(const CertificateNote& note) const;

    QLabel* lblText_ = nullptr;
    QPushButton* btnAccept_ = nullptr;
    QPushButton* btnRefuse_ = nullptr;
};

} // namespace zaplo
