// SPDX-License-Identifier: MIT
#pragma once

#include "net/ServerLink.h"
#include "net/core/UserList.h"
#include "ui/main/ScreenPacer.h"

#include <QListWidget>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zaplo {

// The user list box: the rows of a UserList, each shown as its nickname, in the order they were
// added. The rows on screen are always the first rows of the list, so a row's index is the same
// in both.
//
// The list holds at most kMaxRows rows, as many as a session can have; a row beyond is not
// added. Rows usually go on screen at once; when a user list arrives in bulk, the rows beyond a
// few milliseconds' work go on screen together a little later, in one insertion.
class UserListBox : public QListWidget {
    Q_OBJECT
public:
    // The server's own user and the most clients it admits.
    static constexpr std::size_t kMaxRows = static_cast<std::size_t>(ServerLink::kMaxSlots) + 1;
    static constexpr int64_t kPaceUs = 40'000;
    static constexpr int64_t kPaceBudgetUs = 10'000;

    explicit UserListBox(QWidget* parent = nullptr);

    void AddUsername(const std::string& szUser, int16_t iSlot);
    // Removes the first row of the slot; nothing when it has none.
    void RemoveUsername(int16_t iUser);
    std::optional<std::string> SlotNickname(int16_t iUser) const { return users_.Nickname(iUser); }
    void RefreshUserlist();
    std::vector<std::string> UserRows() const { return users_.Names(); }
    std::size_t Rows() const { return users_.Size(); }
    // Puts rows that wait on screen now.
    void ShowPending();
    // The slot of row iRow, or none when there is no such row.
    std::optional<int16_t> RowSlot(int iRow) const {
        const auto& rows = users_.Rows();
        return iRow >= 0 && static_cast<std::size_t>(iRow) < rows.size()
                   ? std::optional<int16_t>(rows[static_cast<std::size_t>(iRow)].iSlot)
                   : std::nullopt;
    }

private:
    UserList users_;
    QStringList waiting_; // the last rows of the list, not yet on screen
    ScreenPacer screen_{kPaceUs, kPaceBudgetUs, [this] { ShowPending(); }};
};

} // namespace zaplo
