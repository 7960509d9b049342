#include "ui/main/UserListBox.h"

#include "ui/common/UiText.h"

namespace zaplo {

UserListBox::UserListBox(QWidget* parent) : QListWidget(parent) {
    setSortingEnabled(false);
    setFont(SansFont(QStringLiteral("MS Sans Serif"), true));
    QPalette colours = palette();
    colours.setColor(QPalette::Text, QColor(25, 25, 210));
    setPalette(colours);
}

void UserListBox::AddUsername(const std::string& szUser, int16_t iSlot) {
    users_.Add(szUser, iSlot);
    addItem(QString::fromUtf8(szUser.data(), static_cast<qsizetype>(szUser.size())));
}

void UserListBox::RemoveUsername(int16_t iUser) {
    const std::vector<UserList::Row>& rows = users_.Rows();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].iSlot == iUser) {
            users_.Remove(iUser);
            delete takeItem(static_cast<int>(i));
            return;
        }
    }
}

void UserListBox::RefreshUserlist() {
    users_.Clear();
    clear();
}

} // namespace zaplo
