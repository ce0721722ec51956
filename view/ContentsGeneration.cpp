// Building a table of contents: one pass over the document, picking out named HTML anchors or
// short lines that follow blank lines, written as a contents file.
#include "MyView.h"

#include "BookmarkFile.h"

#include <QApplication>
#include <QMainWindow>
#include <QPointer>
#include <QProgressBar>
#include <QRegularExpression>

namespace {
constexpr int MaxHeadingLength = 50;
// Only so much of a tag or anchor text is kept; the rest is read past.
constexpr qsizetype MaxTagKept = 4096;
constexpr qsizetype MaxTitleKept = 1024;

bool isWhiteSpace(char32_t c)
{
    return c <= 0xFFFF && QChar(char16_t(c)).isSpace();
}

void append(QString &text, char32_t c)
{
    if (c <= 0xFFFF) {
        text.append(QChar(char16_t(c)));
    } else {
        text.append(QChar(QChar::highSurrogate(c)));
        text.append(QChar(QChar::lowSurrogate(c)));
    }
}

struct Line
{
    QString start;  // the first MaxHeadingLength + 1 characters
    bool blank = true;
    bool tooLong = false;
};
} // namespace

// Reads one line and past its line feed (a carriage return just before it is not part of the
// line). Unless `wantText`, a line stops being read once it is known not to be blank.
static Line readLine(MyView &view, bool wantText)
{
    Line line;
    qsizetype length = 0;
    char32_t pendingCr = 0;
    PositionedReader &file = view.file;
    while (!file.atEnd()) {
        const char32_t c = view.readDecodedChar();
        if (c == U'\n')
            break;
        if (pendingCr) {
            append(line.start, pendingCr);
            ++length;
            pendingCr = 0;
        }
        if (c == U'\r') {
            pendingCr = c;
            continue;
        }
        if (!isWhiteSpace(c)) {
            line.blank = false;
            if (!wantText && file.canSkipBytes()) {
                file.skipPast('\n');
                return line;
            }
        }
        if (length <= MaxHeadingLength)
            append(line.start, c);
        ++length;
    }
    line.tooLong = length > MaxHeadingLength;
    return line;
}

void MyView::generateContents(const QString &path)
{
    if (!documentOpen)
        return;
    const QSize size = this->size();
    const qint64 remembered = file.pos();

    QProgressBar *progress = nullptr;
    if (mainWindow) {
        progress = new QProgressBar(mainWindow);
        progress->setRange(0, 100);
        progress->setGeometry(0, mainWindow->height() - 20, width(), 20);
        progress->setTextVisible(true);
        progress->show();
        progress->raise();
    }
    resize(size.width(), std::max(1, size.height() - 20));

    BookmarkFileWriter writer(path);
    if (writer.isOpen()) {
        if (progress)
            progress->setValue(0);
        QApplication::processEvents();
        file.seek(0);
        const QPointer<MyView> alive(this);
        int shown = 0;
        static const QRegularExpression anchor(QStringLiteral("^[aA] "));
        static const QRegularExpression named(QStringLiteral("\\s[nN][aA][mM][eE]="),
                                              QRegularExpression::UseUnicodePropertiesOption);
        static const QRegularExpression closing(QStringLiteral("^\\/[aA]$"));

        while (!file.atEnd()) {
            const int percent = fileSize > 0 ? int(file.pos() / fileSize * 100 + file.pos() % fileSize * 100 / fileSize) : 0;
            if (percent != shown) {
                shown = percent;
                if (progress)
                    progress->setValue(percent);
                // Events may lay the page out again (the window resizes the view, say), which
                // moves the file: the scan goes on from where it was.
                const qint64 scanAt = file.pos();
                QApplication::processEvents();
                if (!alive)
                    return;
                file.seek(scanAt);
            }
            QString title;
            qint64 position = 0;
            if (htmlDocument) {
                bool collecting = false;
                bool complete = false;
                while (!file.atEnd() && !complete) {
                    if (!collecting && file.canSkipBytes()) {
                        if (!file.skipPast('<'))
                            break;
                    } else {
                        const char32_t c = readDecodedChar();
                        if (c != U'<') {
                            if (collecting && title.size() < MaxTitleKept)
                                append(title, c);
                            continue;
                        }
                    }
                    QString tag;
                    while (!file.atEnd()) {
                        const char32_t t = readDecodedChar();
                        if (t == U'>')
                            break;
                        if (tag.size() < MaxTagKept)
                            append(tag, t);
                    }
                    if (anchor.match(tag).hasMatch()) {
                        if (named.match(tag).hasMatch()) {
                            collecting = true;
                            title.clear();
                            position = file.pos();
                        }
                    } else if (closing.match(tag).hasMatch()) {
                        collecting = false;
                        complete = true;
                    }
                }
                if (!complete)
                    title.clear();
            } else {
                if (!readLine(*this, false).blank)
                    continue;
                Line line;
                do {
                    position = file.pos();
                    line = readLine(*this, true);
                } while (line.blank && !file.atEnd());
                if (line.tooLong)
                    continue;
                title = line.start;
            }
            title = title.trimmed();
            if (title.isEmpty())
                continue;
            writer.write(BookmarkRecord{title, QString::number(pageNumberOf(file.pos())), QString::number(position),
                                        QStringLiteral("1")});
        }
        writer.commit();
    }

    file.seek(remembered);
    delete progress;
    resize(size);
    setFocus();
}
