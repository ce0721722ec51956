#pragma once

#include "AnchorIndex.h"
#include "AutoScroller.h"
#include "Document.h"
#include "FindMarks.h"
#include "LayoutTypes.h"
#include "LineFitter.h"
#include "LinkHistory.h"
#include "PageCount.h"
#include "PageHistory.h"
#include "PageWords.h"
#include "ReaderSettings.h"
#include "Theme.h"
#include "TranslationPage.h"
#include "WordFonts.h"
#include "WordPainter.h"

#include <QFont>
#include <QPixmap>
#include <QString>
#include <QTransform>
#include <QWidget>
#include <functional>
#include <vector>

class QAction;
class QUrl;
class QMainWindow;

// The reading view: lays the open document out page by page, straight from its bytes, and shows
// the page turned by the display rotation. It takes keys and taps, pages back through the pages
// it has shown (or works the previous page out), follows links, scrolls, and shows the
// translation page of a tapped word. Settings take effect through pickupSettings() or
// resumeSlot().
class MyView : public QWidget
{
    Q_OBJECT

public:
    MyView(QMainWindow *parent, const char *name = nullptr);
    ~MyView() override;

    // The settings the page is laid out with. setSettings() takes effect at the next
    // pickupSettings() or resumeSlot(); applySettings() takes effect at once, opening the document
    // again only when the change needs it.
    const ReaderSettings &settings() const { return m_settings; }
    void setSettings(const ReaderSettings &settings) { m_settings = settings; }
    void applySettings(const ReaderSettings &settings);

    // The document: the path given to fileOpen() or set here for the next resumeSlot().
    const QString &fileName() const { return m_fileName; }
    void setFileName(const QString &path) { m_fileName = path; }
    bool documentOpen() const { return m_document.isOpen(); }
    const Document &document() const { return m_document; }
    // What the document calls itself (an HTML title); empty when it does not say.
    QString documentTitle() { return m_document.title(); }
    QString documentAuthor() const { return m_document.author(); }
    // The file really read stands at its end: the page on screen is the last one.
    bool atEnd() { return m_document.reader().atEnd(); }

    // Where the page on screen starts, with the attributes in force there. A new value set here
    // is laid out by the next resumeSlot().
    const PageStart &pageStart() const { return m_pageStart; }
    void setPageStart(const PageStart &start) { m_pageStart = start; }
    // Lays out the page that starts at `start`, as a jump does: pages shown before are forgotten.
    void showPageAt(const PageStart &start);

    const PageHistory &pageHistory() const { return m_pages; }
    const LineFitter &lineFitter() const { return m_fitter; }
    const TranslationPage &translation() const { return m_translation; }
    bool translationShown() const { return m_translation.isShown(); }
    const AutoScroller &scroller() const { return m_scroller; }
    // The words drawn on the page on screen, where taps find them.
    const PageWords &pageWords() const { return m_words; }
    // The page in reading orientation, before it is turned for the screen.
    const QPixmap &paper() const { return m_paper; }
    // The window's Back action: enabled while there are links to go back over.
    void setBackAction(QAction *action) { m_backAction = action; }

    // Fits the next line from the file's position (see LineFitter::readStringFit).
    void readStringFit();
    // Paging: the next page starts where the page on screen ends; the previous one comes from
    // the page history or is worked out backwards.
    void nextPage();
    void previousPage();
    // Where the page that ends at `pos` starts; sets the paragraph flag and attributes for it and
    // leaves the file before `pos`. -1 without a document.
    qint64 findPrevPageIndex(qint64 pos);
    // The nearest paragraph mark before pos - 2, or 0; leaves the file at pos - 2. -1 without a
    // document.
    qint64 findNewParagraphBack(qint64 pos);
    // Sets the attributes of the next line to the Plucker attributes in force at `pos`.
    void findPluckerAttrBack(qint64 pos);
    // The first words of the page on screen, for a bookmark; empty without a document.
    QString getBookmarkName();
    // Nominal page number (2000-byte pages) of the page on screen, from 1.
    qint64 getPageNumber() const;
    // What the legible bar says of the page on screen: "page x of y · n%", pages counted in the
    // average length of the pages laid out so far.
    QString progressText() const;
    // Writes a contents file at `path` from named HTML anchors or short lines after blank lines,
    // showing its progress. The page on screen and the reading position are left as they were.
    void generateContents(const QString &path);
    // The word drawn at paper point (x, y); empty when there is none.
    QString wordForXY(int x, int y);
    // Auto-scroll: scrollOn() runs the scroll and returns when it has stopped.
    void scrollOn();
    void scrollOff();
    // Word lookup: the built-in dictionary's page, or the outside dictionary application.
    void intTranslate(const QString &word);
    void translate(const QString &word);

    // Called for every line printPage() draws (or passes over as blank), with where it starts.
    using LineObserver = std::function<void(qint64 start, bool paragraph, const QStringList &words)>;
    void setLineObserver(LineObserver observer) { m_lineObserver = std::move(observer); }
    // Called whenever printPage() starts a page, with where the page starts.
    using PageObserver = std::function<void(qint64 start)>;
    void setPageObserver(PageObserver observer) { m_pageObserver = std::move(observer); }
    // How many lines were fitted since construction (paging tests count re-fitting).
    qint64 fitterCalls() const { return m_fitter.calls(); }
    // What opens a web or mail address tapped in the text; the desktop's handler unless set.
    void setUrlOpener(std::function<void(const QUrl &)> opener) { m_openUrl = std::move(opener); }

