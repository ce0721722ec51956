// Paging: composing a page from fitted lines, moving forward, and working out the page before.
// Pages already shown come back from the page history; otherwise the previous page is found by
// fitting lines forward from an earlier paragraph start with the same fitter, so it breaks its
// lines where forward reading does.
#include "MyView.h"

#include "PluckerCodes.h"

#include <QPainter>
#include <algorithm>
#include <optional>

namespace {
// A text may have no paragraph marks at all. The backward search then takes the line starts
// found by fitting from this far back, so a computed page never re-fits more than this.
constexpr qint64 MaxBackwardReach = 128 * 1024;
} // namespace

void MyView::readStringFit()
{
    m_fitter.readStringFit(m_paper.width(), m_lineNewParagraph, m_lineStartStyle);
}

int MyView::textBottom() const
{
    return m_paper.height() - (m_settings.barVisible ? m_barHeight : 0);
}

void MyView::printPage()
{
    if (!documentOpen())
        return;
    m_pageStart.paragraph = m_lineNewParagraph;
    m_pageStart.position = m_document.reader().pos();
    m_pageStart.setStyle(m_lineStartStyle);
    m_pages.setCurrent(m_pageStart);
    if (m_pageObserver)
        m_pageObserver(m_pageStart.position);

    clearPaper();
    m_words.clear();
    const int bottom = textBottom();
    QPainter painter(&m_paper);
    m_painter.begin(&painter);
    while (!m_document.reader().atEnd()) {
        if (!placeNextLine(bottom) || m_penY >= bottom)
            break;
    }
    m_painter.end();
    painter.end();
    m_pageCount.notePage(m_pageStart.position, m_document.reader().pos());
    paintProgressBar();
    showIt();
    Q_EMIT pageShown();
}

bool MyView::placeNextLine(int bottom)
{
    m_penX = m_margin + (m_lineNewParagraph ? m_settings.paragraphIndent : 0);
    const bool startParagraph = m_lineNewParagraph;
    const qint64 startPosition = m_document.reader().pos();
    const TextStyle startStyle = m_lineStartStyle;
    readStringFit();
    m_penY += m_fitter.lineFontIncrement();
    // The legible bar leaves room for the last line's descenders; the classic bar only for its
    // baseline.
    const int below = m_settings.classicBar ? 0 : m_descent;
    if (m_penY + below >= bottom) {
        // The line does not fit: it begins the next page.
        m_lineNewParagraph = startParagraph;
        m_document.reader().seek(startPosition);
        m_lineStartStyle = startStyle;
        return false;
    }
    if (m_lineObserver)
        m_lineObserver(startPosition, startParagraph, m_fitter.lineTexts());
    noteFoundLine(startPosition, startStyle.preformatted);
    // A line holding only the empty word of a line feed is not drawn but takes its height.
    if (!m_fitter.lineWord(0).text.isEmpty())
        printLine();
    m_lineNewParagraph = m_fitter.nextLineNewParagraph();
    m_penY += linePitch();
    return true;
}

void MyView::printLine()
{
    const int count = m_fitter.lineWordCount();
    const bool justified = m_settings.justifyLines && !m_fitter.nextLineNewParagraph() && !m_fitter.endsAtLineBreak();
    const int spaceWidth = m_fitter.layout().spaceWidth;
    for (int i = 0; i < count; ++i) {
        const LineWord &word = m_fitter.lineWord(i);
        // An HTML link is drawn as a browser draws one: underlined, in the link colour.
        const bool htmlLink = word.htmlLink != 0;
        const WordFonts::Face &face = m_fonts.face(word.bold, word.italic, word.underline || htmlLink, word.fontIncrement);
        if (!m_scroller.autoScroll())
            m_words.add(word.text, m_penX, m_penY, word.linkRecord, word.linkParagraph, word.htmlLink);
        const QColor color = htmlLink ? m_theme.link : m_theme.wordColor(word.penColor);
        if (!m_foundWords.empty())
            paintFoundUnder(i, m_penX, face);
        m_penX += m_painter.draw(word.text, m_penX, m_penY, face, color);
        if (i < count - 1)
            m_penX += justified ? word.gap : spaceWidth;
    }
    m_painter.flush();
}

