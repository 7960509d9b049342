// SPDX-License-Identifier: MIT
#pragma once

#include "base/LogKeep.h"
#include "ui/main/ScreenPacer.h"

#include <QPlainTextEdit>

#include <cstddef>
#include <cstdint>
#include <deque>

namespace zaplo {

// Read-only multi-line box that grows at the top: the chat box and the status log.
//
// The box keeps the whole text of its newest lines (at most kMaxLines lines and kMaxBytes of
// text, the oldest going first) and shows the newest of them on screen, each as one text block,
// newest first. On screen a line is cut after kShownChars characters with a visible mark, and
// the screen holds at most kScreenChars characters: laying out a line costs time and memory
// that grow with what is shown, and an unbreakable line's layout grows with its square. "Copy
// Lines" in the context menu copies the whole text of the lines in the selection, "Copy All"
// every kept line.
//
// Ordinary use shows each line as it comes. A flood is shown in batches: once a few tens of
// milliseconds' worth of screen work is used up, further lines wait and are put on screen
// together when that time is over, so each line of a flood costs little more than keeping it.
class LogBox : public QPlainTextEdit {
    Q_OBJECT
public:
    // A long session of ordinary chat (lines of a few dozen characters) fits in full.
    static constexpr std::size_t kMaxLines = 10'000;
    // Text kept, as stored (two bytes a character): 16 full-length lines of the protocol (256 KiB
    // each) or 10,000 lines of 200 characters, a few MB per box whatever a peer sends.
    static constexpr std::size_t kMaxBytes = 8U * 1024U * 1024U;
    // A line on screen: wider than any ordinary line, short enough that even without a break
    // opportunity its layout takes about a millisecond.
    static constexpr int kShownChars = 2'000;
    // Combining marks on screen on one character; the rest are only kept.
    static constexpr int kShownMarks = 16;
    // On screen in all: the newest 1,000 lines of ordinary chat to scroll through, fewer when
    // they are long, with layouts of a few MB that take tens of milliseconds to build afresh.
    static constexpr std::size_t kScreenChars = 128 * 1024;
    static constexpr std::size_t kScreenLines = 1'000;
    // Screen work done at once per window of time; beyond it lines wait for the window's end.
    static constexpr int64_t kPaceUs = 40'000;
    static constexpr int64_t kPaceBudgetUs = 5'000;

    explicit LogBox(QWidget* parent = nullptr);

    // Puts `line` first and shows the top of the box.
    void AddLine(const QString& line);
    // The box's text as the program sees it: every kept line followed by CR LF, the newest first.
    QString Text() const;
    // Kept lines and their size in bytes as counted against kMaxBytes.
    std::size_t Lines() const { return lines_.size(); }
    std::size_t Bytes() const { return keep_.Bytes(); }
    // Lines on screen (the newest ones); fewer than Lines() while a batch waits or when the
    // kept lines exceed the screen's share.
    std::size_t ShownLines() const { return nShown_; }
    // Puts any waiting lines on screen now.
    void ShowPending();
    // The whole text of the kept lines that the selection touches (the line of the caret when
    // nothing is selected), each followed by CR LF, in the order shown.
    QString SelectedLines() const;

    // What a line looks like on screen.
    static QString Shown(const QString& line);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    static std::size_t LineBytes(const QString& line);
    static std::size_t ShownSize(const QString& line);
    void DropOldest(std::size_t nDrop);
    void ShowTop(std::size_t nNew);
    void Rebuild();
    void TrimScreen();
    // Removes every block on screen after the first nKeep.
    void RemoveBottom(std::size_t nKeep);
    void ScrollToTop();

    std::deque<QString> lines_; // newest first
    LogKeep keep_{kMaxLines, kMaxBytes};
    ScreenPacer screen_{kPaceUs, kPaceBudgetUs, [this] { ShowPending(); }};
    std::size_t nShown_ = 0;      // lines_[0 .. nShown_) minus the waiting ones are on screen
    std::size_t nWaiting_ = 0;    // newest lines not yet on screen
    std::size_t nShownChars_ = 0; // characters on screen, separators included
};

} // namespace zaplo
