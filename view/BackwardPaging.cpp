// Paging forward and back. Pages already shown come back from the ring of page starts; otherwise
// the previous page is worked out by fitting lines forward from an earlier paragraph start with
// the same fitter, so it breaks its lines where forward reading does.
#include "MyView.h"

#include <algorithm>

namespace {
// A text may have no paragraph marks at all. The backward search then takes the line starts
// found by fitting from this far back, so a computed page never re-fits more than this.
constexpr qint64 MaxBackwardReach = 128 * 1024;
// Only "p" matters when looking for a paragraph tag; longer tag text is not read to its end.
constexpr int MaxTagScan = 4;
} // namespace

void MyView::nextPage()
{
    if (!documentOpen || file.atEnd())
        return;
    pageIndex = (pageIndex + 1) % PageHistorySize;
    if (historyDepth < PageHistorySize - 1)
        ++historyDepth;
    printPage();
}

void MyView::previousPage()
{
    if (!documentOpen)
        return;
    if (historyDepth == 0) {
        file.seek(findPrevPageIndex(pageStart.position));
        printPage();
        return;
    }
    --historyDepth;
    pageIndex = (pageIndex + PageHistorySize - 1) % PageHistorySize;
    restoreFrom(pageHistory[size_t(pageIndex)]);
    printPage();
}

int MyView::linesPerPage() const
{
    const int textHeight = paper.height() - (barVisible ? barHeight : 0);
    return std::max(1, textHeight / std::max(1, fontSize + lineSpacing));
}

qint64 MyView::findPrevPageIndex(qint64 pos)
{
    if (!documentOpen)
        return -1;
    const int perPage = linesPerPage();
    lineNewParagraph = true;
    lineStartStyle.penColor = Qt::black;
    if (sourceKind == 2) {
        lineStartStyle = TextStyle{};
    } else {
        lineStartStyle.bold = fontBold;
        lineStartStyle.italic = fontItalic;
        lineStartStyle.underline = false;
        lineStartStyle.fontIncrement = 0;
    }
    const TextStyle styleAtSearch = lineStartStyle;
    m_backwardFloor = std::max<qint64>(0, pos - MaxBackwardReach);

    // Only the last perPage + 1 line starts are ever needed: keep them in a ring.
    const size_t ringSize = size_t(perPage) + 1;
    if (lineStarts.size() < ringSize)
        lineStarts.resize(ringSize);
    qint64 result = 0;
    qint64 start = pos;
    for (;;) {
        start = findNewParagraphBack(start);
        file.seek(start);
        // A paragraph mark or the start of the file begins a paragraph; the reach limit does not.
        lineNewParagraph = !(start == m_backwardFloor && start > 0);
        lineStartStyle = styleAtSearch;
        qint64 n = 0;
        while (file.pos() < pos) {
            const qint64 before = file.pos();
            lineStarts[size_t(n % qint64(ringSize))] = LineStart{before, lineNewParagraph};
            readStringFit();
            ++n;
            lineNewParagraph = nextLineNewParagraph;
            if (file.pos() <= before)
                break;
        }
        if (n > perPage) {
            const LineStart &found = lineStarts[size_t((n - perPage) % qint64(ringSize))];
            result = found.position;
            lineNewParagraph = found.paragraph;
            break;
        }
        if (start == 0 || start == m_backwardFloor) {
            result = start;
            lineNewParagraph = start == 0;
            break;
        }
    }
    m_backwardFloor = 0;
    lineStartStyle = styleAtSearch;
    if (result == 0)
        lineNewParagraph = true;
    if (sourceKind == 2 && result > 0)
        findPluckerAttrBack(result);
    return result;
}

qint64 MyView::findNewParagraphBack(qint64 pos)
{
    if (!documentOpen)
        return -1;
    const qint64 resume = std::max<qint64>(0, pos - 2);
    qint64 p = resume;
    qint64 answer = 0;
    for (;;) {
        const qint64 q = p - 1;
        if (q < 1) {
            answer = 0;
            break;
        }
        if (q < m_backwardFloor) {
            answer = m_backwardFloor;
            break;
        }
        file.seek(q);
        char32_t c = readDecodedChar();
        bool mark = false;
        if (htmlDocument) {
            if (c == U'<') {
                QString tag;
                for (int i = 0; i < MaxTagScan && !file.atEnd(); ++i) {
                    const char32_t t = file.readChar();
                    if (t == U'>')
                        break;
                    tag.append(QChar(char16_t(t <= 0xFFFF ? t : 0xFFFD)));
                }
                mark = tag.toLower() == QLatin1String("p");
            }
        } else {
            if (c == U'\r' && crConvert)
                c = U'\n';
            if (c == U'\n') {
                if (sourceKind == 2) {
                    mark = true;
                    for (qint64 b = std::max<qint64>(0, q - 6); b < q; ++b) {
                        file.seek(b);
                        if (readDecodedChar() == 0) {
                            mark = false;  // the line feed is an argument of a function code
                            break;
                        }
                    }
                } else if (reparagraph) {
                    mark = checkNewParagraph();
                } else {
                    mark = true;
                }
            }
        }
        if (mark) {
            answer = q;
            break;
        }
        p = q;
    }
    file.seek(resume);
    return answer;
}
