// The line fitter: reads characters from the page start on and fills lineWords with the words
// of one display line. Forward paging, backward paging and auto-scroll all fit lines here, so
// they agree on where lines break.
#include "MyView.h"

#include "toUnicode.h"

namespace {
constexpr char32_t LineFeed = U'\n';
constexpr char32_t CarriageReturn = U'\r';
constexpr char32_t Space = U' ';
constexpr char32_t Tab = U'\t';
// A word of zero-width characters never reaches the line width; past this many characters it
// is broken as if it had, so one line never holds an unbounded run of the file.
constexpr qsizetype MaxWordLength = 4096;
// Only the start of a tag or entity decides what it means; the rest is skipped, not kept.
constexpr qsizetype MaxMarkupKept = 64;

bool isSeparator(char32_t c) { return c == LineFeed || c == Space || c == Tab; }

void appendChar(QString &text, char32_t c)
{
    if (c <= 0xFFFF) {
        text.append(QChar(char16_t(c)));
    } else {
        text.append(QChar(QChar::highSurrogate(c)));
        text.append(QChar(QChar::lowSurrogate(c)));
    }
}
} // namespace

char32_t MyView::readDecodedChar()
{
    const char32_t c = file.readChar();
    if (decoder->index() < 0)
        return c;
    return decoder->getQChar(c <= 0xFF ? static_cast<unsigned char>(c) : 0).unicode();
}

void MyView::selectWordFont(const TextStyle &style)
{
    m_face = &m_fonts.face(style.bold, style.italic, style.underline, style.fontIncrement);
    pageFont = m_face->font();
}

// Reads raw characters up to `terminator` (dropped) or the end of the file and returns the
// first few of them.
static QString collectMarkup(PositionedReader &file, char32_t terminator)
{
    QString kept;
    while (!file.atEnd()) {
        const char32_t c = file.readChar();
        if (c == terminator)
            break;
        if (kept.size() < MaxMarkupKept)
            appendChar(kept, c);
    }
    return kept;
}

