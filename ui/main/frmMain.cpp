#include "ui/main/frmMain.h"

#include "app/AppState.h"

#include <QEventLoop>

namespace zaplo {

frmMain::frmMain(AppState& state, QWidget* parent) : QMainWindow(parent), state_(state) {
    setAttribute(Qt::WA_DeleteOnClose, false);
}

void frmMain::ShowModal() {
    setWindowModality(Qt::ApplicationModal);
    show();
    QEventLoop loop;
    while (isVisible() && !state_.Ended()) {
        loop.processEvents(QEventLoop::WaitForMoreEvents);
    }
}

} // namespace zaplo