void MyView::paintProgressBar()
{
    if (!m_settings.barVisible || m_paper.isNull())
        return;
    const qint64 end = m_document.reader().pos();
    const qint64 size = m_document.size();
    const int barLength = size > 0 ? int(end * m_paper.width() / size) : 0;
    m_barPixmap.fill(m_settings.classicBar ? QColor(Qt::yellow) : m_theme.paper);
    QPainter bar(&m_barPixmap);
    if (m_settings.classicBar) {
        if (barLength > 0) {
            bar.setPen(QPen(Qt::red, m_barHeight * 2, Qt::SolidLine, Qt::FlatCap));
            bar.drawLine(0, 0, barLength, 0);
        }
        bar.setPen(Qt::black);
        bar.setFont(m_barFont);
        bar.drawText(m_paper.width() - 16, m_barHeight, QString::number(getPageNumber()));
    } else {
        // A hairline of progress and "page x of y · n%" in a size one can read.
        bar.fillRect(0, 0, barLength, 2, m_theme.barLine);
        QFont font(m_fonts.base().font().family());
        font.setPixelSize(std::max(12, m_barHeight * 2 / 3));
        bar.setFont(font);
        bar.setPen(m_theme.barText);
        bar.drawText(QRect(m_margin, 2, m_paper.width() - 2 * m_margin, m_barHeight - 2), Qt::AlignCenter,
                     progressText());
    }
    bar.end();
    QPainter onPaper(&m_paper);
    onPaper.drawPixmap(0, m_paper.height() - m_barHeight, m_barPixmap);
}

QString MyView::progressText() const
{
    const qint64 size = m_document.size();
    const qint64 end = m_document.reader().pos();
    qint64 pages = m_pageCount.total(size);
    qint64 page = m_pageCount.pageOf(m_pages.current().position, size);
    // The estimate may not call the last page anything but the last.
    if (end >= size)
        page = pages;
    else
        pages = std::max(pages, page + 1);
    const qint64 percent = size > 0 ? qint64(static_cast<__int128>(end) * 100 / size) : 100;
    return tr("page %1 of %2 \u00B7 %3%").arg(page).arg(pages).arg(percent);
}

void MyView::firstPage()
{
    PageStart start;
    start.paragraph = true;
    start.bold = m_settings.fontBold;
    start.italic = m_settings.fontItalic;
    showPageAt(start);
}

// The page that ends at the end of the text.
void MyView::lastPage()
{
    m_pages.forget();
    m_document.reader().seek(findPrevPageIndex(m_document.size()));
    printPage();
}

void MyView::showPageAt(const PageStart &start)
{
    if (!documentOpen())
        return;
    m_pages.forget();
    restoreFrom(start);
    printPage();
}

void MyView::nextPage()
{
    if (!documentOpen() || m_document.reader().atEnd())
        return;
    m_pages.advance();
    printPage();
}

void MyView::previousPage()
{
    if (!documentOpen())
        return;
    if (m_pages.depth() == 0) {
        m_document.reader().seek(findPrevPageIndex(m_pageStart.position));
        printPage();
        return;
    }
    restoreFrom(m_pages.goBack());
    printPage();
}

int MyView::linesPerPage() const
{
    if (m_settings.classicBar || !m_settings.barVisible)
        return std::max(1, textBottom() / linePitch());
    // Exactly the lines printPage() places: baselines k x pitch whose descenders stay above.
    const int room = textBottom() - m_descent - 1;
    return std::max(1, room / linePitch());
}

