#pragma once

#include "MarkupReader.h"
#include "LayoutTypes.h"
#include "WordFonts.h"

#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <array>

class Document;

// The paragraph expression split at "|" into at most five alternatives; a line starts a
// paragraph when any of them matches it.
class ParagraphPatterns
{
public:
    static constexpr int MaxPatterns = 5;
    static constexpr int MaxAlternativeLength = 100;  // longer last alternatives are cut

    void setExpression(const QString &expression);
    // The default "^\s+|^\s*$": the character after a line feed decides alone.
    bool isDefault() const { return m_isDefault; }
    QStringList alternatives() const;
    bool matchesAny(const QString &line) const;

private:
    std::array<QString, MaxPatterns> m_patterns;
    std::array<QRegularExpression, MaxPatterns> m_compiled;
    int m_last = 0;  // index of the last alternative in use
    bool m_isDefault = true;
};

// How lines are laid out: the settings the fitter works with.
struct LineLayout
{
    int pageMargin = 4;       // left and right
    int paragraphIndent = 16;  // extra indent of a paragraph's first line
    int spaceWidth = 0;       // of the base font: a gap between words
    bool reparagraph = true;  // a line feed ends a paragraph only where the patterns say so
    bool crConvert = false;   // a carriage return counts as a line feed
    bool collapseSpaces = true;
    bool stripNewlinesInHtml = false;
    QString paragraphRegexp = QStringLiteral("^\\s+|^\\s*$");
};

// Fills one display line at a time with the words that fit, reading forward from the document's
// position, and leaves the file at the start of the next line. Forward paging, backward paging
// and auto-scroll all fit lines here, so they agree on where lines break.
class LineFitter
{
public:
    static constexpr int MaxLineWords = 100;

    LineFitter(Document &document, WordFonts &fonts);

    void setLayout(const LineLayout &layout);
    // Only the margins change (the paper grew or shrank with a longest line set).
    void setPageMargin(int margin) { m_layout.pageMargin = margin; }
    const LineLayout &layout() const { return m_layout; }
    const ParagraphPatterns &paragraphPatterns() const { return m_patterns; }

    // Fits the line that starts at the document's position into a paper `paperWidth` pixels wide.
    // `startsParagraph`: the line starts a paragraph (it is indented). `lineStartStyle` holds the
    // text attributes at the line's start and receives those in force after it.
    void readStringFit(int paperWidth, bool startsParagraph, TextStyle &lineStartStyle);
    // Called just after a line feed: whether the next line starts a paragraph. Reads ahead and
    // leaves the file where it stopped; the caller puts it back.
    bool checkNewParagraph();

    int lineWordCount() const { return m_count; }
    const LineWord &lineWord(int i) const { return m_words[size_t(i)]; }
    QStringList lineTexts() const;
    // The line just fitted ends a paragraph or the text.
    bool nextLineNewParagraph() const { return m_endsParagraph; }
    // The line just fitted ends at a forced line break (br, a line feed in pre): like the last line
    // of a paragraph it is not stretched.
    bool endsAtLineBreak() const { return m_endsAtBreak; }
    MarkupReader &markup() { return m_markup; }
    // The largest font increment met on the line, which lowers its baseline.
    uint8_t lineFontIncrement() const { return m_fontIncrement; }
    // How many lines were fitted so far (tests count re-fitting with it).
    qint64 calls() const { return m_calls; }

private:
    struct Pass;
    // Inlined: the loop's running sums stay in registers only when this is part of it.
    Q_ALWAYS_INLINE bool endWord(Pass &pass, char32_t separator);
    void breakLongWord(Pass &pass);
    void spreadGaps(const Pass &pass);

    Document &m_document;
    WordFonts &m_fonts;
    MarkupReader m_markup;
    LineLayout m_layout;
    ParagraphPatterns m_patterns;
    const WordFonts::Face *m_face = nullptr;  // face of the word being collected
    std::array<LineWord, MaxLineWords> m_words;
    int m_count = 0;
    bool m_endsParagraph = true;
    bool m_endsAtBreak = false;
    uint8_t m_fontIncrement = 0;
    TextStyle m_running;  // attributes while characters are read
    qint64 m_calls = 0;
};
