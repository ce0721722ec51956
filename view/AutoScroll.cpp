// Auto-scroll: the text moves up one pixel per step while each new line is fitted into a strip
// below the screen and revealed row by row. The loop runs inside the key handler that started
// it and lets events through between steps, so the key that stops it arrives re-entrantly.
#include "MyView.h"

#include "QCopEnvelope.h"

#include <QApplication>
#include <QPainter>
#include <QPointer>
#include <QTimer>

void MyView::sendScreenSaverMode(int mode)
{
    QCopEnvelope envelope(QStringLiteral("QPE/System"), QStringLiteral("setScreenSaverMode(int)"));
    envelope << mode;
}

void MyView::startTimer()
{
    timerPending = true;
    QTimer::singleShot(scrollDelay, this, &MyView::timerStopped);
}

void MyView::timerStopped()
{
    timerPending = false;
}

void MyView::delay()
{
    while (timerPending)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void MyView::scrollOff()
{
    autoScroll = false;
}

void MyView::scrollOn()
{
    if (!documentOpen)
        return;
    QPointer<MyView> alive(this);
    autoScroll = scrolling = true;
    m_resizedWhileScrolling = false;
    const int pitch = fontSize + lineSpacing;
    const int pageHeight = paper.height();
    const int textBottom = pageHeight - (barVisible ? barHeight : 0);

    // The ring of line starts must hold every line on the screen and the ones scrolled in.
    lineHistory.assign(size_t(std::max(LineHistorySize, pageHeight / std::max(1, pitch) + 3)), PageStart{});
    const int ringSize = int(lineHistory.size());
    auto store = [this](int slot) {
        PageStart &entry = lineHistory[size_t(slot)];
        entry.position = file.pos();
        entry.paragraph = lineNewParagraph;
        entry.setStyle(lineStartStyle);
    };

    paper = paper.copy(0, 0, paper.width(), pageHeight + pitch);
    restoreFrom(pageHistory[size_t(pageIndex)]);
    clearPaper();
    lineHistoryIndex = 0;
    {
        QPainter painter(&paper);
        m_paperPainter = &painter;
        m_painterFace = nullptr;
        // The page again, noting where each line starts; past the end blank lines fill it.
        for (;;) {
            store(lineHistoryIndex);
            if (!placeNextLine(textBottom))
                break;
            lineHistoryIndex = (lineHistoryIndex + 1) % ringSize;
        }
        m_paperPainter = nullptr;
    }
    lineHistoryMark = lineHistoryIndex;
    showIt();
    m_screen = rotation == 0.0 ? paper.copy(0, 0, width(), height()) : rotatedPaper.copy(0, 0, width(), height());
    startTimer();

    const int screenY = penY - pitch;
    QPixmap strip(paper.width(), 2 * lineSpacing + 2 * pitch + 3);
    strip.fill(Qt::white);
    {
        QPainter stripPainter(&strip);
        stripPainter.drawPixmap(0, 0, paper, 0, screenY, paper.width(), pitch);
    }
    penY = pitch;

    while (autoScroll) {
        penX = pageMargin;
        store(lineHistoryIndex);
        if (lineNewParagraph)
            penX += paragraphIndent;
        readStringFit();
        penY = pitch;
        {
            QPainter stripPainter(&strip);
            m_paperPainter = &stripPainter;
            m_painterFace = nullptr;
            if (!lineWords[0].text.isEmpty())
                printLine();
            m_paperPainter = nullptr;
        }
        lineNewParagraph = nextLineNewParagraph;
        lineHistoryIndex = (lineHistoryIndex + 1) % ringSize;

        const int rows = pitch + lineFontIncrement;
        for (scrollStep = 1; scrollStep <= rows; ++scrollStep) {
            delay();
            if (!alive)
                return;  // the view went away while events were processed
            revealStep(strip, screenY);
            startTimer();
        }
        // The lower part of the line just revealed stays at the strip's top.
        QPixmap moved(strip.size());
        moved.fill(Qt::white);
        {
            QPainter p(&moved);
            p.drawPixmap(0, 0, strip, 0, rows, strip.width(), strip.height() - rows);
        }
        strip = moved;
    }

    delay();  // let the last step's timer run out before the page is laid out
    if (!alive)
        return;
    paper = paper.copy(0, 0, paper.width(), pageHeight);
    historyDepth = 0;
    int top = lineHistoryIndex - lineHistoryMark;
    if (top < 0)
        top += ringSize;
    restoreFrom(lineHistory[size_t(top)]);
    scrolling = false;
    m_screen = QPixmap();
    if (m_resizedWhileScrolling) {
        // Lay the page out at the new size, from the top line.
        pageHistory[size_t(pageIndex)] = lineHistory[size_t(top)];
        resizePixmapSlot();
        return;
    }
    printPage();
}

void MyView::revealStep(const QPixmap &strip, int screenY)
{
    QPainter screen(&m_screen);
    if (rotation == 0.0) {
        m_screen.scroll(0, -1, m_screen.rect());
        screen.drawPixmap(0, screenY, strip, 0, scrollStep, strip.width(), strip.height() - scrollStep);
    } else {
        m_screen.scroll(-1, 0, m_screen.rect());
        rotatedPaper = strip.transformed(rotationMatrix);
        screen.drawPixmap(screenY, 0, rotatedPaper, scrollStep, 0, rotatedPaper.width() - scrollStep,
                          rotatedPaper.height());
    }
    update();
}
