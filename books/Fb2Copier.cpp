#include "Fb2Copier.h"

#include "BookOutput.h"
#include "HtmlEntities.h"

#include <QUrl>
#include <QXmlStreamReader>

namespace {

constexpr int MaxId = 256;                           // longer ids get no anchor, so no link leads to them
constexpr int MaxCollected = 2 * BookInfo::MaxText;  // characters kept of a title or metadata field
constexpr int MaxAuthors = 64;

void appendBounded(QString &to, QStringView text)
{
    if (to.size() < MaxCollected)
        to += text.left(MaxCollected - to.size());
}

// The address a link gets in the copy: "#id" for a place in the book, web and mail addresses as
// they are, nothing for anything else.
QString linkAddress(QStringView href)
{
    if (href.startsWith(u'#')) {
        const QStringView id = href.mid(1);
        if (id.isEmpty() || id.size() > MaxId)
            return QString();
        return QLatin1Char('#') + QString::fromLatin1(QUrl::toPercentEncoding(id.toString()));
    }
    for (const char *scheme : {"http://", "https://", "mailto:"}) {
        if (href.startsWith(QLatin1String(scheme), Qt::CaseInsensitive))
            return href.toString();
    }
    return QString();
}

} // namespace

Fb2Copier::Fb2Copier(BookOutput &out) : m_out(out) {}

bool Fb2Copier::fail(Status status)
{
    if (m_status.isOk())
        m_status = std::move(status);
    return false;
}

bool Fb2Copier::token(const QXmlStreamReader &xml)
{
    switch (xml.tokenType()) {
    case QXmlStreamReader::StartElement:
        return startElement(xml);
    case QXmlStreamReader::EndElement:
        return endElement();
    case QXmlStreamReader::Characters:
        return characters(xml);
    case QXmlStreamReader::EntityReference: {
        // Only an entity declared without a value comes this way: HTML's names, or a space.
        if (m_skipDepth > 0 || m_field || m_open.size() < 2 || m_open[1].kind != Kind::Body)
            return true;
        char32_t first = 0, second = 0;
        if (!lookupHtmlEntity(xml.name(), first, second))
            return m_out.write(" ");
        QString text = QString::fromUcs4(&first, 1);
        if (second)
            text += QString::fromUcs4(&second, 1);
        return m_out.writeText(text);
    }
    default:
        return true;
    }
}

bool Fb2Copier::push(Kind kind, const char *open, const char *close)
{
    m_open.append(Open{kind, QByteArray(close)});
    return m_out.write(open);
}

bool Fb2Copier::inlineContext() const
{
    for (qsizetype i = m_open.size() - 1; i >= 0; --i) {
        const Kind kind = m_open[i].kind;
        if (kind != Kind::Other)
            return kind == Kind::Paragraph || kind == Kind::Verse || kind == Kind::Inline ||
                   kind == Kind::Link;
    }
    return false;
}

int Fb2Copier::sectionDepth() const
{
    int depth = 0;
    for (const Open &open : m_open)
        depth += open.kind == Kind::Section;
    return depth;
}

bool Fb2Copier::anchor(QStringView id)
{
    if (id.isEmpty() || id.size() > MaxId)
        return true;
    return m_out.write("<a name=\"") && m_out.writeText(id, true) && m_out.write("\"></a>");
}

bool Fb2Copier::startElement(const QXmlStreamReader &xml)
{
    if (m_skipDepth > 0) {
        ++m_skipDepth;
        return true;
    }
    if (m_open.size() >= MaxDepth)
        return fail(Status::error(Status::Code::Damaged,
                                  "The book is damaged: its parts are nested too deeply.",
                                  "more than " + std::to_string(MaxDepth) + " elements open at once"));
    const QString name = xml.name().toString();
    if (!m_sawRoot) {
        m_sawRoot = true;
        if (name != QLatin1String("FictionBook"))
            return fail(Status::error(Status::Code::Unsupported,
                                      "The book cannot be opened: it is not a FictionBook file.",
                                      "the document element is " + name.left(64).toStdString()));
        m_open.append(Open{Kind::Root, {}});
        return true;
    }
    if (m_open.isEmpty()) {
        m_skipDepth = 1;
        return true;
    }
    switch (m_open.back().kind) {
    case Kind::Root:
        if (name == QLatin1String("body"))
            return startBody(xml);
        if (name == QLatin1String("description"))
            return push(Kind::Description, "", "");
        m_skipDepth = 1;  // binary (pictures as base64), stylesheet
        return true;
    case Kind::Description:
    case Kind::TitleInfo:
    case Kind::Author:
    case Kind::BookTitle:
    case Kind::AuthorName:
    case Kind::Lang:
        return startMetadata(name);
    default:
        return startBodyElement(name, xml);
    }
}