    // Finding: the document as a finder reads it, where the next search starts (after the hit
    // marked on this page, else from the page's start; backward: before it, else the page's end),
    // the page that holds a hit shown with the hits on it marked, and going to a page as the bar
    // counts them or to a share of the book. Defined in MyViewFind.cpp.
    FindSource findSource() const;
    static FindSource findSourceFor(const QString &path, const ReaderSettings &settings);
    qint64 findOrigin(bool backward) const;
    void showHit(const FindQuery &query, const Hit &hit);
    void clearFoundMarks();
    const FindMarks &foundMarks() const { return m_found; }
    void goToPage(qint64 page);
    void goToPercent(double percent);

public Q_SLOTS:
    void fileOpen(const QString &path);
    void resumeSlot();
    void pickupSettings();
    void resizePixmapSlot();
    void printPage();
    void goLinkBack();

Q_SIGNALS:
    // A page was laid out and shown (the window notes the place in the library a moment later).
    void pageShown();
    void resizePixmap();
    void pickupSettingsSignal();
    void toggleFullScreen();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;  // not a second tap
    void wheelEvent(QWheelEvent *event) override;

private:
    void makeStream(const QString &path);
    // Prepares `path` off the window's thread when it needs preparing, then opens it.
    Status openDocument(const QString &path);
    void setEncoding();
    void clearPaper();
    void showIt();
    void restoreFrom(const PageStart &start);
    // Fits the next line and draws it at the pen when it fits above `textBottom`; otherwise puts
    // the file and attributes back to the line's start and returns false.
    bool placeNextLine(int textBottom);
    void printLine();
    void paintProgressBar();
    // At least a pixel: a size and spacing that add up to nothing (missing from a settings file,
    // say) would otherwise stack every line of the file on one page.
    int linePitch() const { return std::max(1, m_settings.fontSize + m_settings.lineSpacing); }
    // Margins that keep lines within the longest line set, centred on a wide paper.
    void applyMargins();
    void firstPage();
    void lastPage();
    int linesPerPage() const;
    int textBottom() const;
    void translationKey(QKeyEvent *event);
    bool scrollKey(QKeyEvent *event);
    void changeFontSize(int delta);
    void jumpToFraction(int px);
    void followLink(qint64 from, qint64 to);
    bool followHtmlLink(const QString &address);
    // Where a link drawn on the page leads; -1 when it leads nowhere known.
    qint64 linkTarget(uint16_t record, uint16_t paragraph) const;
    bool isParagraphMark(qint64 q);
    bool preformattedAt(qint64 pos) const;
    void layOutRecordingLines(int textBottom);
    void scrollLine(QPixmap &strip, int screenY);
    void revealStep(const QPixmap &strip, int screenY, int step);
    void sendScreenSaverMode(int mode);
    void showPageHolding(qint64 position);
    PageStart pageStartHolding(qint64 position);
    // Marks of found text: the line just fitted, then each word before it is drawn.
    void noteFoundLine(qint64 start, bool preformatted);
    void paintFoundUnder(int word, int x, const WordFonts::Face &face);

    ReaderSettings m_settings;
    QString m_fileName;
    Document m_document;
    bool m_preparing = false;  // a document is being prepared on a worker thread
    WordFonts m_fonts;
    LineFitter m_fitter;

    PageStart m_pageStart;           // the page on screen
    bool m_lineNewParagraph = true;  // the line about to be fitted starts a paragraph
    TextStyle m_lineStartStyle;      // attributes at the start of the line about to be fitted
    PageHistory m_pages;
    PageCount m_pageCount;  // for "page x of y"
    LinkHistory m_links;
    AnchorIndex m_anchors;  // the document's named places, read on the first link followed
    std::function<void(const QUrl &)> m_openUrl;
    PageWords m_words;
    WordPainter m_painter;
    AutoScroller m_scroller;
    TranslationPage m_translation;
    QAction *m_backAction = nullptr;
    QMainWindow *m_mainWindow = nullptr;

    QPixmap m_paper;         // the page in reading orientation
    QPixmap m_rotatedPaper;  // the paper turned by m_rotation
    QPixmap m_barPixmap;
    QTransform m_rotation;
    QFont m_barFont;
    int m_barHeight = 6;
    Theme m_theme = Theme::named(QStringLiteral("Day"));
    int m_margin = 4;      // left and right margin in use: pageMargin, or more to centre long lines
    int m_descent = 3;     // of the page font, below the baseline
    int m_wheelDelta = 0;  // wheel turns not yet a step
    int m_penX = 4;
    int m_penY = 0;

    std::vector<LineStart> m_lineStarts;  // work table of backward paging: a ring of line starts
    qint64 m_backwardFloor = 0;           // the backward paragraph search stops here
    std::vector<MarkupReader::Mark> m_htmlMarks;  // HTML paragraph marks near the backward search
    bool m_searchingBack = false;                  // findPrevPageIndex() is running
    bool m_skipRelayout = false;
    LineObserver m_lineObserver;
    PageObserver m_pageObserver;
    FindMarks m_found;
    std::vector<std::vector<ShownChar>> m_foundWords;  // the line's words' characters, when it holds a hit
    int m_foundGapX = -1;         // where the last word drawn ends, when its last character is marked
    qint64 m_foundGapStart = 0;   // that character's first byte
};
