// SPDX-License-Identifier: MIT
#include "ui/main/ChatInput.h"

#include <QKeyEvent>

namespace zaplo {

ChatInput::ChatInput(QWidget* parent) : QLineEdit(parent) {}

void ChatInput::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        Q_EMIT enterPressed();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

} // namespace zaplo