bool Fb2Copier::startMetadata(const QString &name)
{
    const Kind parent = m_open.back().kind;
    if (parent == Kind::Description && name == QLatin1String("title-info") && !m_sawTitleInfo) {
        m_sawTitleInfo = true;
        return push(Kind::TitleInfo, "", "");
    }
    if (parent == Kind::TitleInfo && name == QLatin1String("book-title")) {
        m_field = &m_bookTitle;
        return push(Kind::BookTitle, "", "");
    }
    if (parent == Kind::TitleInfo && name == QLatin1String("lang")) {
        m_field = &m_language;
        return push(Kind::Lang, "", "");
    }
    if (parent == Kind::TitleInfo && name == QLatin1String("author")) {
        for (QString &part : m_authorParts)
            part.clear();
        return push(Kind::Author, "", "");
    }
    static const char *const nameParts[] = {"first-name", "middle-name", "last-name", "nickname"};
    for (int i = 0; parent == Kind::Author && i < 4; ++i) {
        if (name == QLatin1String(nameParts[i])) {
            m_field = &m_authorParts[i];
            return push(Kind::AuthorName, "", "");
        }
    }
    m_skipDepth = 1;  // genre, annotation, cover page, the other infos
    return true;
}

bool Fb2Copier::startBody(const QXmlStreamReader &xml)
{
    ++m_bodies;
    if (!m_headWritten) {
        m_headWritten = true;
        m_out.write("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>");
        m_out.writeText(BookInfo::clean(m_bookTitle));
        m_out.write("</title></head><body>");
    }
    m_bodyStart = m_out.offset();
    m_bodyName = xml.attributes().value(QLatin1String("name")).left(BookInfo::MaxText).toString();
    m_bodyEntered = m_bodies == 1;  // the book's own body has its sections in the contents
    return anchor(xml.attributes().value(QLatin1String("id"))) && push(Kind::Body, "<div>", "</div>");
}

bool Fb2Copier::startBodyElement(const QString &name, const QXmlStreamReader &xml)
{
    if (!anchor(xml.attributes().value(QLatin1String("id"))))
        return false;
    Open &parent = m_open.back();
    if (name == QLatin1String("section")) {
        if (parent.kind == Kind::Body && m_bodies == 1)
            ++m_info.chapters;
        return push(Kind::Section, "<div>", "</div>");
    }
    if (name == QLatin1String("title"))
        return startTitle();
    if (name == QLatin1String("p")) {
        if (parent.kind != Kind::Title)
            return push(Kind::Paragraph, "<p>", "</p>");
        // A title's paragraphs are its lines.
        if (m_inTitle)
            m_titleText += QLatin1Char(' ');
        return push(Kind::Paragraph, ++parent.children > 1 ? "<br>" : "", "");
    }
    if (name == QLatin1String("v")) {
        if (parent.kind != Kind::Stanza)
            return push(Kind::Paragraph, "<p>", "</p>");
        // A stanza's verses are the lines of one paragraph, after its title if it has one.
        const bool first = ++parent.children == 1;
        if (first)
            parent.close = "</p></div>";
        return push(Kind::Verse, first ? "<p>" : "<br>", "");
    }
    struct Mapping
    {
        const char *name;
        Kind kind;
        const char *open;
        const char *close;
    };
    static const Mapping mappings[] = {
        {"subtitle", Kind::Paragraph, "<p><strong>", "</strong></p>"},
        {"text-author", Kind::Paragraph, "<p><em>", "</em></p>"},
        {"date", Kind::Paragraph, "<p><em>", "</em></p>"},
        {"epigraph", Kind::Block, "<blockquote>", "</blockquote>"},
        {"cite", Kind::Block, "<blockquote>", "</blockquote>"},
        {"annotation", Kind::Block, "<blockquote>", "</blockquote>"},
        {"poem", Kind::Block, "<div>", "</div>"},
        {"stanza", Kind::Stanza, "<div>", "</div>"},
        {"empty-line", Kind::Other, "<p>&#160;</p>", ""},  // one blank line between blocks
        {"emphasis", Kind::Inline, "<em>", "</em>"},
        {"strong", Kind::Inline, "<strong>", "</strong>"},
        {"strikethrough", Kind::Inline, "<del>", "</del>"},
        {"sub", Kind::Inline, "<sub>", "</sub>"},
        {"sup", Kind::Inline, "<sup>", "</sup>"},
        {"code", Kind::Inline, "<code>", "</code>"},
        {"table", Kind::Block, "<table>", "</table>"},
        {"tr", Kind::Block, "<tr>", "</tr>"},
        {"td", Kind::Inline, "<td>", "</td>"},
        {"th", Kind::Inline, "<th>", "</th>"},
    };
    for (const Mapping &m : mappings) {
        if (name == QLatin1String(m.name))
            return push(m.kind, m.open, m.close);
    }
    if (name == QLatin1String("a"))
        return startLink(xml);
    if (name == QLatin1String("image"))
        return startImage(xml);
    return push(Kind::Other, "", "");  // an unknown element: its text is kept
}

