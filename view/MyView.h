#pragma once

#include "PluckerIndex.h"
#include "PositionedReader.h"
#include "ViewTypes.h"
#include "WordFonts.h"

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QRegularExpression>
#include <QString>
#include <QTransform>
#include <QVector>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <vector>

class QAction;
class QMainWindow;
class QPainter;
class Dictionary;
class SourcePreparer;
class toUnicode;

// The reading view: lays the open document out page by page, straight from its bytes, and shows
// the page turned by the display rotation. The settings members are written by the main window
// and take effect through pickupSettings() or resumeSlot().
class MyView : public QWidget
{
    Q_OBJECT

public:
    static constexpr int MaxLineWords = 100;
    static constexpr int MaxPageWords = 400;
    static constexpr int PageHistorySize = 1000;
    static constexpr int LineHistorySize = 50;
    static constexpr int MaxLineStarts = 512;
    static constexpr int MaxParagraphPatterns = 5;
    static constexpr int LinkBackSize = 20;
    static constexpr qint64 NominalPageBytes = 2000;

    MyView(QMainWindow *parent, const char *name = nullptr);
    ~MyView() override;

    // Settings (the window reads and writes these directly).
    QString fontName = QStringLiteral("unifont");
    QString encodingName = QStringLiteral("UTF-8");
    QString fileName;
    int paragraphIndent = 16;
    int lineSpacing = 3;
    int pageMargin = 4;
    int fontSize = 12;  // pixels: also the line height of the layout
    bool fontBold = true;
    bool fontItalic = false;
    bool justifyLines = true;
    bool reparagraph = true;
    bool stripHtml = false;
    bool stripNewlinesInHtml = false;
    bool crConvert = false;
    bool collapseSpaces = true;
    bool barVisible = true;
    double rotation = 0.0;  // degrees
    int scrollDelay = 200;  // milliseconds per one-pixel auto-scroll step
    QString paragraphRegexp = QStringLiteral("^\\s+|^\\s*$");
    bool internalDictionary = true;
    QString dictionaryPath;

    // Layout state.
    PageStart pageStart;        // the page on screen
    bool lineNewParagraph = true;      // the line about to be fitted starts a paragraph
    bool nextLineNewParagraph = true;  // the line just fitted ends a paragraph or the text
    bool htmlDocument = false;
    bool documentOpen = false;
    uint8_t lineFontIncrement = 0;
    uint8_t sourceKind = 0;  // 0 plain text, 1 HTML by extension, 2 Plucker
    QVector<PluckerIndexEntry> pluckerIndex;
    QAction *backAction = nullptr;
    bool translationShown = false;
    QMainWindow *mainWindow = nullptr;
    bool autoScroll = false;
    bool scrolling = false;
    bool pickActive = false;
    bool linkFound = false;
    bool timerPending = false;
    int scrollStep = 0;
    std::vector<PageStart> lineHistory;  // line starts while scrolling; sized to the screen
    int lineHistoryIndex = 0;
    int lineHistoryMark = 0;
    QString lookupWord;
    std::unique_ptr<Dictionary> dictionary;  // opened at the first lookup after the settings
    QString translationTitle;  // the title of the translation page on screen
    // Entry formatting state.
    int subsenseCount = 0;
    QString pronunciation;
    QString partOfSpeech;
    QString headword;

    std::array<qint64, LinkBackSize> linkBackStack{};
    int linkBackIndex = 0;
    int linkBackCount = 0;

    std::array<PageWord, MaxPageWords> pageWords;
    int pageWordCount = 0;
    std::array<LineWord, MaxLineWords> lineWords;
    int lineWordCount = 0;
    TextStyle lineStartStyle;
    TextStyle runningStyle;
    QColor wordPenColor;

    uint8_t barHeight = 6;
    int barLength = 0;

    std::vector<LineStart> lineStarts;  // work table of backward paging
    std::array<PageStart, PageHistorySize> pageHistory;
    int pageIndex = 0;
    int historyDepth = 0;  // earlier pages the ring can still give back
    const int pageHistorySize = PageHistorySize;

    qint64 fileSize = 0;
    qint64 virtualPageCount = 0;  // fileSize / 2000
    int penX = 4;
    int penY = 0;
    int spaceWidth = 0;

    QFont pageFont;
    QFont barFont;
    QPixmap paper;         // the page in reading orientation
    QPixmap rotatedPaper;  // paper turned by rotationMatrix
    QPixmap barPixmap;
    QTransform rotationMatrix;
    PositionedReader file;  // the file being read, decoding as setEncoding() chose
    std::unique_ptr<toUnicode> decoder;

    QString paragraphPatterns[MaxParagraphPatterns];
    int paragraphPatternLast = 0;

