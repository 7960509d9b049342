// SPDX-License-Identifier: MIT
#pragma once

#include <QLineEdit>

namespace zaplo {

// The one-line chat input. Enter (either key, whatever modifiers are held) is reported by
// enterPressed and goes no further; every other key types as usual.
class ChatInput : public QLineEdit {
    Q_OBJECT
public:
    explicit ChatInput(QWidget* parent = nullptr);

Q_SIGNALS:
    void enterPressed();

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace zaplo
