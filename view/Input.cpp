// Keys and taps on the reading view: paging, font size, toggles, the progress-bar jump, link
// following and going back over links.
#include "MyView.h"

#include <QAction>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>

namespace {

enum Action { PreviousPage = 0, NextPage = 1, SmallerFont = 2, LargerFont = 3 };

// By rotation index: 0 for 0 degrees, 1 for -90, 2 for 90, 3 for anything else.
constexpr Action keytransUp[4] = {PreviousPage, LargerFont, SmallerFont, NextPage};
constexpr Action keytransDown[4] = {NextPage, SmallerFont, LargerFont, PreviousPage};
constexpr Action keytransLeft[4] = {SmallerFont, PreviousPage, NextPage, LargerFont};
constexpr Action keytransRight[4] = {LargerFont, NextPage, PreviousPage, SmallerFont};

int rotationIndex(double rotation)
{
    if (rotation == 0.0)
        return 0;
    if (rotation == -90.0)
        return 1;
    if (rotation == 90.0)
        return 2;
    return 3;
}

bool isOkKey(int key)
{
    // Return, the handheld's OK key (F33), and Enter from a keypad.
    return key == Qt::Key_Return || key == Qt::Key_F33 || key == Qt::Key_Enter;
}

} // namespace

void MyView::keyPressEvent(QKeyEvent *e)
{
    const int rot = rotationIndex(rotation);
    const int key = e->key();

    if (translationShown) {
        e->accept();
        if (isOkKey(key)) {
            translationShown = false;
            pickupSettings();
        } else if (key == Qt::Key_Backspace) {
            QString shorter = lookupWord;
            shorter.chop(shorter.isEmpty() ? 0 : 1);
            intTranslate(shorter);
        } else {
            intTranslate(lookupWord + e->text());
        }
        return;
    }

    const bool running = autoScroll && scrolling;
    if (isOkKey(key) && (rot == 0 || rot == 1)) {
        if (running) {
            e->accept();
            scrollOff();  // the loop below, further up the stack, ends after the current line
            return;
        }
        if (!autoScroll && !scrolling) {
            e->accept();
            // The screen saver is held off while the text moves and let go however the scroll
            // ends, also when a resize stops it.
            QPointer<MyView> alive(this);
            sendScreenSaverMode(2);
            scrollOn();
            if (alive)
                sendScreenSaverMode(100);
            return;
        }
    } else if (running) {
        e->accept();  // keys are swallowed while the text scrolls
        return;
    }
    e->ignore();  // the main window acts on these keys too

    int action = -1;
    switch (key) {
    case Qt::Key_B:
        barVisible = !barVisible;
        pickupSettings();
        return;
    case Qt::Key_S:
        stripHtml = !stripHtml;
        resumeSlot();
        return;
    case Qt::Key_Up: action = keytransUp[rot]; break;
    case Qt::Key_Down: action = keytransDown[rot]; break;
    case Qt::Key_Left: action = keytransLeft[rot]; break;
    case Qt::Key_Right: action = keytransRight[rot]; break;
    default: return;
    }
    if (!documentOpen)
        return;
    switch (action) {
    case PreviousPage: previousPage(); break;
    case NextPage: nextPage(); break;
    case SmallerFont: changeFontSize(-1); break;
    case LargerFont: changeFontSize(+1); break;
    }
}

void MyView::changeFontSize(int delta)
{
    const int size = fontSize + delta;
    if (size < 8 || size > 24)
        return;
    fontSize = size;
    pageFont.setPixelSize(fontSize);
    pageHistory[size_t(pageIndex)] = pageStart;
    pickupSettings();
}

void MyView::mousePressEvent(QMouseEvent *e)
{
    if (translationShown) {
        translationShown = false;
        pickupSettings();
        return;
    }
    if (autoScroll && scrolling)
        return;
    const int x = int(e->position().x());
    const int y = int(e->position().y());
    const int w = width();
    const int h = height();
    int px, py;
    switch (rotationIndex(rotation)) {
    case 0: px = x, py = y; break;
    case 1: px = h - y, py = x; break;
    case 2: px = y, py = w - x; break;
    default: px = w - x, py = h - y; break;
    }
    if (!documentOpen)
        return;

    if (barVisible && py > paper.height() - 4 - barHeight) {
        const qint64 clamped = std::clamp(px, 0, paper.width());
        pageStart.position = paper.width() > 0 ? fileSize / paper.width() * clamped
                                                     + fileSize % paper.width() * clamped / paper.width()
                                               : 0;
        lineNewParagraph = false;
        historyDepth = 0;
        file.seek(findPrevPageIndex(pageStart.position));
        printPage();
        return;
    }

    linkFound = false;
    pickActive = true;
    const qint64 before = pageStart.position;
    const QString word = wordForXY(px, py);
    pickActive = false;
    if (linkFound) {
        followLink(before);
        return;
    }
    if (internalDictionary)
        intTranslate(word);
    else
        translate(word);
}

void MyView::followLink(qint64 from)
{
    if (linkBackCount == 0)
        linkBackStack[0] = from;
    lineNewParagraph = true;
    historyDepth = 0;
    findPluckerAttrBack(pageStart.position);
    file.seek(pageStart.position);
    linkBackIndex = (linkBackIndex + 1) % LinkBackSize;
    if (linkBackCount < LinkBackSize)
        ++linkBackCount;
    linkBackStack[size_t(linkBackIndex)] = pageStart.position;
    if (backAction)
        backAction->setEnabled(true);
    printPage();
}

void MyView::mouseReleaseEvent(QMouseEvent *) {}
void MyView::mouseDoubleClickEvent(QMouseEvent *) {}

QString MyView::wordForXY(int x, int y)
{
    const int pitch = fontSize + lineSpacing;
    for (int i = std::min(pageWordCount, MaxPageWords - 1) - 1; i >= 0; --i) {
        const PageWord &w = pageWords[size_t(i)];
        if (w.y > y + pitch || w.x > x)
            continue;
        if (!pluckerIndex.isEmpty() && (w.linkRecord != 0 || w.linkParagraph != 0)) {
            for (const PluckerIndexEntry &entry : std::as_const(pluckerIndex)) {
                if (entry.recordId == w.linkRecord && entry.paragraph == w.linkParagraph) {
                    linkFound = true;
                    pageStart.position = entry.offset;
                    break;
                }
            }
        }
        return w.text;
    }
    return QString();
}

void MyView::goLinkBack()
{
    if (linkBackCount == 0 || !documentOpen)
        return;
    --linkBackCount;
    linkBackIndex = (linkBackIndex + LinkBackSize - 1) % LinkBackSize;
    if (linkBackCount == 0 && backAction)
        backAction->setEnabled(false);
    pageStart.position = linkBackStack[size_t(linkBackIndex)];
    lineNewParagraph = true;
    historyDepth = 0;
    findPluckerAttrBack(pageStart.position);
    file.seek(pageStart.position);
    printPage();
}
