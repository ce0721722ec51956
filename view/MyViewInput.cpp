// Keys and taps on the reading view: paging, font size, toggles, the progress-bar jump, link
// following and going back over links.
#include "MyView.h"

#include "PluckerCodes.h"

#include <QAction>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QDesktopServices>
#include <QUrl>
#include <QWheelEvent>
#include <cstdlib>

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
    if (m_translation.isShown()) {
        e->accept();
        translationKey(e);
        return;
    }
    if (scrollKey(e))
        return;
    e->ignore();  // the main window acts on these keys too

    const int rot = rotationIndex(m_settings.rotation);
    int action = -1;
    switch (e->key()) {
    case Qt::Key_B:
        m_settings.barVisible = !m_settings.barVisible;
        pickupSettings();
        return;
    case Qt::Key_S:
        m_settings.stripHtml = !m_settings.stripHtml;
        resumeSlot();
        return;
    // The desktop's paging keys, the same in every rotation.
    case Qt::Key_PageDown: action = NextPage; break;
    case Qt::Key_PageUp: action = PreviousPage; break;
    case Qt::Key_Home:
        if (documentOpen())
            firstPage();
        return;
    case Qt::Key_End:
        if (documentOpen())
            lastPage();
        return;
    case Qt::Key_Up: action = keytransUp[rot]; break;
    case Qt::Key_Down: action = keytransDown[rot]; break;
    case Qt::Key_Left: action = keytransLeft[rot]; break;
    case Qt::Key_Right: action = keytransRight[rot]; break;
    default: return;
    }
    if (!documentOpen())
        return;
    switch (action) {
    case PreviousPage: previousPage(); break;
    case NextPage: nextPage(); break;
    case SmallerFont: changeFontSize(-1); break;
    case LargerFont: changeFontSize(+1); break;
    }
}

// On the translation page keys edit the looked-up word; OK returns to the document.
void MyView::translationKey(QKeyEvent *e)
{
    if (isOkKey(e->key())) {
        m_translation.hide();
        pickupSettings();
    } else if (e->key() == Qt::Key_Backspace) {
        QString shorter = m_translation.word();
        shorter.chop(shorter.isEmpty() ? 0 : 1);
        intTranslate(shorter);
    } else {
        intTranslate(m_translation.word() + e->text());
    }
}

// OK starts and stops auto-scroll at rotations 0 and -90; while the text moves every other key
// is swallowed. True when the key was taken here.
bool MyView::scrollKey(QKeyEvent *e)
{
    const int rot = rotationIndex(m_settings.rotation);
    const bool running = m_scroller.autoScroll() && m_scroller.scrolling();
    if (!isOkKey(e->key()) || (rot != 0 && rot != 1)) {
        if (running)
            e->accept();
        return running;
    }
    if (running) {
        e->accept();
        scrollOff();  // the loop further up the stack ends after the current line
        return true;
    }
    if (m_scroller.autoScroll() || m_scroller.scrolling())
        return false;
    e->accept();
    // The screen saver is held off while the text moves and let go however the scroll ends, also
    // when a resize stops it.
    QPointer<MyView> alive(this);
    sendScreenSaverMode(2);
    scrollOn();
    if (alive)
        sendScreenSaverMode(100);
    return true;
}

// Smaller while above 8, larger while below 24: a size outside that range (from the settings
// file) moves back toward it one step at a time.
void MyView::changeFontSize(int delta)
{
    if (delta < 0 ? m_settings.fontSize <= 8 : m_settings.fontSize >= 24)
        return;
    m_settings.fontSize += delta;
    m_pages.setCurrent(m_pageStart);
    pickupSettings();
}

