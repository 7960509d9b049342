#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace zaplo {

// The rows of the user list in the order they were added. On the server every row belongs to a
// slot (0 = the server's own user), so a departing client's rows can be found and removed; on a
// client the slot is only a placeholder. Nicknames are kept as the bytes that arrived.
//
// A slot without rows is told at once (a count per slot); a slot's first row is found by a scan
// over the slot numbers alone, which sit packed apart from the nicknames.
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
    void Clear();
    std::size_t Size() const { return rows_.size(); }

    std::vector<std::string> Names() const;
    const std::vector<Row>& Rows() const { return rows_; }

    // Index of the first row of the slot.
    std::optional<std::size_t> RowOf(int16_t iSlot) const;

private:
    std::vector<Row> rows_;
    std::vector<int16_t> slots_;                      // rows_[i].iSlot, packed
    std::unordered_map<int16_t, std::size_t> counts_; // rows per slot, only slots with rows
};

} // namespace zaplo
