// Auto-scroll: the text moves up one pixel per step while each new line is fitted into a strip
// below the screen and revealed row by row. The loop runs inside the key handler that started
// it and lets events through between steps, so the key that stops it arrives re-entrantly.
#include "MyView.h"

#include "QCopEnvelope.h"

#include <QPainter>
#include <QPointer>

void MyView::sendScreenSaverMode(int mode)
{
    QCopEnvelope envelope(QStringLiteral("QPE/System"), QStringLiteral("setScreenSaverMode(int)"));
    envelope << mode;
}

void MyView::scrollOff()
{
    m_scroller.scrollOff();
}

void MyView::scrollOn()
{
    if (!documentOpen())
        return;
    QPointer<MyView> alive(this);
    const int pitch = linePitch();
    const int pageHeight = m_paper.height();
    // The ring of line starts must hold every line on the screen and the ones scrolled in.
    m_scroller.start(std::max(50, pageHeight / std::max(1, pitch) + 3));

    m_paper = m_paper.copy(0, 0, m_paper.width(), pageHeight + pitch);
    restoreFrom(m_pages.current());
    clearPaper();
    layOutRecordingLines(pageHeight - (m_settings.barVisible ? m_barHeight : 0));
    m_scroller.markScreenEnd();
    showIt();
    const QPixmap &shown = m_settings.rotation == 0.0 ? m_paper : m_rotatedPaper;
    m_scroller.screen() = shown.copy(0, 0, width(), height());
    m_scroller.startTimer(m_settings.scrollDelay);

    const int screenY = m_penY - pitch;
    QPixmap strip(m_paper.width(), 2 * m_settings.lineSpacing + 2 * pitch + 3);
    strip.fill(m_theme.paper);
    {
        QPainter stripPainter(&strip);
        stripPainter.drawPixmap(0, 0, m_paper, 0, screenY, m_paper.width(), pitch);
    }
    m_penY = pitch;
    while (m_scroller.autoScroll()) {
        scrollLine(strip, screenY);
        if (!alive)
            return;  // the view went away while events were processed
    }

    m_paper = m_paper.copy(0, 0, m_paper.width(), pageHeight);
    m_pages.forget();
    const PageStart top = m_scroller.topLine();
    restoreFrom(top);
    const bool resized = m_scroller.resizedWhileScrolling();
    m_scroller.finish();
    if (resized) {
        // Lay the page out at the new size, from the top line.
        m_pages.setCurrent(top);
        resizePixmapSlot();
        return;
    }
    printPage();
}

// The page again, noting where each line starts; past the end blank lines fill it.
void MyView::layOutRecordingLines(int bottom)
{
    QPainter painter(&m_paper);
    m_painter.begin(&painter);
    for (;;) {
        m_scroller.store(PageStart::at(m_document.reader().pos(), m_lineNewParagraph, m_lineStartStyle));
        if (!placeNextLine(bottom))
            break;
        m_scroller.next();
    }
    m_painter.end();
}

// Fits the next line into the strip below the screen and reveals it one pixel per step.
void MyView::scrollLine(QPixmap &strip, int screenY)
{
    QPointer<MyView> alive(this);
    const int pitch = linePitch();
    m_penX = m_margin;
    m_scroller.store(PageStart::at(m_document.reader().pos(), m_lineNewParagraph, m_lineStartStyle));
    if (m_lineNewParagraph)
        m_penX += m_settings.paragraphIndent;
    readStringFit();
    m_penY = pitch;
    {
        QPainter stripPainter(&strip);
        m_painter.begin(&stripPainter);
        if (!m_fitter.lineWord(0).text.isEmpty())
            printLine();
        m_painter.end();
    }
    m_lineNewParagraph = m_fitter.nextLineNewParagraph();
    m_scroller.next();

    const int rows = pitch + m_fitter.lineFontIncrement();
    for (int step = 1; step <= rows; ++step) {
        m_scroller.delay();
        if (!alive)
            return;
        revealStep(strip, screenY, step);
        m_scroller.startTimer(m_settings.scrollDelay);
    }
    // The lower part of the line just revealed stays at the strip's top.
    QPixmap moved(strip.size());
    moved.fill(m_theme.paper);
    {
        QPainter p(&moved);
        p.drawPixmap(0, 0, strip, 0, rows, strip.width(), strip.height() - rows);
    }
    strip = moved;
}

void MyView::revealStep(const QPixmap &strip, int screenY, int step)
{
    QPixmap &shown = m_scroller.screen();
    QPainter screen(&shown);
    if (m_settings.rotation == 0.0) {
        shown.scroll(0, -1, shown.rect());
        screen.drawPixmap(0, screenY, strip, 0, step, strip.width(), strip.height() - step);
    } else {
        shown.scroll(-1, 0, shown.rect());
        m_rotatedPaper = strip.transformed(m_rotation);
        screen.drawPixmap(screenY, 0, m_rotatedPaper, step, 0, m_rotatedPaper.width() - step,
                          m_rotatedPaper.height());
    }
    update();
}