void MyView::mousePressEvent(QMouseEvent *e)
{
    if (m_translation.isShown()) {
        m_translation.hide();
        pickupSettings();
        return;
    }
    if (m_scroller.autoScroll() && m_scroller.scrolling())
        return;
    const int x = int(e->position().x());
    const int y = int(e->position().y());
    const int w = width();
    const int h = height();
    int px, py;
    switch (rotationIndex(m_settings.rotation)) {
    case 0: px = x, py = y; break;
    case 1: px = h - y, py = x; break;
    case 2: px = y, py = w - x; break;
    default: px = w - x, py = h - y; break;
    }
    if (!documentOpen())
        return;

    if (m_settings.barVisible && py > m_paper.height() - 4 - m_barHeight) {
        jumpToFraction(px);
        return;
    }
    const PageWords::Word *word = m_words.wordAt(px, py, linePitch());
    if (word) {
        const qint64 target = linkTarget(word->linkRecord, word->linkParagraph);
        if (target >= 0) {
            followLink(m_pageStart.position, target);
            return;
        }
        if (word->htmlLink && followHtmlLink(m_document.linkAddress(word->htmlLink)))
            return;
    }
    const QString text = word ? word->text : QString();
    if (m_settings.internalDictionary)
        intTranslate(text);
    else
        translate(text);
}

void MyView::mouseDoubleClickEvent(QMouseEvent *) {}

// A wheel step turns the page; with Ctrl it changes the font size.
void MyView::wheelEvent(QWheelEvent *e)
{
    e->accept();
    if (m_translation.isShown() || (m_scroller.autoScroll() && m_scroller.scrolling()) || !documentOpen())
        return;
    m_wheelDelta += e->angleDelta().y();
    while (std::abs(m_wheelDelta) >= QWheelEvent::DefaultDeltasPerStep) {
        const bool back = m_wheelDelta > 0;  // turned away from the user
        m_wheelDelta += back ? -QWheelEvent::DefaultDeltasPerStep : QWheelEvent::DefaultDeltasPerStep;
        if (e->modifiers() & Qt::ControlModifier)
            changeFontSize(back ? +1 : -1);
        else if (back)
            previousPage();
        else
            nextPage();
    }
}

// A tap on the progress bar: the page shown is the one that ends at the tapped fraction.
void MyView::jumpToFraction(int px)
{
    const qint64 size = m_document.size();
    const qint64 clamped = std::clamp(px, 0, m_paper.width());
    m_pageStart.position = m_paper.width() > 0
                               ? size / m_paper.width() * clamped + size % m_paper.width() * clamped / m_paper.width()
                               : 0;
    m_lineNewParagraph = false;
    m_pages.forget();
    m_document.reader().seek(findPrevPageIndex(m_pageStart.position));
    printPage();
}

QString MyView::wordForXY(int x, int y)
{
    const PageWords::Word *word = m_words.wordAt(x, y, linePitch());
    return word ? word->text : QString();
}

qint64 MyView::linkTarget(uint16_t record, uint16_t paragraph) const
{
    if (record == 0 && paragraph == 0)
        return -1;
    for (const PluckerIndexEntry &entry : m_document.pluckerIndex()) {
        if (entry.recordId == record && entry.paragraph == paragraph)
            return entry.offset;
    }
    return -1;
}

// A link within the document goes to its named place; one to the web or to a mail address goes
// to the desktop's handler, never into the reader. Anything else is no link to follow.
bool MyView::followHtmlLink(const QString &address)
{
    if (address.startsWith(QLatin1Char('#'))) {
        if (!m_anchors.isBuilt())
            m_anchors.build(m_document);
        const qint64 target = m_anchors.position(QUrl::fromPercentEncoding(address.mid(1).toUtf8()));
        if (target < 0)
            return false;
        followLink(m_pageStart.position, target);
        return true;
    }
    const QUrl url(address);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")
                           && scheme != QLatin1String("mailto")))
        return false;
    if (m_openUrl)
        m_openUrl(url);
    else
        QDesktopServices::openUrl(url);
    return true;
}

void MyView::followLink(qint64 from, qint64 to)
{
    m_links.follow(from, to);
    m_pageStart.position = to;
    m_lineNewParagraph = true;
    m_pages.forget();
    findPluckerAttrBack(to);
    m_document.reader().seek(to);
    if (m_backAction)
        m_backAction->setEnabled(true);
    printPage();
}

void MyView::goLinkBack()
{
    if (!m_links.canGoBack() || !documentOpen())
        return;
    m_pageStart.position = m_links.goBack();
    if (!m_links.canGoBack() && m_backAction)
        m_backAction->setEnabled(false);
    m_lineNewParagraph = true;
    m_pages.forget();
    findPluckerAttrBack(m_pageStart.position);
    m_document.reader().seek(m_pageStart.position);
    printPage();
}
