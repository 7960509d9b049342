// SPDX-License-Identifier: MIT
#include "ui/main/UserListBox.h"

#include "ui/common/UiText.h"

namespace zaplo {

UserListBox::UserListBox(QWidget* parent) : QListWidget(parent) {
    setSortingEnabled(false);
    setUniformItemSizes(true); // one text line per row: the view need not measure each
    setFont(SansFont(QStringLiteral("MS Sans Serif"), true));
    QPalette colours = palette();
    colours.setColor(QPalette::Text, QColor(25, 25, 210));
    setPalette(colours);
}

void UserListBox::AddUsername(const std::string& szUser, int16_t iSlot) {
    if (users_.Size() >= kMaxRows) {
        return;
    }
    users_.Add(szUser, iSlot);
    waiting_.append(QString::fromUtf8(szUser.data(), static_cast<qsizetype>(szUser.size())));
    screen_.Added(waiting_.size() == 1);
}

void UserListBox::ShowPending() {
    screen_.Cancel();
    if (!waiting_.isEmpty()) {
        insertItems(count(), waiting_);
        waiting_.clear();
    }
}

void UserListBox::RemoveUsername(int16_t iUser) {
    const std::optional<std::size_t> row = users_.RowOf(iUser);
    if (!row) {
        return;
    }
    users_.Remove(iUser);
    const int nRow = static_cast<int>(*row);
    if (nRow < count()) {
        delete takeItem(nRow);
    } else {
        waiting_.removeAt(nRow - count());
    }
}

void UserListBox::RefreshUserlist() {
    users_.Clear();
    waiting_.clear();
    screen_.Cancel();
    clear();
}

} // namespace zaplo
