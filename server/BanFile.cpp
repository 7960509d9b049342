// SPDX-License-Identifier: MIT
#include "server/BanFile.h"

#include "server/PlainLine.h"

#include <QFile>

namespace zaplo {

std::optional<std::vector<BanFile::Entry>> BanFile::Read(const std::string& szPath,
                                                         std::string& szError) {
    QFile file(QString::fromStdString(szPath));
    if (!file.open(QIODevice::ReadOnly)) {
        szError = "cannot read " + szPath + ": " + file.errorString().toStdString();
        return std::nullopt;
    }
    std::vector<Entry> entries;
    int nLine = 0;
    while (!file.atEnd()) {
        ++nLine;
        QByteArray line = file.readLine();
        if (const qsizetype nHash = line.indexOf('#'); nHash >= 0) {
            line.truncate(nHash);
        }
        line = line.trimmed();
        if (!line.isEmpty()) {
            entries.push_back({nLine, line.toStdString()});
        }
    }
    return entries;
}

std::vector<std::string> BanFile::Apply(const std::vector<Entry>& entries,
                                        const std::string& szPath,
                                        const std::function<bool(const std::string&)>& addBan) {
    std::vector<std::string> refused;
    for (const Entry& entry : entries) {
        if (!addBan(entry.szText)) {
            // The line is shown as it is, made printable.
            refused.push_back(szPath + " line " + std::to_string(entry.nLine) +
                              ": not an address or prefix: " + PlainLine::Make(entry.szText, 80));
        }
    }
    return refused;
}

} // namespace zaplo
