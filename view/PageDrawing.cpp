// Page composition: fits lines until the paper is full and draws them word by word, then the
// progress bar.
#include "MyView.h"

#include <QPainter>

void MyView::printPage()
{
    if (!documentOpen)
        return;
    pageStart.paragraph = lineNewParagraph;
    pageStart.position = file.pos();
    pageStart.setStyle(lineStartStyle);
    pageHistory[pageIndex] = pageStart;

    clearPaper();
    pageWordCount = 0;
    const int textBottom = paper.height() - (barVisible ? barHeight : 0);
    const int pitch = fontSize + lineSpacing;

    QPainter painter(&paper);
    m_paperPainter = &painter;
    m_painterFace = nullptr;
    while (!file.atEnd()) {
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
            break;
        }
        if (m_lineObserver)
            m_lineObserver(startPosition, startParagraph);
        if (!lineWords[0].text.isEmpty())
            printLine();
        lineNewParagraph = nextLineNewParagraph;
        penY += pitch;
        if (penY >= textBottom)
            break;
    }
    m_paperPainter = nullptr;
    painter.end();
    paintProgressBar();
    showIt();
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
    if (m_paperPainter) {
        if (m_painterFace != m_face) {
            m_paperPainter->setFont(m_face->font());
            m_painterFace = m_face;
        }
        m_paperPainter->setPen(wordPenColor.isValid() ? wordPenColor : QColor(Qt::black));
        m_paperPainter->drawText(penX, penY, text);
    }
    // Advance by the widths the fitter measured, so justified lines end exactly at the margin.
    int width = 0;
    for (const char32_t c : text.toUcs4())
        width += m_face->width(c);
    penX += width;
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
