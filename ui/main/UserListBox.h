#pragma once

#include "net/core/UserList.h"

#include <QListWidget>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zaplo {

// The user list box: the rows of a UserList, each shown as its nickname, in the order they were
// added. The two are kept in step, so a row's index is the same in both.
class UserListBox : public QListWidget {
    Q_OBJECT
public:
    explicit UserListBox(QWidget* parent = nullptr);

    void AddUsername(const std::string& szUser, int16_t iSlot);
    // Removes the first row of the slot; nothing when it has none.
    void RemoveUsername(int16_t iUser);
    std::optional<std::string> SlotNickname(int16_t iUser) const { return users_.Nickname(iUser); }
    void RefreshUserlist();
    std::vector<std::string> UserRows() const { return users_.Names(); }
    // The slot of row iRow, or none when there is no such row.
    std::optional<int16_t> RowSlot(int iRow) const {
        const auto& rows = users_.Rows();
        return iRow >= 0 && static_cast<std::size_t>(iRow) < rows.size()
                   ? std::optional<int16_t>(rows[static_cast<std::size_t>(iRow)].iSlot)
                   : std::nullopt;
    }

private:
    UserList users_;
};

} // namespace zaplo
