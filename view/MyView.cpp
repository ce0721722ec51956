#include "MyView.h"

#include "SourcePreparer.h"
#include "dictionary.h"
#include "toUnicode.h"

#include <QMainWindow>
#include <QPainter>
#include <QResizeEvent>
#include <QStandardPaths>
#include <algorithm>
#include <limits>

MyView::MyView(QMainWindow *parent, const char *name)
    : QWidget(parent), mainWindow(parent), decoder(std::make_unique<toUnicode>()),
      m_preparer(std::make_unique<SourcePreparer>())
{
    if (name)
        setObjectName(QString::fromLatin1(name));
    decoder->setCodec(encodingName);
    // Until the settings name one, the dictionary is looked for in the user's data folder.
    dictionaryPath = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                   + QStringLiteral("/folium/dictionary.dic");
    barFont = QFont(QStringLiteral("helvetica"));
    barFont.setPixelSize(8);
    barFont.setWeight(QFont::Normal);
    pageFont = QFont(QStringLiteral("verdana"));
    pageFont.setPixelSize(12);
    pageFont.setWeight(QFont::Bold);
    m_fonts.setBaseStyle(true, false);
    m_fonts.setBase(QStringLiteral("verdana"), 12);
    fontSize = m_fonts.baseSize();
    spaceWidth = m_fonts.base().width(U' ');
    lineStartStyle = TextStyle{};
    penX = pageMargin;
    splitParagraphPatterns();

    connect(this, &MyView::pickupSettingsSignal, this, &MyView::pickupSettings);
    connect(this, &MyView::resizePixmap, this, &MyView::resizePixmapSlot);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    clearPaper();
}

// A prepared copy outlives the reader on purpose: the next start reopens the same document and
// the preparer reuses the copy when its source is unchanged.
MyView::~MyView() = default;

void MyView::splitParagraphPatterns()
{
    for (auto &p : paragraphPatterns)
        p.clear();
    paragraphPatterns[0] = paragraphRegexp;
    paragraphPatternLast = 0;
    qsizetype start = 0;
    // Each "|" closes the alternative in the current slot and puts the rest in the next one;
    // past the last slot the rest stays together as one alternative.
    while (paragraphPatternLast < MaxParagraphPatterns - 1) {
        const qsizetype bar = paragraphRegexp.indexOf(QLatin1Char('|'), start);
        if (bar < 0)
            break;
        paragraphPatterns[paragraphPatternLast] = paragraphRegexp.mid(start, bar - start);
        ++paragraphPatternLast;
        paragraphPatterns[paragraphPatternLast] = paragraphRegexp.mid(bar + 1).left(100);
        start = bar + 1;
    }
    for (int i = 0; i <= paragraphPatternLast; ++i)
        m_compiledPatterns[i] = QRegularExpression(paragraphPatterns[i],
                                                   QRegularExpression::UseUnicodePropertiesOption);
}

void MyView::pickupSettings()
{
    splitParagraphPatterns();
    lineStartStyle.bold = fontBold;
    lineStartStyle.italic = fontItalic;

    m_fonts.setBaseStyle(fontBold, fontItalic);
    m_fonts.setBase(fontName, fontSize);
    fontSize = m_fonts.baseSize();
    pageFont = m_fonts.base().font();
    spaceWidth = m_fonts.base().width(U' ');

    dictionary.reset();  // the next lookup opens dictionaryPath afresh
    decoder->setCodec(encodingName);

    // The relayout below starts from pageStart; laying out from the ring first would draw the
    // same page twice.
    m_skipRelayout = documentOpen;
    Q_EMIT resizePixmap();
    m_skipRelayout = false;

    if (documentOpen) {
        setEncoding();
        historyDepth = 0;
        lineNewParagraph = pageStart.paragraph;
        file.seek(pageStart.position);
        if (sourceKind != 2) {
            pageStart.bold = fontBold;
            pageStart.italic = fontItalic;
        }
        lineStartStyle = pageStart.style();
        printPage();
    }
}

void MyView::restoreFrom(const PageStart &start)
{
    file.seek(start.position);
    lineNewParagraph = start.paragraph;
    lineStartStyle = start.style();
}

void MyView::resizePixmapSlot()
{
    if (scrolling) {
        // The scroll loop owns the paper until it ends; it lays the page out at the new size.
        m_resizedWhileScrolling = true;
        return;
    }
    const int w = std::max(1, width());
    const int h = std::max(1, height());
    if (rotation == 0.0 || rotation == 180.0)
        paper = QPixmap(w, h);
    else
        paper = QPixmap(h, w);
    barPixmap = QPixmap(paper.width(), barHeight);
    rotationMatrix.reset();
    rotationMatrix.rotate(rotation);
    clearPaper();
    if (documentOpen && !m_skipRelayout) {
        restoreFrom(pageHistory[pageIndex]);
        if (translationShown)
            intTranslate(lookupWord);
        else
            printPage();
    } else {
        showIt();
    }
}

void MyView::resizeEvent(QResizeEvent *)
{
    scrollOff();
    Q_EMIT resizePixmap();
}

void MyView::clearPaper()
{
    if (!paper.isNull())
        paper.fill(Qt::white);
    penY = fontSize + lineSpacing;
}

void MyView::showIt()
{
    if (rotation != 0.0 && !paper.isNull())
        rotatedPaper = paper.transformed(rotationMatrix);
    update();
}

void MyView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    if (scrolling && !m_screen.isNull())
        painter.drawPixmap(0, 0, m_screen);
    else
        painter.drawPixmap(0, 0, rotation == 0.0 ? paper : rotatedPaper);
}

qint64 MyView::pageNumberOf(qint64 position) const
{
    if (fileSize <= 0)
        return 1;
    // position x pages can pass 63 bits only for absurd sizes; divide first when it would.
    const qint64 pages = virtualPageCount;
    if (position > 0 && pages > std::numeric_limits<qint64>::max() / position)
        return position / fileSize * pages + (position % fileSize) * pages / fileSize + 1;
    return position * pages / fileSize + 1;
}
