#include "EntryFormatter.h"

#include <QStringList>

namespace {
// A hostile sense could nest sections without end or make recovery re-read the same text over
// and over; past these limits the sense is shown unformatted.
constexpr int MaxSectionDepth = 64;
constexpr int MaxTagsVisited = 100000;
// Nor may it multiply into a page: each {sa} writes its content twice, so nested ones double it.
constexpr qsizetype MaxGrowth = 16;
constexpr qsizetype MinPageRoom = 64 * 1024;
} // namespace

QString EntryFormatter::dictFormat(const QString &sense, const QString &word)
{
    m_headword = word;
    m_pronunciation.clear();
    m_partOfSpeech.clear();
    m_subsenseCount = 0;
    m_depth = 0;
    m_budget = MaxTagsVisited;
    m_pageRoom = MaxGrowth * sense.size() + MinPageRoom;
    m_aborted = false;
    QString out;
    QString top;
    if (dictProcessBody(sense, 0, top, out) < 0 || out.size() > m_pageRoom)
        return sense.toHtmlEscaped();
    return out;
}

int EntryFormatter::dictProcessBody(const QString &body, int pos, QString &section, QString &out)
{
    if (m_aborted || ++m_depth > MaxSectionDepth) {
        m_aborted = true;
        return -1;
    }
    struct DepthGuard
    {
        int &depth;
        ~DepthGuard() { --depth; }
    } guard{m_depth};

    for (;;) {
        if (m_aborted || --m_budget < 0 || out.size() > m_pageRoom) {
            m_aborted = true;
            return -1;
        }
        const int open = int(body.indexOf(QLatin1Char('{'), pos));
        if (open < 0) {
            out += body.mid(pos).toHtmlEscaped();  // text from the dictionary is never mark-up
            return int(body.size());
        }
        out += body.mid(pos, open - pos).toHtmlEscaped();
        const int close = int(body.indexOf(QLatin1Char('}'), open + 1));
        if (close < 0)
            return -1;
        QString name = body.mid(open + 1, close - open - 1);
        bool empty = false;
        if (name.endsWith(QLatin1Char('/'))) {
            name.chop(1);
            empty = true;
        }
        if (name.startsWith(QLatin1Char('/')))
            return name.mid(1) == section ? close + 1 : -1;
        pos = close + 1;

        const QString outerPartOfSpeech = m_partOfSpeech;
        if (name == QLatin1String("s"))
            m_subsenseCount = 0;
        QString content;
        if (!empty) {
            const int r = dictProcessBody(body, pos, name, content);
            if (r < 0) {
                if (m_aborted)
                    return -1;
                continue;  // dropped: its content is read again at this level
            }
            pos = r;
        }

        if (name == QLatin1String("hw")) {
            out += QLatin1String("<b>") + m_headword.toHtmlEscaped() + QLatin1String("</b>");
        } else if (name == QLatin1String("ps")) {
            m_partOfSpeech = content;
        } else if (name == QLatin1String("pr")) {
            m_pronunciation = content;
        } else if (name == QLatin1String("s")) {
            out += QLatin1String("<b>") + m_headword.toHtmlEscaped() + QLatin1String("</b> ");
            if (!m_pronunciation.isEmpty())
                out += QLatin1String(" /") + m_pronunciation + QLatin1String("/ ");
            if (!m_partOfSpeech.isEmpty())
                out += QLatin1String("<i>") + m_partOfSpeech + QLatin1String("</i>");
            if (m_subsenseCount > 1) {
                out += QLatin1String("<ol>") + content + QLatin1String("</ol><hr/>");
            } else {
                content.remove(QLatin1String("<li>"));
                content.remove(QLatin1String("</li>"));
                out += content + QLatin1String("<hr/>");
            }
            m_partOfSpeech = outerPartOfSpeech;
        } else if (name == QLatin1String("ss")) {
            const QStringList lines = content.split(QLatin1Char('\n'));
            out += QLatin1String("<li>");
            for (qsizetype i = 0; i < lines.size(); ++i)
                out += QLatin1String("<p>") + lines[i] + (i + 1 < lines.size() ? QLatin1String("</p>") : QLatin1String("</p></li>"));
            ++m_subsenseCount;
        } else if (name == QLatin1String("ex")) {
            out += QLatin1String("<i>") + content + QLatin1String("</i>");
        } else if (name == QLatin1String("sa")) {
            out += QLatin1String("<a href=\"") + content + QLatin1String("\">") + content + QLatin1String("</a>");
        } else {
            return -1;
        }
    }
}
