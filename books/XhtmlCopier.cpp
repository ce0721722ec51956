#include "XhtmlCopier.h"

#include "BookOutput.h"
#include "HtmlEntities.h"

namespace {

constexpr int EntityExpansionLimit = 1024;

const QByteArray XhtmlDoctype =
    "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.1//EN\" \"http://www.w3.org/TR/xhtml11/DTD/xhtml11.dtd\">";

// A chapter's start with a doctype that names the XHTML DTD, so that undeclared named entities
// come through as references: one is put in when there is none, and a bare "<!DOCTYPE html>"
// is replaced. A doctype with an identifier or an internal subset stays as it is.
QByteArray withXhtmlDoctype(const QByteArray &start)
{
    if (start.size() >= 2 && (start[0] == '\0' || start[1] == '\0'))
        return start;  // UTF-16: left alone
    const qsizetype doctype = start.indexOf("<!DOCTYPE");
    if (doctype >= 0) {
        const qsizetype end = start.indexOf('>', doctype);
        if (end < 0)
            return start;
        const QByteArray declaration = start.mid(doctype, end - doctype);
        if (declaration.contains("PUBLIC") || declaration.contains("SYSTEM") || declaration.contains('['))
            return start;
        return start.left(doctype) + XhtmlDoctype + start.mid(end + 1);
    }
    qsizetype at = start.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    if (start.mid(at, 5) == "<?xml") {
        const qsizetype end = start.indexOf("?>", at);
        if (end < 0)
            return start;
        at = end + 2;
    }
    return start.left(at) + XhtmlDoctype + start.mid(at);
}

// Elements left out with everything in them.
bool leftOut(const QString &name)
{
    static const char *const names[] = {"head", "script", "style", "template", "svg", "math", "object",
                                        "embed", "iframe", "video", "audio", "canvas", "title", "noscript"};
    for (const char *n : names) {
        if (name == QLatin1String(n))
            return true;
    }
    return false;
}

// Elements without an end tag in HTML.
bool isVoid(const QString &name)
{
    static const char *const names[] = {"br", "hr", "img", "image", "meta", "link", "input", "wbr",
                                        "col", "area", "base", "source", "track", "param"};
    for (const char *n : names) {
        if (name == QLatin1String(n))
            return true;
    }
    return false;
}

// Names written into the copy: plain ASCII letters and digits only.
bool writable(const QString &name)
{
    if (name.isEmpty() || name.size() > 15)
        return false;
    for (const QChar c : name) {
        if (!((c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9')))
            return false;
    }
    return true;
}

} // namespace

XhtmlStream::XhtmlStream(const QString &member) : m_member(member)
{
    m_xml.setNamespaceProcessing(true);
    m_xml.setEntityExpansionLimit(EntityExpansionLimit);
}

bool XhtmlStream::feed(const char *data, size_t size)
{
    if (m_stopped || (m_xml.hasError() && m_xml.error() != QXmlStreamReader::PrematureEndOfDocumentError))
        return false;
    QByteArray chunk(data, qsizetype(size));
    if (m_first) {
        chunk = withXhtmlDoctype(chunk);
        m_first = false;
    }
    m_xml.addData(chunk);
    return drain();
}

bool XhtmlStream::drain()
{
    for (;;) {
        const QXmlStreamReader::TokenType type = m_xml.readNext();
        if (m_xml.hasError())
            return m_xml.error() == QXmlStreamReader::PrematureEndOfDocumentError;
        if (type == QXmlStreamReader::EndDocument)
            return true;
        if (!token(m_xml)) {
            m_stopped = true;
            return false;
        }
    }
}

bool XhtmlStream::finish()
{
    return !m_stopped && !m_xml.hasError() && m_xml.tokenType() == QXmlStreamReader::EndDocument;
}

QString XhtmlStream::errorText() const
{
    return QStringLiteral("line %1, column %2: %3")
        .arg(m_xml.lineNumber())
        .arg(m_xml.columnNumber())
        .arg(m_xml.hasError() ? m_xml.errorString() : QStringLiteral("the document ends early"));
}

XhtmlCopier::XhtmlCopier(const QString &member, BookOutput &out, const QString &anchorPrefix, Rewrite rewrite,
                         std::function<void(const QString &, qint64)> noted)
    : XhtmlStream(member), m_out(out), m_anchorPrefix(anchorPrefix), m_rewrite(std::move(rewrite)),
      m_noted(std::move(noted))
{
}

bool XhtmlCopier::token(QXmlStreamReader &xml)
{
    switch (xml.tokenType()) {
    case QXmlStreamReader::StartElement:
        return startElement(xml);
    case QXmlStreamReader::EndElement:
        return endElement(xml.name().toString().toLower());
    case QXmlStreamReader::Characters:
        if (!m_inBody || m_bodyOver || m_skipDepth > 0)
            return true;
        // Line feeds are white space in a browser; the reader may be set to keep them as line
        // feeds in HTML, so outside pre none reaches the copy.
        return m_out.writeText(xml.text(), false, m_preDepth == 0);
    case QXmlStreamReader::EntityReference:
        if (m_inBody && !m_bodyOver && m_skipDepth == 0) {
            char32_t first = 0, second = 0;
            if (!lookupHtmlEntity(xml.name(), first, second))
                return m_out.write(" ");
            QString text = QString::fromUcs4(&first, 1);
            if (second)
                text += QString::fromUcs4(&second, 1);
            return m_out.writeText(text);
        }
        return true;
    default:
        return true;
    }
}

bool XhtmlCopier::anchorFor(QStringView id)
{
    if (id.size() > 256)
        return true;  // no link names such an id
    m_noted(id.toString(), m_out.offset());
    return m_out.write("<a name=\"") && m_out.writeText(m_anchorPrefix, true) && m_out.writeText(id, true)
        && m_out.write("\"></a>");
}

bool XhtmlCopier::startElement(QXmlStreamReader &xml)
{
    const QString name = xml.name().toString().toLower();
    if (!m_inBody) {
        m_inBody = name == QLatin1String("body");
        return true;
    }
    if (m_bodyOver)
        return true;
    if (m_skipDepth > 0) {
        ++m_skipDepth;
        return true;
    }
    const QXmlStreamAttributes attributes = xml.attributes();
    const QStringView id = attributes.value(QLatin1String("id"));
    if (!id.isEmpty() && !anchorFor(id))
        return false;
    if (name == QLatin1String("a")) {
        const QStringView oldName = attributes.value(QLatin1String("name"));
        if (!oldName.isEmpty() && oldName != id && !anchorFor(oldName))
            return false;
    }
    if (leftOut(name)) {
        m_skipDepth = 1;
        return name != QLatin1String("svg") || m_out.write("[picture]");
    }
    if (name == QLatin1String("img") || name == QLatin1String("image")) {
        const QString alt = attributes.value(QLatin1String("alt")).toString().simplified();
        return m_out.write("[") && m_out.writeText(alt.isEmpty() ? QStringLiteral("picture") : alt) && m_out.write("]");
    }
    if (name == QLatin1String("a")) {
        const QStringView href = attributes.value(QLatin1String("href"));
        const QString address = href.isEmpty() ? QString() : m_rewrite(resolveEpubHref(member(), href.toString()));
        if (address.isEmpty())
            return m_out.write("<a>");
        return m_out.write("<a href=\"") && m_out.writeText(address, true) && m_out.write("\">");
    }
    if (!writable(name))
        return true;
    if (name == QLatin1String("pre"))
        ++m_preDepth;
    return m_out.write("<") && m_out.write(name.toLatin1()) && m_out.write(">");
}

bool XhtmlCopier::endElement(const QString &name)
{
    if (!m_inBody || m_bodyOver)
        return true;
    if (m_skipDepth > 0) {
        --m_skipDepth;
        return true;
    }
    if (name == QLatin1String("body")) {
        m_bodyOver = true;
        return true;
    }
    if (isVoid(name) || !writable(name))
        return true;
    if (name == QLatin1String("pre") && m_preDepth > 0)
        --m_preDepth;
    return m_out.write("</") && m_out.write(name.toLatin1()) && m_out.write(">");
}
