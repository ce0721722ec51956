#include "LineFitter.h"

#include "Document.h"

namespace {
constexpr char32_t LineFeed = U'\n';
constexpr char32_t CarriageReturn = U'\r';
constexpr char32_t Space = U' ';
constexpr char32_t Tab = U'\t';
constexpr char32_t ByteOrderMark = 0xFEFF;
// A word of zero-width characters never reaches the line width; past this many characters it
// is broken as if it had, so one line never holds an unbounded run of the file.
constexpr qsizetype MaxWordLength = 4096;
// What checkNewParagraph() reads ahead when patterns decide.
constexpr int MaxLookAhead = 199;

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

void ParagraphPatterns::setExpression(const QString &expression)
{
    m_isDefault = expression == QLatin1String("^\\s+|^\\s*$");
    for (auto &p : m_patterns)
        p.clear();
    m_patterns[0] = expression;
    m_last = 0;
    qsizetype start = 0;
    // Each "|" closes the alternative in the current slot and puts the rest in the next one;
    // past the last slot the rest stays together as one alternative.
    while (m_last < MaxPatterns - 1) {
        const qsizetype bar = expression.indexOf(QLatin1Char('|'), start);
        if (bar < 0)
            break;
        m_patterns[size_t(m_last)] = expression.mid(start, bar - start);
        ++m_last;
        m_patterns[size_t(m_last)] = expression.mid(bar + 1).left(MaxAlternativeLength);
        start = bar + 1;
    }
    for (int i = 0; i <= m_last; ++i)
        m_compiled[size_t(i)] = QRegularExpression(m_patterns[size_t(i)], QRegularExpression::UseUnicodePropertiesOption);
}

QStringList ParagraphPatterns::alternatives() const
{
    QStringList out;
    for (int i = 0; i <= m_last; ++i)
        out << m_patterns[size_t(i)];
    return out;
}

bool ParagraphPatterns::matchesAny(const QString &line) const
{
    for (int i = 0; i <= m_last; ++i) {
        const QRegularExpression &re = m_compiled[size_t(i)];
        if (re.isValid() && re.match(line).hasMatch())
            return true;
    }
    return false;
}

LineFitter::LineFitter(Document &document, WordFonts &fonts)
    : m_document(document), m_fonts(fonts), m_markup(document)
{
    m_patterns.setExpression(m_layout.paragraphRegexp);
}

void LineFitter::setLayout(const LineLayout &layout)
{
    m_layout = layout;
    m_patterns.setExpression(layout.paragraphRegexp);
    m_markup.setStripNewlines(layout.stripNewlinesInHtml);
}

QStringList LineFitter::lineTexts() const
{
    QStringList words;
    for (int i = 0; i < m_count; ++i)
        words << m_words[size_t(i)].text;
    return words;
}

// The working values of one line.
struct LineFitter::Pass
{
    int available = 0;            // width the words may take
    qint64 lineEndPos = 0;        // where the next line starts
    qint64 lastCharPos = 0;       // the file position before the character just read
    qint64 afterLastTaken = -1;   // the position after the last character put on the line
    int charsWidth = 0;           // every character taken, the unfinished word's included
    int savedCharsWidth = 0;      // charsWidth at the last word end
    int gapsWidth = 0;            // gaps after the words emitted
    int total = 0;                // charsWidth + gapsWidth
    qint64 takenCount = 0;        // characters taken on this line
    char32_t previous = 0;
    QString word;                 // the word being collected
};

// A separator ends the word being collected. True when the line ends here.
inline bool LineFitter::endWord(Pass &pass, char32_t separator)
{
    PositionedReader &file = m_document.reader();
    pass.savedCharsWidth = pass.charsWidth;
    if (pass.previous != Space) {
        LineWord &word = m_words[size_t(m_count)];
        word.gap = m_layout.spaceWidth;
        pass.gapsWidth += m_layout.spaceWidth;
        word.text = pass.word;  // a line feed at the very start of a line emits an empty word
        ++m_count;
        pass.word.clear();
    }
    pass.previous = Space;
    pass.lineEndPos = file.pos();
    if (m_count == MaxLineWords)
        return true;  // the word table is full: the line ends here
    m_words[size_t(m_count)].text.clear();
    if (m_endsParagraph || m_endsAtBreak)
        return true;
    if (separator != LineFeed)
        return false;
    if (pass.takenCount == 0 || !m_layout.reparagraph) {
        // An empty line always ends a paragraph; without reparagraphing every line feed does.
        m_endsParagraph = true;
        return true;
    }
    pass.lastCharPos = pass.lineEndPos;
    if (checkNewParagraph()) {
        m_endsParagraph = true;
        return true;
    }
    file.seek(pass.lineEndPos);  // the line feed acted as a space
    return false;
}

void LineFitter::readStringFit(int paperWidth, bool startsParagraph, TextStyle &lineStartStyle)
{
    if (!m_document.isOpen())
        return;
    ++m_calls;
    PositionedReader &file = m_document.reader();

    m_running = lineStartStyle;
    m_fontIncrement = lineStartStyle.fontIncrement;
    Pass pass;
    pass.available = paperWidth - 2 * m_layout.pageMargin - (startsParagraph ? m_layout.paragraphIndent : 0);
    pass.lineEndPos = pass.lastCharPos = file.pos();
    m_endsParagraph = false;
    m_endsAtBreak = false;
    m_count = 0;

    while (pass.total < pass.available) {
        if (pass.word.isEmpty()) {
            // Attribute codes read just before a word apply to it.
            m_words[size_t(m_count)].setStyle(m_running);
            m_face = &m_fonts.face(m_running.bold, m_running.italic, m_running.underline, m_running.fontIncrement);
        }
        pass.lastCharPos = file.pos();
        if (file.atEnd()) {
            m_endsParagraph = true;
            pass.lineEndPos = file.pos();
            m_words[size_t(m_count)].text = pass.word;
            pass.savedCharsWidth = pass.charsWidth;
            ++m_count;
            break;
        }
        const MarkupReader::Char read = m_markup.read(m_running, m_fontIncrement);
        char32_t c = read.value;
        switch (read.kind) {
        case MarkupReader::Kind::Text:
            if (c == ByteOrderMark)
                continue;  // zero width, and never a reason to end a line
            break;
        case MarkupReader::Kind::Hidden:
            continue;
        case MarkupReader::Kind::BlockBreak:
            // Block edges one after another, or at the start of a paragraph, count once.
            if (pass.takenCount == 0 && startsParagraph)
                continue;
            m_endsParagraph = true;
            break;
        case MarkupReader::Kind::ParagraphEnd:
            m_endsParagraph = true;
            break;
        case MarkupReader::Kind::LineBreak:
            m_endsAtBreak = true;
            break;
        }
        if (c == CarriageReturn) {
            if (!m_layout.crConvert)
                continue;
            c = LineFeed;
        }
        if (pass.previous == Space && (c == Space || c == Tab) && m_layout.collapseSpaces)
            continue;
        if (pass.takenCount == 0 && (c == Space || c == Tab))
            continue;  // leading white space of a line is dropped
        if (isSeparator(c)) {
            if (endWord(pass, c))
                break;
            continue;
        }
        pass.previous = c;
        appendChar(pass.word, c);
        // A word partly in a link ("note.1" with its note number linked) follows that link.
        if (m_running.htmlLink != 0 && m_words[size_t(m_count)].htmlLink == 0)
            m_words[size_t(m_count)].htmlLink = m_running.htmlLink;
        ++pass.takenCount;
        pass.afterLastTaken = file.pos();
        pass.charsWidth += m_face->width(c);
        pass.total = pass.charsWidth + pass.gapsWidth;
        if (pass.word.size() >= MaxWordLength)
            break;
    }

    if (m_count == 0)
        breakLongWord(pass);
    else
        pass.charsWidth = pass.savedCharsWidth;  // an unfinished word starts the next line
    spreadGaps(pass);
    lineStartStyle = m_running;
    file.seek(pass.lineEndPos);
}

// One word filled the width before any separator: it is broken after the character that
// reached the width, which stays on this line.
void LineFitter::breakLongWord(Pass &pass)
{
    PositionedReader &file = m_document.reader();
    if (pass.afterLastTaken >= 0) {
        pass.lineEndPos = pass.afterLastTaken;
    } else {
        file.seek(pass.lastCharPos);
        m_document.readDecodedChar();
        pass.lineEndPos = file.pos();
    }
    m_words[0].text = pass.word;
    m_count = 1;
}

// The gaps a justified line draws: the spare width spread one pixel at a time from the first gap
// on, so the first gaps take the remainder.
void LineFitter::spreadGaps(const Pass &pass)
{
    int gapsWidth = pass.gapsWidth;
    if (m_count > 1)
        gapsWidth -= m_layout.spaceWidth;  // none after the last word
    const int spare = pass.available - pass.charsWidth - gapsWidth;
    const int gaps = m_count - 1;
    if (spare <= 0 || gaps <= 0)
        return;
    for (int i = 0; i < gaps; ++i)
        m_words[size_t(i)].gap += spare / gaps + (i < spare % gaps ? 1 : 0);
}

bool LineFitter::checkNewParagraph()
{
    PositionedReader &file = m_document.reader();
    if (m_patterns.isDefault()) {
        // A carriage return is white space here too, so "\r\n\r\n" ends a paragraph as "\n\n" does.
        const char32_t c = file.readChar();
        return c == Space || c == Tab || c == LineFeed || c == CarriageReturn;
    }
    QString next;
    for (int i = 0; i < MaxLookAhead && !file.atEnd(); ++i) {
        char32_t c = m_document.readDecodedChar();
        if (c == CarriageReturn && m_layout.crConvert)
            c = LineFeed;
        if (c == LineFeed)
            break;
        appendChar(next, c);
    }
    return m_patterns.matchesAny(next);
}
