// Finding: showing the page that holds a hit, marking the hits drawn on it, and going to a page
// or a share of the book. The page that holds a hit is laid out the way paging forward lays it
// out from a paragraph start before it, as backward paging finds page starts.
#include "MyView.h"

#include <QPainter>
#include <algorithm>

namespace {
// How far back a paragraph start is looked for, as backward paging does.
constexpr qint64 MaxParagraphReach = 128 * 1024;
// Pages laid out after the computed one when lines of uneven height leave the hit further on.
constexpr int MaxPagesOn = 64;

const QColor CurrentHitColor(255, 140, 0, 150);
const QColor OtherHitColor(255, 220, 0, 90);
} // namespace

FindSource MyView::findSource() const
{
    return findSourceFor(m_fileName, m_settings);
}

FindSource MyView::findSourceFor(const QString &path, const ReaderSettings &settings)
{
    FindSource source;
    source.path = path;
    source.encoding = settings.encodingName;
    source.readAsHtml = settings.stripHtml;
    source.rules.crIsLineFeed = settings.crConvert;
    source.rules.stripNewlines = settings.stripNewlinesInHtml;
    return source;
}

qint64 MyView::findOrigin(bool backward) const
{
    const qint64 pageStart = m_pageStart.position;
    const qint64 pageEnd = std::max(pageStart + 1, m_document.reader().pos());
    const Hit &hit = m_found.current();
    if (hit.isValid() && hit.first >= pageStart && hit.first < pageEnd)
        return backward ? hit.first : hit.first + 1;
    return backward ? pageEnd : pageStart;
}

void MyView::showHit(const FindQuery &query, const Hit &hit)
{
    if (!documentOpen() || !hit.isValid() || hit.first >= m_document.size())
        return;
    m_found.set(findSource(), query, hit);
    showPageHolding(hit.first);
}

void MyView::clearFoundMarks()
{
    if (!m_found.isActive())
        return;
    m_found.clear();
    if (documentOpen()) {
        restoreFrom(m_pageStart);
        printPage();
    }
}

void MyView::goToPage(qint64 page)
{
    if (!documentOpen())
        return;
    const qint64 size = m_document.size();
    if (page >= m_pageCount.total(size)) {
        lastPage();
        return;
    }
    // The middle of the page's share, so the page found is the one the bar calls `page`.
    const qint64 average = m_pageCount.average();
    showPageHolding(std::max<qint64>(0, (std::max<qint64>(1, page) - 1) * average + average / 2 - 1));
}

void MyView::goToPercent(double percent)
{
    if (!documentOpen())
        return;
    const qint64 size = m_document.size();
    const double share = std::clamp(percent, 0.0, 100.0) / 100.0;
    const qint64 position = std::min<qint64>(size, qint64(share * double(size)));
    if (position >= size) {
        lastPage();
        return;
    }
    showPageHolding(position);
}

void MyView::showPageHolding(qint64 position)
{
    m_pages.forget();
    const PageStart start = pageStartHolding(position);
    restoreFrom(start);
    printPage();
    for (int i = 0; i < MaxPagesOn && m_document.reader().pos() <= position && !atEnd(); ++i)
        nextPage();
}