    // Layout operations.
    void clearPaper();
    void showIt();
    void readStringFit();
    bool checkNewParagraph();
    void printLine();
    void printWord(const QString &text);
    void paintProgressBar();
    void makeStream(const QString &path);
    // Paging: the next page starts where the page on screen ends; the previous one comes from
    // the ring or is worked out backwards.
    void nextPage();
    void previousPage();
    // Where the page that ends at `pos` starts; sets lineNewParagraph and lineStartStyle for it.
    qint64 findPrevPageIndex(qint64 pos);
    // The nearest paragraph mark before pos - 2, or 0; leaves the file at pos - 2.
    qint64 findNewParagraphBack(qint64 pos);
    // Sets lineStartStyle to the Plucker attributes in force at `pos`; leaves the file there.
    void findPluckerAttrBack(qint64 pos);
    // The first words of the page on screen, for a bookmark; empty without a document.
    QString getBookmarkName();
    // Nominal page number (2000-byte pages) of the page on screen, from 1.
    qint64 getPageNumber() const;
    // Writes a contents file at `path` from named HTML anchors or short lines after blank lines.
    // The page on screen and the reading position are left as they were.
    void generateContents(const QString &path);
    // The word drawn at paper point (x, y); may set linkFound and pageStart.position.
    QString wordForXY(int x, int y);
    // Auto-scroll: scrollOn() runs the scroll and returns when it has stopped.
    void scrollOn();
    void scrollOff();
    // Word lookup: the built-in dictionary's page, or the outside dictionary application.
    void intTranslate(const QString &word);
    void translate(const QString &word);
    // A sense's brace mark-up as page mark-up; the sense itself when it cannot be converted.
    QString dictFormat(const QString &sense, const QString &word);
    // Converts `body` from `pos` up to the closing tag of `section`, appending to `out`; returns
    // the position after that tag, the length of body when the text ends first, or -1.
    int dictProcessBody(const QString &body, int pos, QString &section, QString &out);
    void setEncoding();
    // The page number of a position: position x virtualPageCount / fileSize + 1.
    qint64 pageNumberOf(qint64 position) const;
    // Called for every line printPage() draws (or passes over as blank), with where it starts.
    using LineObserver = std::function<void(qint64 start, bool paragraph)>;
    void setLineObserver(LineObserver observer) { m_lineObserver = std::move(observer); }
    // Called whenever printPage() starts a page, with where the page starts.
    using PageObserver = std::function<void(qint64 start)>;
    void setPageObserver(PageObserver observer) { m_pageObserver = std::move(observer); }
    // How many times readStringFit() ran since construction (paging tests count re-fitting).
    qint64 fitterCalls() const { return m_fitterCalls; }

public Q_SLOTS:
    void fileOpen(const QString &path);
    void resumeSlot();
    void pickupSettings();
    void resizePixmapSlot();
    void printPage();
    void goLinkBack();
    void timerStopped();

Q_SIGNALS:
    void resizePixmap();
    void pickupSettingsSignal();
    void toggleFullScreen();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

public:
    // The next character of the document, mapped through the selected code page.
    char32_t readDecodedChar();

private:
    char32_t pluckerDecode();
    void selectWordFont(const TextStyle &style);
    void splitParagraphPatterns();
    void restoreFrom(const PageStart &start);
    void releaseSource();
    int linesPerPage() const;
    void startTimer();
    void delay();
    void sendScreenSaverMode(int mode);
    void changeFontSize(int delta);
    // Fits the next line and draws it at penY when it fits above `textBottom`; otherwise puts
    // the file and attributes back to the line's start and returns false.
    bool placeNextLine(int textBottom);
    void followLink(qint64 from);
    void revealStep(const QPixmap &strip, int screenY);
    void drawTranslation(const QString &word, bool failed, bool found, const QString &body);
    bool queueGlyphs(const QString &text, const QList<uint> &chars, int x, const QColor &color);
    void flushGlyphs();

    WordFonts m_fonts;
    const WordFonts::Face *m_face = nullptr;  // face of the word being fitted or drawn
    QRegularExpression m_compiledPatterns[MaxParagraphPatterns];
    std::unique_ptr<SourcePreparer> m_preparer;
    qint64 m_fitterCalls = 0;
    LineObserver m_lineObserver;
    PageObserver m_pageObserver;
    bool m_skipRelayout = false;
    qint64 m_backwardFloor = 0;
    QPixmap m_screen;  // what the widget shows while the text scrolls
    bool m_resizedWhileScrolling = false;
    int m_formatDepth = 0;
    int m_formatBudget = 0;
    bool m_formatAborted = false;  // the backward paragraph search stops here
    QPainter *m_paperPainter = nullptr;  // open on paper while printPage() draws
    const WordFonts::Face *m_painterFace = nullptr;
    // Glyphs queued for one drawing call: same face, same colour.
    QVector<quint32> m_glyphs;
    QVector<QPointF> m_glyphPositions;
    const WordFonts::Face *m_glyphFace = nullptr;
    QColor m_glyphColor;
};