qint64 MyView::findPrevPageIndex(qint64 pos)
{
    if (!documentOpen())
        return -1;
    PositionedReader &file = m_document.reader();
    const int perPage = linesPerPage();
    m_lineNewParagraph = true;
    m_lineStartStyle.penColor = Qt::black;
    if (m_document.kind() == SourceKind::Plucker) {
        m_lineStartStyle = TextStyle{};
    } else {
        m_lineStartStyle.bold = m_settings.fontBold;
        m_lineStartStyle.italic = m_settings.fontItalic;
        m_lineStartStyle.underline = false;
        m_lineStartStyle.fontIncrement = 0;
    }
    const TextStyle styleAtSearch = m_lineStartStyle;
    m_backwardFloor = std::max<qint64>(0, pos - MaxBackwardReach);
    // In HTML the paragraph marks are found reading forward, as the fitter reads, so that comments,
    // scripts and the like hide them exactly as they hide text.
    if (m_document.isHtml())
        m_htmlMarks = m_fitter.markup().paragraphMarks(m_backwardFloor, pos);
    m_searchingBack = true;

    // A page holds at most perPage lines (fewer when some are taller): keep the last perPage + 1
    // line starts in a ring.
    const size_t ringSize = size_t(perPage) + 1;
    const int bottom = textBottom();
    const int below = m_settings.classicBar ? 0 : m_descent;
    if (m_lineStarts.size() < ringSize)
        m_lineStarts.resize(ringSize);
    qint64 result = 0;
    bool resultPreformatted = false;
    // Plucker attributes run across lines: laid out from a paragraph end, where every one starts
    // afresh, each line start knows them exactly. Scanning back for codes can take an argument
    // byte for a code and guess wrong.
    std::optional<TextStyle> resultStyle;
    qint64 start = pos;
    for (;;) {
        start = findNewParagraphBack(start);
        file.seek(start);
        // A paragraph mark or the start of the file begins a paragraph; the reach limit does not.
        const bool paragraphStart = start != m_backwardFloor || start == 0;
        m_lineNewParagraph = paragraphStart;
        m_lineStartStyle = styleAtSearch;
        m_lineStartStyle.preformatted = preformattedAt(start);
        qint64 n = 0;
        while (file.pos() < pos) {
            const qint64 before = file.pos();
            LineStart &line = m_lineStarts[size_t(n % qint64(ringSize))];
            line = LineStart{before, m_lineNewParagraph, m_lineStartStyle};
            readStringFit();
            line.fontIncrement = m_fitter.lineFontIncrement();
            ++n;
            m_lineNewParagraph = m_fitter.nextLineNewParagraph();
            if (file.pos() <= before)
                break;
        }
        // The page is the last lines that fit as placeNextLine() fills one, taller lines taking
        // more room; at least one line, so that paging back always moves.
        qint64 first = n;
        for (int height = linePitch() + below; first > 0 && n - first < perPage; --first) {
            height += m_lineStarts[size_t((first - 1) % qint64(ringSize))].fontIncrement;
            if (height >= bottom && first < n)
                break;
            height += linePitch();
        }
        if (first > 0) {
            const LineStart &found = m_lineStarts[size_t(first % qint64(ringSize))];
            result = found.position;
            m_lineNewParagraph = found.paragraph;
            resultPreformatted = found.style.preformatted;  // a line inside pre need not start at a mark
            if (paragraphStart)
                resultStyle = found.style;
            break;
        }
        if (start == 0 || start == m_backwardFloor) {
            result = start;
            m_lineNewParagraph = start == 0;
            resultPreformatted = preformattedAt(start);
            break;
        }
    }
    m_backwardFloor = 0;
    m_lineStartStyle = styleAtSearch;
    m_lineStartStyle.preformatted = resultPreformatted;
    m_htmlMarks.clear();
    m_searchingBack = false;
    if (result == 0)
        m_lineNewParagraph = true;
    if (m_document.kind() == SourceKind::Plucker && result > 0) {
        if (resultStyle)
            m_lineStartStyle = *resultStyle;
        else
            findPluckerAttrBack(result);
    }
    return result;
}

qint64 MyView::findNewParagraphBack(qint64 pos)
{
    if (!documentOpen())
        return -1;
    PositionedReader &file = m_document.reader();
    const int unit = file.codeUnitBytes();
    const qint64 resume = std::max<qint64>(0, pos - 2 * unit);
    qint64 answer = 0;
    if (m_document.isHtml()) {
        // A search for the previous page found the marks of its whole reach once.
        if (!m_searchingBack)
            m_htmlMarks = m_fitter.markup().paragraphMarks(std::max<qint64>(0, pos - MaxBackwardReach), pos);
        const auto before = std::lower_bound(m_htmlMarks.begin(), m_htmlMarks.end(), resume,
                                             [](const MarkupReader::Mark &m, qint64 p) { return m.position < p; });
        answer = before == m_htmlMarks.begin() ? m_backwardFloor : std::prev(before)->position;
    } else {
        for (qint64 q = resume - unit - (resume % unit); q >= 1; q -= unit) {
            if (q < m_backwardFloor) {
                answer = m_backwardFloor;
                break;
            }
            if (isParagraphMark(q)) {
                answer = q;
                break;
            }
        }
    }
    file.seek(resume);
    return answer;
}

// Whether the character at q of a text that is not HTML marks a paragraph for the backward search:
// a line feed after which a paragraph starts. In Plucker text only the converter's paragraph end
// counts, where every style starts afresh; passing over another line feed only starts the search
// further back.
bool MyView::isParagraphMark(qint64 q)
{
    PositionedReader &file = m_document.reader();
    if (m_document.kind() == SourceKind::Plucker)
        return PluckerCodes::paragraphEndAt(file, q);
    file.seek(q);
    char32_t c = m_document.readDecodedChar();
    if (c == U'\r' && m_settings.crConvert)
        c = U'\n';
    if (c != U'\n')
        return false;
    return !m_settings.reparagraph || m_fitter.checkNewParagraph();
}

// Whether an HTML pre element is in force at `pos`, as far as the marks found last can tell.
bool MyView::preformattedAt(qint64 pos) const
{
    for (const MarkupReader::Mark &mark : m_htmlMarks) {
        if (mark.position == pos)
            return mark.preformatted;
    }
    return false;
}

void MyView::findPluckerAttrBack(qint64 pos)
{
    PluckerCodes::findPluckerAttrBack(m_document.reader(), pos, m_lineStartStyle);
}