PageStart MyView::pageStartHolding(qint64 position)
{
    PositionedReader &file = m_document.reader();
    const int perPage = linesPerPage();
    TextStyle style;
    style.penColor = Qt::black;
    if (m_document.kind() != SourceKind::Plucker) {
        style.bold = m_settings.fontBold;
        style.italic = m_settings.fontItalic;
    }
    m_backwardFloor = std::max<qint64>(0, position - MaxParagraphReach);
    if (m_document.isHtml())
        m_htmlMarks = m_fitter.markup().paragraphMarks(m_backwardFloor, position);
    m_searchingBack = true;
    const qint64 paragraph = findNewParagraphBack(position);
    m_lineNewParagraph = paragraph == 0 || paragraph > m_backwardFloor;
    m_lineStartStyle = style;
    m_lineStartStyle.preformatted = preformattedAt(paragraph);
    if (m_document.kind() == SourceKind::Plucker && paragraph > 0)
        findPluckerAttrBack(paragraph);
    file.seek(paragraph);

    // Pages of perPage lines from the paragraph start, as backward paging counts them.
    PageStart start = PageStart::at(paragraph, m_lineNewParagraph, m_lineStartStyle);
    for (qint64 n = 0;; ++n) {
        const qint64 before = file.pos();
        if (n % perPage == 0)
            start = PageStart::at(before, m_lineNewParagraph, m_lineStartStyle);
        readStringFit();
        m_lineNewParagraph = m_fitter.nextLineNewParagraph();
        // A page does not start with the blank line of a paragraph mark: paging on to it would
        // have taken that line at the foot of the page before.
        const bool blank = m_fitter.lineWordCount() == 1 && m_fitter.lineWord(0).text.isEmpty();
        if (n % perPage == 0 && blank && file.pos() <= position)
            start = PageStart::at(file.pos(), m_lineNewParagraph, m_lineStartStyle);
        if (file.pos() > position || file.pos() <= before || file.atEnd())
            break;
    }
    m_backwardFloor = 0;
    m_htmlMarks.clear();
    m_searchingBack = false;
    if (start.position == 0)
        start.paragraph = true;
    return start;
}

void MyView::noteFoundLine(qint64 start, bool preformatted)
{
    m_foundWords.clear();
    m_foundGapX = -1;
    if (!m_found.isActive())
        return;
    PositionedReader &file = m_document.reader();
    const qint64 end = file.pos();
    m_found.collectAround(start, preformatted);
    if (!m_found.meets(start, end))
        return;
    // The words as the fitter cut them, each character with its bytes: its characters are read
    // again in order, anything the word does not show (separators, a dropped return) passed over.
    ShownReader reader(m_document, findSource().rules);
    reader.seek(start, preformatted);
    const int count = m_fitter.lineWordCount();
    m_foundWords.resize(size_t(count));
    ShownChar c;
    bool more = true;
    for (int i = 0; i < count && more; ++i) {
        for (const uint value : m_fitter.lineWord(i).text.toUcs4()) {
            while ((more = reader.next(c) && c.start < end) && c.value != value) {
            }
            if (!more)
                break;
            m_foundWords[size_t(i)].push_back(c);
        }
    }
    file.seek(end);
}

void MyView::paintFoundUnder(int word, int x, const WordFonts::Face &face)
{
    QPainter *painter = m_painter.painter();
    if (!painter || word < 0 || size_t(word) >= m_foundWords.size())
        return;
    const std::vector<ShownChar> &chars = m_foundWords[size_t(word)];
    const int top = m_penY - face.metrics().ascent();
    const int height = face.metrics().ascent() + face.metrics().descent();
    // The gap before a word is marked when one hit runs on over it.
    if (!chars.empty() && m_foundGapX >= 0 && x > m_foundGapX) {
        const FindMarks::Mark mark = m_found.markSpanning(m_foundGapStart, chars.front().end);
        if (mark != FindMarks::Mark::None)
            painter->fillRect(m_foundGapX, top, x - m_foundGapX, height,
                              mark == FindMarks::Mark::Current ? CurrentHitColor : OtherHitColor);
    }
    m_foundGapX = -1;
    for (const ShownChar &c : chars) {
        const int width = face.width(c.value);
        const FindMarks::Mark mark = m_found.markOf(c.start, c.end);
        if (mark != FindMarks::Mark::None)
            painter->fillRect(x, top, width, height, mark == FindMarks::Mark::Current ? CurrentHitColor : OtherHitColor);
        x += width;
        m_foundGapX = mark != FindMarks::Mark::None ? x : -1;
        m_foundGapStart = c.start;
    }
}
