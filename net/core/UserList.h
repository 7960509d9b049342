// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace zaplo {

// The rows of the user list in the order they were added. On the server every row belongs to a
// slot (0 = the server's own user), so a departing client's rows can be found and removed; on a
// client the slot is only a placeholder. Nicknames are kept as the bytes that arrived.
//
// Adding, removing and finding a slot's row cost the same (up to a logarithm) however long the
// list is: rows stay where they were added, a removed row is only marked, a count tree gives a
// row's index among the rows left, and the marked rows are swept out once they are as many as
// the rows left.
class UserList {
public:
    struct Row {
        std::string szNick;
        int16_t iSlot = 0;
    };

    void Add(const std::string& szNick, int16_t iSlot);
    // Removes the first row of the slot; false when it has none.
    bool Remove(int16_t iSlot);
    std::optional<std::string> Nickname(int16_t iSlot) const;
    // Whether the slot has a row; cheaper than Nickname.
    bool Has(int16_t iSlot) const;
    // Index of the first row of the slot among the rows.
    std::optional<std::size_t> RowOf(int16_t iSlot) const;
    void Clear();
    std::size_t Size() const { return nLive_; }

    std::vector<std::string> Names() const;
    std::vector<Row> Rows() const;

private:
    // Rows left before position nPos (of rows_).
    std::size_t LiveBefore(std::size_t nPos) const;
    void Count(std::size_t nPos, int nDelta);
    void Sweep();

    std::vector<Row> rows_;     // every row added since the last sweep
    std::vector<char> live_;    // 1 for a row still in the list
    std::vector<int32_t> tree_; // Fenwick tree over live_, 1-based
    std::unordered_map<int16_t, std::deque<std::size_t>> bySlot_; // each slot's rows, in order
    std::size_t nLive_ = 0;
};

} // namespace zaplo
