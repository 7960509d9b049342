#include "ui/main/LogBox.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace zaplo {

namespace {

// A line never breaks inside the box: characters that the text document would turn into a block
// or frame boundary are shown as their visible stand-ins instead.
QString Shown(const QString& line) {
    QString shown = line;
    for (QChar& ch : shown) {
        switch (ch.unicode()) {
        case u'\r':
            ch = QChar(0x240D); // SYMBOL FOR CARRIAGE RETURN
            break;
        case u'\n':
            ch = QChar(0x240A); // SYMBOL FOR LINE FEED
            break;
        case 0x2028: // line separator
        case 0x2029: // paragraph separator
        case 0xFDD0: // text document's frame markers
        case 0xFDD1:
            ch = QChar(QChar::ReplacementCharacter);
            break;
        default:
            break;
        }
    }
    return shown;
}

} // namespace

LogBox::LogBox(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setUndoRedoEnabled(false); // the log only grows; an undo history would double it
    setTabChangesFocus(true);
    setFocusPolicy(Qt::StrongFocus);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
}

void LogBox::AddLine(const QString& line) {
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::Start);
    cursor.beginEditBlock();
    cursor.insertText(Shown(line));
    if (nLines_ > 0) {
        // Split before the previous first line, which keeps its own block.
        cursor.insertBlock();
    }
    cursor.endEditBlock();
    ++nLines_;
    // Like a box whose text was just replaced: caret and view at the top, where the new line is.
    setTextCursor(QTextCursor(document()));
    verticalScrollBar()->setValue(verticalScrollBar()->minimum());
}

QString LogBox::Text() const {
    QString text;
    if (nLines_ == 0) {
        return text;
    }
    for (QTextBlock block = document()->firstBlock(); block.isValid(); block = block.next()) {
        text += block.text();
        text += QLatin1String("\r\n");
    }
    return text;
}

} // namespace zaplo
