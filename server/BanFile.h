// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zaplo {

// Addresses and prefixes refused from the start, one a line ("192.0.2.7", "10.0.0.0/8",
// "2001:db8:1:2::/64"); "#" starts a comment, blank lines are skipped.
class BanFile {
public:
    struct Entry {
        int nLine = 0;
        std::string szText;
    };

    // The entries in file order, or nothing and a one-line reason when the file cannot be read.
    static std::optional<std::vector<Entry>> Read(const std::string& szPath, std::string& szError);
    // Hands every entry to addBan (false: not an address or prefix) and gives one line per
    // entry refused, naming the file and the line: nothing when all were taken.
    static std::vector<std::string> Apply(const std::vector<Entry>& entries,
                                          const std::string& szPath,
                                          const std::function<bool(const std::string&)>& addBan);
};

} // namespace zaplo
