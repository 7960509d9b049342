#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zaplo {

// The rows of the user list in the order they were added. On the server every row belongs to a
// slot (0 = the server's own user), so a departing client's rows can be found and removed; on a
// client the slot is only a placeholder. Nicknames are kept as the bytes that arrived.
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
    void Clear() { rows_.clear(); }

    std::vector<std::string> Names() const;
    const std::vector<Row>& Rows() const { return rows_; }

private:
    std::vector<Row> rows_;
};

} // namespace zaplo
