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
    clock_.start();
    flush_.setSingleShot(true);
    connect(&flush_, &QTimer::timeout, this, [this] {
        const int64_t nStart = NowUs();
        ShowPending();
        const int64_t nNow = NowUs();
        pacer_.DoneBatch(nNow, nNow - nStart);
    });
}

void UserListBox::AddUsername(const std::string& szUser, int16_t iSlot) {
    if (users_.Size() >= kMaxRows) {
        return;
    }
    users_.Add(szUser, iSlot);
    waiting_.append(QString::fromUtf8(szUser.data(), static_cast<qsizetype>(szUser.size())));
    const int64_t nNow = NowUs();
    if (waiting_.size() == 1 && pacer_.TryNow(nNow)) {
        ShowPending();
        pacer_.Spent(NowUs() - nNow);
    } else if (!flush_.isActive()) {
        flush_.start(static_cast<int>((pacer_.WaitUs(nNow) + 999) / 1000));
    }
}

int64_t UserListBox::NowUs() const {
    return clock_.nsecsElapsed() / 1000;
}

void UserListBox::ShowPending() {
    flush_.stop();
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
    flush_.stop();
    clear();
}

} // namespace zaplo
