// SPDX-License-Identifier: MIT
#pragma once

#include "net/AddressPrefix.h"

#include <string>
#include <string_view>
#include <vector>

namespace zaplo {

// A ban file: one address or prefix a line ("192.0.2.7", "10.0.0.0/8", "2001:db8:1:2::/64"),
// "#" starting a comment, blank lines skipped. A line that is none of these is reported with its
// number and skipped; the rest still count.
class BanFile {
public:
    struct BadLine {
        int nLine = 0; // 1-based
        std::string szText;
    };

    // Reads the file's text.
    static BanFile Read(std::string_view szText);
    // Reads the file at szPath (UTF-8); false in bOpened when it cannot be read.
    static BanFile Load(const std::string& szPath, bool& bOpened);

    const std::vector<AddressPrefix>& Prefixes() const { return prefixes_; }
    const std::vector<BadLine>& BadLines() const { return bad_; }
    // "line 3: not an address or prefix: 10.0.0.300" for each bad line.
    std::vector<std::string> Complaints() const;

private:
    std::vector<AddressPrefix> prefixes_;
    std::vector<BadLine> bad_;
};

} // namespace zaplo