bool Fb2Copier::startTitle()
{
    const Kind parent = m_open.back().kind;
    if (m_inTitle || (parent != Kind::Section && parent != Kind::Body))
        return push(Kind::Title, "<p><strong>", "</strong></p>");  // a poem's or stanza's title
    static const char *const opens[] = {"<h1>", "<h2>", "<h3>", "<h4>", "<h5>", "<h6>"};
    static const char *const closes[] = {"</h1>", "</h2>", "</h3>", "</h4>", "</h5>", "</h6>"};
    const int level = qBound(1, sectionDepth(), 6) - 1;
    m_inTitle = true;
    m_titleText.clear();
    m_titleStart = m_out.offset();
    if (!push(Kind::Title, opens[level], closes[level]))
        return false;
    m_open.back().children = 0;
    m_open.back().heading = true;
    return true;
}

bool Fb2Copier::startLink(const QXmlStreamReader &xml)
{
    // The address is in l:href or xlink:href, whatever the prefix is bound to.
    QString address;
    for (const QXmlStreamAttribute &attribute : xml.attributes()) {
        if (attribute.name() == QLatin1String("href")) {
            address = linkAddress(attribute.value());
            break;
        }
    }
    if (address.isEmpty())
        return push(Kind::Link, "<a>", "</a>");
    return m_out.write("<a href=\"") && m_out.writeText(address, true) && push(Kind::Link, "\">", "</a>");
}

bool Fb2Copier::startImage(const QXmlStreamReader &xml)
{
    QString text =
        xml.attributes().value(QLatin1String("alt")).left(BookInfo::MaxText).toString().simplified();
    if (text.isEmpty())
        text = xml.attributes().value(QLatin1String("title")).left(BookInfo::MaxText).toString().simplified();
    if (text.isEmpty())
        text = QStringLiteral("picture");
    const bool inLine = inlineContext();
    m_skipDepth = 1;
    return m_out.write(inLine ? "[" : "<p>[") && m_out.writeText(text) && m_out.write(inLine ? "]" : "]</p>");
}

bool Fb2Copier::endElement()
{
    if (m_skipDepth > 0) {
        --m_skipDepth;
        return true;
    }
    if (m_open.isEmpty())
        return true;
    const Open open = m_open.takeLast();
    if (!m_out.write(open.close))
        return false;
    switch (open.kind) {
    case Kind::BookTitle:
    case Kind::AuthorName:
    case Kind::Lang:
        m_field = nullptr;
        return true;
    case Kind::Author: {
        QStringList names;
        for (int i = 0; i < 3; ++i) {
            const QString part = BookInfo::clean(m_authorParts[i]);
            if (!part.isEmpty())
                names << part;
        }
        const QString author =
            names.isEmpty() ? BookInfo::clean(m_authorParts[3]) : names.join(QLatin1Char(' '));
        if (!author.isEmpty() && m_authors.size() < MaxAuthors)
            m_authors << author;
        return true;
    }
    case Kind::Title:
        if (open.heading)
            endTitle();
        return true;
    case Kind::Body:
        if (!m_bodyEntered) {
            QString name = m_bodyName.simplified();
            if (!name.isEmpty())
                name[0] = name[0].toUpper();
            m_info.addEntry(name.isEmpty() || name == QLatin1String("Notes") ? QStringLiteral("Notes") : name,
                            0, m_bodyStart);
            m_bodyEntered = true;
        }
        return true;
    default:
        return true;
    }
}

void Fb2Copier::endTitle()
{
    m_inTitle = false;
    const Kind parent = m_open.isEmpty() ? Kind::Other : m_open.back().kind;
    if (parent == Kind::Section && m_bodies == 1) {
        m_info.addEntry(m_titleText, sectionDepth() - 1, m_titleStart);
    } else if (parent == Kind::Body && !m_bodyEntered) {
        const qsizetype before = m_info.contents.size();
        m_info.addEntry(m_titleText, 0, m_bodyStart);
        m_bodyEntered = m_info.contents.size() > before;
    }
    m_titleText.clear();
}

bool Fb2Copier::characters(const QXmlStreamReader &xml)
{
    if (m_skipDepth > 0 || m_open.isEmpty())
        return true;
    if (m_field) {
        appendBounded(*m_field, xml.text());
        return true;
    }
    if (m_open.size() < 2 || m_open[1].kind != Kind::Body)
        return true;
    if (xml.isWhitespace() && !inlineContext())
        return true;  // between blocks
    if (m_inTitle)
        appendBounded(m_titleText, xml.text());
    return m_out.writeText(xml.text(), false, true);
}

Status Fb2Copier::finish()
{
    if (!m_status.isOk())
        return m_status;
    if (m_bodies == 0)
        return Status::error(Status::Code::Damaged, "The book is damaged: it has no text (no body).");
    m_out.write("</body></html>\n");
    m_out.flush();
    m_info.title = BookInfo::clean(m_bookTitle);
    m_info.author = BookInfo::clean(m_authors.join(QStringLiteral(", ")));
    m_info.language = BookInfo::clean(m_language);
    return m_out.status();
}
