#include "ContentsScanner.h"

#include "BookmarkFile.h"
#include "Document.h"
#include "MarkupReader.h"

#include <QRegularExpression>

namespace {
constexpr int MaxHeadingLength = 50;
// Titles are cut at 1,024 characters. (Tags are kept up to 64 KiB, so no real anchor's name is
// lost: see MarkupReader::MaxTagText.)
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
static Line readLine(Document &document, bool wantText)
{
    Line line;
    qsizetype length = 0;
    char32_t pendingCr = 0;
    PositionedReader &file = document.reader();
    while (!file.atEnd()) {
        const char32_t c = document.readDecodedChar();
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

void ContentsScanner::scan(BookmarkFileWriter &writer, const std::function<bool(int percent)> &progress)
{
    PositionedReader &file = m_document.reader();
    const qint64 size = m_document.size();
    file.seek(0);
    int shown = 0;
    while (!file.atEnd()) {
        const int percent = size > 0 ? int(file.pos() / size * 100 + file.pos() % size * 100 / size) : 0;
        if (percent != shown) {
            shown = percent;
            const qint64 scanAt = file.pos();
            if (!progress(percent))
                return;
            file.seek(scanAt);
        }
        QString title;
        qint64 position = 0;
        const bool found = m_document.isHtml() ? nextAnchor(title, position) : nextHeadingLine(title, position);
        title = title.trimmed();
        if (!found || title.isEmpty())
            continue;
        writer.write(BookmarkRecord{title, QString::number(m_document.pageNumberOf(file.pos())),
                                    QString::number(position), QStringLiteral("1")});
    }
}

QList<BookmarkRecord> bookContents(const Document &document)
{
    QList<BookmarkRecord> records;
    for (const BookInfo::Entry &entry : document.book().contents)
        records.append(BookmarkRecord{QString(4 * entry.level, QLatin1Char(' ')) + entry.title,
                                      QString::number(document.pageNumberOf(entry.position)),
                                      QString::number(entry.position), QStringLiteral("1")});
    return records;
}

bool ContentsScanner::nextAnchor(QString &title, qint64 &position)
{
    static const QRegularExpression anchor(QStringLiteral("^[aA] "));
    static const QRegularExpression named(QStringLiteral("\\s[nN][aA][mM][eE]="),
                                          QRegularExpression::UseUnicodePropertiesOption);
    static const QRegularExpression closing(QStringLiteral("^\\/[aA]$"));
    PositionedReader &file = m_document.reader();
    // The markup is read as the page reads it: anchors in comments or scripts are not headings,
    // and references in titles give their characters.
    MarkupReader markup(m_document);
    markup.setKeepTagText(true);
    TextStyle style;
    uint8_t increment = 0;
    bool collecting = false;
    while (!file.atEnd()) {
        if (!collecting && !markup.skipToTag())
            break;
        const MarkupReader::Char c = markup.read(style, increment);
        if (c.kind == MarkupReader::Kind::Text) {
            if (collecting && title.size() < MaxTitleKept)
                append(title, c.value);
            continue;
        }
        if (c.kind != MarkupReader::Kind::Hidden) {
            if (collecting && title.size() < MaxTitleKept)
                append(title, U' ');  // a line or paragraph break inside the anchor
            continue;
        }
        const QString &tag = markup.tagText();
        if (anchor.match(tag).hasMatch()) {
            if (named.match(tag).hasMatch()) {
                // A second anchor inside the first moves the entry's place; the text so far stays.
                collecting = true;
                position = file.pos();
            }
        } else if (closing.match(tag).hasMatch()) {
            return true;
        }
    }
    return false;  // no closing anchor before the end: no entry
}

bool ContentsScanner::nextHeadingLine(QString &title, qint64 &position)
{
    PositionedReader &file = m_document.reader();
    if (!readLine(m_document, false).blank)
        return false;
    Line line;
    do {
        position = file.pos();
        line = readLine(m_document, true);
    } while (line.blank && !file.atEnd());
    if (line.tooLong)
        return false;
    title = line.start;
    return true;
}
