#pragma once

#include <QPlainTextEdit>

namespace zaplo {

// Read-only multi-line box that grows at the top: the chat box and the status log. Each line is
// one text block, newest first. A line goes in at the start of the document, so adding one costs
// the same however long the log already is.
class LogBox : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit LogBox(QWidget* parent = nullptr);

    // Puts `line` first and shows the top of the box.
    void AddLine(const QString& line);
    // The box's text as the program sees it: every line followed by CR LF, the newest first.
    QString Text() const;

private:
    int nLines_ = 0;
};

} // namespace zaplo
