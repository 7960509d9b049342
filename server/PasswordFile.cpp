// SPDX-License-Identifier: MIT
#include "server/PasswordFile.h"

#include <QFile>

namespace zaplo {

std::optional<std::string> PasswordFile::Read(const std::string& szPath, std::string& szError) {
    QFile file(QString::fromStdString(szPath));
    if (!file.open(QIODevice::ReadOnly)) {
        szError = "cannot read " + szPath + ": " + file.errorString().toStdString();
        return std::nullopt;
    }
    // Enough for the longest password with its CR LF (readLine keeps one byte of the size for
    // a terminating zero); more shows a line that is too long.
    QByteArray line = file.readLine(static_cast<qint64>(kMaxBytes) + 3);
    if (line.endsWith('\n')) {
        line.chop(line.endsWith("\r\n") ? 2 : 1);
    }
    if (static_cast<std::size_t>(line.size()) > kMaxBytes) {
        szError = szPath + ": the password is longer than " + std::to_string(kMaxBytes) + " bytes";
        return std::nullopt;
    }
    if (line.isEmpty()) {
        szError = szPath + ": the first line, the password, is empty";
        return std::nullopt;
    }
    return line.toStdString();
}

} // namespace zaplo
