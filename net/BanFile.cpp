// SPDX-License-Identifier: MIT
#include "net/BanFile.h"

#include <fstream>
#include <sstream>

namespace zaplo {

namespace {

std::string_view Trimmed(std::string_view szText) {
    const auto bBlank = [](char ch) { return ch == ' ' || ch == '\t' || ch == '\r'; };
    while (!szText.empty() && bBlank(szText.front())) {
        szText.remove_prefix(1);
    }
    while (!szText.empty() && bBlank(szText.back())) {
        szText.remove_suffix(1);
    }
    return szText;
}

} // namespace

BanFile BanFile::Read(std::string_view szText) {
    BanFile file;
    int nLine = 0;
    while (!szText.empty()) {
        ++nLine;
        const std::size_t end = szText.find('\n');
        std::string_view szLine = szText.substr(0, end);
        szText.remove_prefix(end == std::string_view::npos ? szText.size() : end + 1);
        szLine = Trimmed(szLine.substr(0, szLine.find('#')));
        if (szLine.empty()) {
            continue;
        }
        if (const std::optional<AddressPrefix> prefix = AddressPrefix::Parse(szLine)) {
            file.prefixes_.push_back(*prefix);
        } else {
            file.bad_.push_back({nLine, std::string(szLine)});
        }
    }
    return file;
}

BanFile BanFile::Load(const std::string& szPath, bool& bOpened) {
    std::ifstream in(szPath, std::ios::binary);
    bOpened = static_cast<bool>(in);
    if (!bOpened) {
        return {};
    }
    std::ostringstream text;
    text << in.rdbuf();
    return Read(text.str());
}

std::vector<std::string> BanFile::Complaints() const {
    std::vector<std::string> lines;
    lines.reserve(bad_.size());
    for (const BadLine& bad : bad_) {
        lines.push_back("line " + std::to_string(bad.nLine) +
                        ": not an address or prefix: " + bad.szText);
    }
    return lines;
}

} // namespace zaplo
