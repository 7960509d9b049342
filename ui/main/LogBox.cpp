// SPDX-License-Identifier: MIT
#include "ui/main/LogBox.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <memory>

namespace zaplo {

namespace {

const QString kCutMark = QStringLiteral(" \u2026 [%1 more characters]");

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

QString LogBox::Shown(const QString& line) {
    qsizetype nCut = std::min<qsizetype>(line.size(), kShownChars);
    if (nCut < line.size() && nCut > 0 && line.at(nCut - 1).isHighSurrogate()) {
        --nCut; // never half a character
    }
    QString shown;
    shown.reserve(nCut);
    // A character carrying hundreds of combining marks costs its layout dearly; no script needs
    // more than a few, so the screen shows at most kShownMarks of them on one character.
    int nMarks = 0;
    for (qsizetype i = 0; i < nCut; ++i) {
        const QChar ch = line.at(i);
        const bool bMark = ch.isMark();
        nMarks = bMark ? nMarks + 1 : 0;
        if (!bMark || nMarks <= kShownMarks) {
            shown += ch;
        }
    }
    // A line never breaks inside the box: characters that the text document would turn into a
    // block or frame boundary are shown as their visible stand-ins instead.
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
    if (nCut < line.size()) {
        // Bidirectional controls in the line end before the mark, which reads left to right.
        shown += QChar(0x2069); // POP DIRECTIONAL ISOLATE
        shown += QChar(0x202C); // POP DIRECTIONAL FORMATTING
        shown += kCutMark.arg(line.size() - nCut);
    }
    return shown;
}

std::size_t LogBox::LineBytes(const QString& line) {
    // As kept: two bytes a character, and the CR LF that Text() adds.
    return 2 * (static_cast<std::size_t>(line.size()) + 2);
}

std::size_t LogBox::ShownSize(const QString& line) {
    const auto nChars = static_cast<std::size_t>(line.size());
    // The cut mark is a few dozen characters; the block separator one.
    return nChars > static_cast<std::size_t>(kShownChars) ? kShownChars + 40 : nChars + 1;
}

void LogBox::AddLine(const QString& line) {
    lines_.push_front(line);
    ++nWaiting_;
    DropOldest(keep_.Add(LineBytes(line)));
    screen_.Added(nWaiting_ == 1);
}

void LogBox::DropOldest(std::size_t nDrop) {
    std::size_t nOffScreen = 0; // dropped lines that were on screen, at its bottom
    for (std::size_t i = 0; i < nDrop; ++i) {
        const std::size_t nIndex = lines_.size() - 1;
        if (nIndex >= nWaiting_ && nIndex < nWaiting_ + nShown_) {
            nShownChars_ -= ShownSize(lines_.back());
            ++nOffScreen;
        }
        lines_.pop_back();
    }
    nWaiting_ = std::min(nWaiting_, lines_.size());
    if (nOffScreen == 0) {
        return;
    }
    nShown_ -= nOffScreen;
    if (nShown_ == 0) {
        document()->clear();
        nShownChars_ = 0;
        return;
    }
    RemoveBottom(nShown_);
}

void LogBox::RemoveBottom(std::size_t nKeep) {
    // From the end of the last block kept (its separator included) to the end.
    QTextCursor cursor(document()->findBlockByNumber(static_cast<int>(nKeep)));
    cursor.movePosition(QTextCursor::PreviousCharacter);
    cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
}

void LogBox::ShowPending() {
    screen_.Cancel();
    if (nWaiting_ == 0) {
        return;
    }
    std::size_t nNewChars = 0;
    std::size_t nNew = 0;
    while (nNew < nWaiting_ && nNew < kScreenLines && nNewChars < kScreenChars) {
        nNewChars += ShownSize(lines_[nNew]);
        ++nNew;
    }
    if (nNew < nWaiting_ || nNewChars + nShownChars_ > 2 * kScreenChars ||
        nNew + nShown_ > 2 * kScreenLines) {
        // More than a screenful came at once: the screen starts over with the newest lines.
        Rebuild();
    } else {
        ShowTop(nWaiting_);
        TrimScreen();
    }
    ScrollToTop();
}

void LogBox::ShowTop(std::size_t nNew) {
    QString text;
    for (std::size_t i = 0; i < nNew; ++i) {
        text += Shown(lines_[i]);
        if (i + 1 < nNew || nShown_ > 0) {
            text += u'\n';
        }
        nShownChars_ += ShownSize(lines_[i]);
    }
    QTextCursor cursor(document());
    cursor.insertText(text);
    nShown_ += nNew;
    nWaiting_ -= nNew;
}

void LogBox::Rebuild() {
    std::size_t nChars = 0;
    std::size_t nNew = 0;
    while (nNew < lines_.size() && nNew < kScreenLines &&
           (nNew == 0 || nChars + ShownSize(lines_[nNew]) <= kScreenChars)) {
        nChars += ShownSize(lines_[nNew]);
        ++nNew;
    }
    document()->clear();
    nShown_ = 0;
    nShownChars_ = 0;
    nWaiting_ = nNew;
    ShowTop(nNew);
    nWaiting_ = 0; // older kept lines stay off screen
}

void LogBox::TrimScreen() {
    if (nShownChars_ <= kScreenChars && nShown_ <= kScreenLines) {
        return;
    }
    // Removing lines at the bottom lays out the line that becomes the last, so the screen is
    // trimmed well below its bounds at once rather than by one line for each line added.
    std::size_t nKeep = nShown_;
    std::size_t nChars = nShownChars_;
    while (nKeep > 1 && (nChars > kScreenChars * 3 / 4 || nKeep > kScreenLines * 3 / 4)) {
        --nKeep;
        nChars -= ShownSize(lines_[nWaiting_ + nKeep]);
    }
    if (nKeep == nShown_) {
        return;
    }
    RemoveBottom(nKeep);
    nShown_ = nKeep;
    nShownChars_ = nChars;
}

void LogBox::ScrollToTop() {
    // Like a box whose text was just replaced: caret and view at the top, where the new line is.
    setTextCursor(QTextCursor(document()));
    verticalScrollBar()->setValue(verticalScrollBar()->minimum());
}

QString LogBox::Text() const {
    std::size_t nSize = 0;
    for (const QString& line : lines_) {
        nSize += static_cast<std::size_t>(line.size()) + 2;
    }
    QString text;
    text.reserve(static_cast<qsizetype>(nSize));
    for (const QString& line : lines_) {
        text += line;
        text += QLatin1String("\r\n");
    }
    return text;
}

QString LogBox::SelectedLines() const {
    if (nShown_ == 0) {
        return {};
    }
    const QTextCursor cursor = textCursor();
    const int nFirst = document()->findBlock(cursor.selectionStart()).blockNumber();
    const int nLast = document()->findBlock(cursor.selectionEnd()).blockNumber();
    QString text;
    for (int i = std::max(nFirst, 0); i <= nLast; ++i) {
        const std::size_t nLine = nWaiting_ + static_cast<std::size_t>(i);
        if (static_cast<std::size_t>(i) < nShown_ && nLine < lines_.size()) {
            text += lines_[nLine];
            text += QLatin1String("\r\n");
        }
    }
    return text;
}

void LogBox::contextMenuEvent(QContextMenuEvent* event) {
    const std::unique_ptr<QMenu> menu(createStandardContextMenu(event->pos()));
    menu->addSeparator();
    QAction* copyLines = menu->addAction(QStringLiteral("Copy Lines"));
    copyLines->setObjectName(QStringLiteral("copyLines"));
    connect(copyLines, &QAction::triggered, this,
            [this] { QGuiApplication::clipboard()->setText(SelectedLines()); });
    QAction* copyAll = menu->addAction(QStringLiteral("Copy All"));
    copyAll->setObjectName(QStringLiteral("copyAll"));
    connect(copyAll, &QAction::triggered, this,
            [this] { QGuiApplication::clipboard()->setText(Text()); });
    menu->exec(event->globalPos());
}

} // namespace zaplo
