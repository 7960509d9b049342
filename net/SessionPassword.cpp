// SPDX-License-Identifier: MIT
#include "net/SessionPassword.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QMessageAuthenticationCode>
#include <QRandomGenerator>

#include <algorithm>
#include <array>
#include <utility>

namespace zaplo {

namespace {

QByteArray Bytes(std::string_view szText) {
    return QByteArray(szText.data(), static_cast<qsizetype>(szText.size()));
}

// Equal texts of the same length, looking at every byte whatever it holds.
bool SameInConstantTime(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false; // the length is no secret: every answer has the same one
    }
    unsigned char nDiffer = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        nDiffer |= static_cast<unsigned char>(a[i] ^ b[i]);
    }
    return nDiffer == 0;
}

} // namespace

SessionPassword::SessionPassword(std::string szPassword) : szPassword_(std::move(szPassword)) {}

std::string SessionPassword::NewChallenge() {
    std::array<quint32, kChallengeBytes / sizeof(quint32)> words{};
    QRandomGenerator::system()->fillRange(words.data(), static_cast<qsizetype>(words.size()));
    const QByteArray raw(reinterpret_cast<const char*>(words.data()),
                         static_cast<qsizetype>(kChallengeBytes));
    return raw.toHex().toStdString();
}

bool SessionPassword::IsChallenge(std::string_view szChallenge) {
    return szChallenge.size() == kChallengeDigits && std::ranges::all_of(szChallenge, [](char ch) {
               return (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'f');
           });
}

std::string SessionPassword::AnswerFor(std::string_view szPassword, std::string_view szChallenge) {
    return QMessageAuthenticationCode::hash(Bytes(szChallenge), Bytes(szPassword),
                                            QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

bool SessionPassword::Check(std::string_view szChallenge, std::string_view szAnswer) const {
    const std::string szExpected = AnswerFor(szPassword_, szChallenge);
    return SameInConstantTime(szExpected, szAnswer);
}

} // namespace zaplo
