// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace zaplo {

// A session password kept in a file, so it never shows in a command line or a process list:
// the file's first line without its line end (LF or CR LF).
class PasswordFile {
public:
    // A longer first line is taken for a wrong file rather than a password.
    static constexpr std::size_t kMaxBytes = 1024;

    // The password, or nothing and a one-line reason in szError: the file cannot be read, its
    // first line is empty or too long.
    static std::optional<std::string> Read(const std::string& szPath, std::string& szError);
};

} // namespace zaplo