void MyView::readStringFit()
{
    if (!documentOpen)
        return;
    ++m_fitterCalls;

    runningStyle = lineStartStyle;
    lineFontIncrement = lineStartStyle.fontIncrement;
    const int available = paper.width() - 2 * pageMargin - (lineNewParagraph ? paragraphIndent : 0);
    qint64 lineEndPos = file.pos();
    qint64 lastCharPos = lineEndPos;
    qint64 afterLastTaken = -1;  // position after the last character put on the line
    int charsWidth = 0, savedCharsWidth = 0, gapsWidth = 0, total = 0;
    qint64 takenCount = 0;
    nextLineNewParagraph = false;
    lineWordCount = 0;
    char32_t previous = 0;
    QString word;

    while (total < available) {
        if (word.isEmpty()) {
            lineWords[lineWordCount].setStyle(runningStyle);
            selectWordFont(runningStyle);
        }
        lastCharPos = file.pos();
        if (file.atEnd()) {
            nextLineNewParagraph = true;
            lineEndPos = file.pos();
            lineWords[lineWordCount].text = word;
            savedCharsWidth = charsWidth;
            ++lineWordCount;
            break;
        }
        char32_t c = readDecodedChar();
        if (c == 0 && sourceKind == 2) {
            c = pluckerDecode();
            if (c == 0)
                continue;
        }
        if (c == LineFeed && sourceKind == 2)
            nextLineNewParagraph = true;

        if (htmlDocument) {
            if (stripNewlinesInHtml && (c == LineFeed || c == CarriageReturn)) {
                c = Space;
            } else if (c == U'<') {
                static const QRegularExpression edges(QStringLiteral("^\\s+|\\s+$"),
                                                      QRegularExpression::UseUnicodePropertiesOption);
                const QString tag = collectMarkup(file, U'>').remove(edges).toLower();
                if (tag == QLatin1String("br")) {
                    c = LineFeed;
                } else if (tag == QLatin1String("p")) {
                    c = LineFeed;
                    nextLineNewParagraph = true;
                } else {
                    continue;
                }
            } else if (c == U'&') {
                const QString entity = collectMarkup(file, U';').toLower();
                if (entity == QLatin1String("quot"))
                    c = U'"';
                else if (entity == QLatin1String("lt"))
                    c = U'<';
                else if (entity == QLatin1String("gt"))
                    c = U'>';
                else if (entity == QLatin1String("amp"))
                    c = U'&';
                else
                    c = Space;  // nbsp and every entity not known here
            }
        }

        if (c == CarriageReturn) {
            if (!crConvert)
                continue;
            c = LineFeed;
        }
        if (previous == Space && (c == Space || c == Tab) && collapseSpaces)
            continue;
        if (takenCount == 0 && (c == Space || c == Tab))
            continue;

        if (isSeparator(c)) {
            savedCharsWidth = charsWidth;
            if (previous != Space) {
                lineWords[lineWordCount].gap = spaceWidth;
                gapsWidth += spaceWidth;
                lineWords[lineWordCount].text = word;
                ++lineWordCount;
                word.clear();
            }
            previous = Space;
            lineEndPos = file.pos();
            if (lineWordCount == MaxLineWords)
                break;  // the word table is full: the line ends here
            lineWords[lineWordCount].text.clear();
            if (nextLineNewParagraph)
                break;
            if (c == LineFeed) {
                if (takenCount == 0 || !reparagraph) {
                    nextLineNewParagraph = true;
                    break;
                }
                lastCharPos = lineEndPos;
                if (checkNewParagraph()) {
                    nextLineNewParagraph = true;
                    break;
                }
                file.seek(lineEndPos);
            }
            continue;
        }

        previous = c;
        appendChar(word, c);
        ++takenCount;
        afterLastTaken = file.pos();
        charsWidth += m_face->width(c);
        total = charsWidth + gapsWidth;
        if (word.size() >= MaxWordLength)
            break;
    }

    if (lineWordCount == 0) {
        // One word filled the width before any separator: break it after the character that
        // reached the width, which stays on this line.
        if (afterLastTaken >= 0) {
            lineEndPos = afterLastTaken;
        } else {
            file.seek(lastCharPos);
            readDecodedChar();
            lineEndPos = file.pos();
        }
        lineWords[0].text = word;
        lineWordCount = 1;
    } else {
        charsWidth = savedCharsWidth;  // an unfinished word starts the next line
    }

    if (lineWordCount > 1)
        gapsWidth -= spaceWidth;
    const int spare = available - charsWidth - gapsWidth;
    const int gaps = lineWordCount - 1;
    if (spare > 0 && gaps > 0) {
        // One pixel at a time from the first gap on: the first gaps take the remainder.
        for (int i = 0; i < gaps; ++i)
            lineWords[i].gap += spare / gaps + (i < spare % gaps ? 1 : 0);
    }

    lineStartStyle = runningStyle;
    file.seek(lineEndPos);
}

bool MyView::checkNewParagraph()
{
    if (paragraphRegexp == QLatin1String("^\\s+|^\\s*$")) {
        char32_t c = file.readChar();
        if (c == CarriageReturn && crConvert)
            c = LineFeed;
        return c == Space || c == Tab || c == LineFeed;
    }
    QString next;
    for (int i = 0; i < 199 && !file.atEnd(); ++i) {
        char32_t c = readDecodedChar();
        if (c == CarriageReturn && crConvert)
            c = LineFeed;
        if (c == LineFeed)
            break;
        appendChar(next, c);
    }
    for (int i = 0; i <= paragraphPatternLast; ++i) {
        if (m_compiledPatterns[i].isValid() && m_compiledPatterns[i].match(next).hasMatch())
            return true;
    }
    return false;
}
