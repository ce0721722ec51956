// Page composition: fits lines until the paper is full and draws them word by word, then the
// progress bar.
#include "MyView.h"

#include <QGlyphRun>
#include <QPainter>

void MyView::printPage()
{
    if (!documentOpen)
        return;
    pageStart.paragraph = lineNewParagraph;
    pageStart.position = file.pos();
    pageStart.setStyle(lineStartStyle);
    pageHistory[pageIndex] = pageStart;
    if (m_pageObserver)
        m_pageObserver(pageStart.position);

    clearPaper();
    pageWordCount = 0;
    const int textBottom = paper.height() - (barVisible ? barHeight : 0);
    QPainter painter(&paper);
    m_paperPainter = &painter;
    m_painterFace = nullptr;
    while (!file.atEnd()) {
        if (!placeNextLine(textBottom) || penY >= textBottom)
            break;
    }
    m_paperPainter = nullptr;
    painter.end();
    paintProgressBar();
    showIt();
}

bool MyView::placeNextLine(int textBottom)
{
    penX = pageMargin + (lineNewParagraph ? paragraphIndent : 0);
    const bool startParagraph = lineNewParagraph;
    const qint64 startPosition = file.pos();
    const TextStyle startStyle = lineStartStyle;
    readStringFit();
    penY += lineFontIncrement;
    if (penY >= textBottom) {
        // The line does not fit: it begins the next page.
        lineNewParagraph = startParagraph;
        file.seek(startPosition);
        lineStartStyle = startStyle;
        return false;
    }
    if (m_lineObserver)
        m_lineObserver(startPosition, startParagraph);
    // A line holding only the empty word of a line feed is not drawn but takes its height.
    if (!lineWords[0].text.isEmpty())
        printLine();
    lineNewParagraph = nextLineNewParagraph;
    penY += fontSize + lineSpacing;
    return true;
}

void MyView::printLine()
{
    const bool justified = justifyLines && !nextLineNewParagraph;
    for (int i = 0; i < lineWordCount; ++i) {
        const LineWord &word = lineWords[i];
        wordPenColor = word.penColor;
        selectWordFont(TextStyle{word.bold, word.italic, word.underline, word.fontIncrement, 0, 0, {}});
        PageWord &slot = pageWords[size_t(std::min(pageWordCount, MaxPageWords - 2))];
        slot.linkRecord = word.linkRecord;
        slot.linkParagraph = word.linkParagraph;
        printWord(word.text);
        if (i < lineWordCount - 1)
            penX += justified ? word.gap : spaceWidth;
    }
    flushGlyphs();
}

void MyView::printWord(const QString &text)
{
    if (!autoScroll) {
        // The last slot in use takes every word past the table's end, so the latest word drawn
        // can still be tapped.
        PageWord &slot = pageWords[size_t(std::min(pageWordCount, MaxPageWords - 2))];
        slot.text = text;
        slot.x = penX;
        slot.y = penY;
        if (pageWordCount < MaxPageWords - 1)
            ++pageWordCount;
    }
    if (!m_face)
        selectWordFont(lineStartStyle);
    const QColor color = wordPenColor.isValid() ? wordPenColor : QColor(Qt::black);
    const int start = penX;
    int width = 0;
    const QList<uint> chars = text.toUcs4();
    for (const char32_t c : chars)
        width += m_face->width(c);
    penX += width;  // the widths the fitter measured, so justified lines end exactly at the margin
    if (!m_paperPainter || text.isEmpty())
        return;
    if (!queueGlyphs(text, chars, start, color)) {
        flushGlyphs();
        if (m_painterFace != m_face) {
            m_paperPainter->setFont(m_face->font());
            m_painterFace = m_face;
        }
        m_paperPainter->setPen(color);
        m_paperPainter->drawText(start, penY, text);
    }
}

// Scripts up to Cyrillic and Armenian need no shaping: their words are queued as glyphs at the
// fitter's widths and drawn a run at a time. Anything else, or a character the font lacks (which
// needs a fallback font), is drawn by the platform's text layout.
bool MyView::queueGlyphs(const QString &text, const QList<uint> &chars, int x, const QColor &color)
{
    for (const uint c : chars) {
        if (c < 0x20 || c >= 0x0590)
            return false;
    }
    // A glyph run draws its underline from the run's origin, not under the words: leave
    // underlined words to the text layout.
    if (m_face->font().underline())
        return false;
    const QRawFont &raw = m_face->rawFont();
    if (!raw.isValid())
        return false;
    QVector<quint32> glyphs = raw.glyphIndexesForString(text);
    if (glyphs.size() != chars.size() || glyphs.contains(0u))
        return false;
    if (m_glyphFace != m_face || m_glyphColor != color)
        flushGlyphs();
    m_glyphFace = m_face;
    m_glyphColor = color;
    for (qsizetype i = 0; i < glyphs.size(); ++i) {
        m_glyphs.append(glyphs[i]);
        m_glyphPositions.append(QPointF(x, penY));
        x += m_face->width(chars[i]);
    }
    return true;
}

void MyView::flushGlyphs()
{
    if (m_glyphs.isEmpty() || !m_paperPainter)
        return;
    QGlyphRun run;
    run.setRawFont(m_glyphFace->rawFont());
    run.setGlyphIndexes(m_glyphs);
    run.setPositions(m_glyphPositions);
    m_paperPainter->setPen(m_glyphColor);
    m_paperPainter->drawGlyphRun(QPointF(0, 0), run);
    m_glyphs.clear();
    m_glyphPositions.clear();
}

void MyView::paintProgressBar()
{
    if (!barVisible || paper.isNull())
        return;
    const qint64 end = file.pos();
    barLength = fileSize > 0 ? int(end * paper.width() / fileSize) : 0;
    barPixmap.fill(Qt::yellow);
    {
        QPainter bar(&barPixmap);
        if (barLength > 0) {
            bar.setPen(QPen(Qt::red, barHeight * 2, Qt::SolidLine, Qt::FlatCap));
            bar.drawLine(0, 0, barLength, 0);
        }
        bar.setPen(Qt::black);
        bar.setFont(barFont);
        bar.drawText(paper.width() - 16, barHeight, QString::number(pageNumberOf(pageHistory[pageIndex].position)));
    }
    QPainter onPaper(&paper);
    onPaper.drawPixmap(0, paper.height() - barHeight, barPixmap);
}
