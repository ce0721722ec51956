#include "EpubBuilder.h"

#include "ZipBuilder.h"

EpubBuilder &EpubBuilder::metadata(const QByteArray &title, const QByteArray &author, const QByteArray &language)
{
    m_title = title, m_author = author, m_language = language;
    return *this;
}

QByteArray EpubBuilder::xhtml(const QByteArray &body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<html xmlns=\"http://www.w3.org/1999/xhtml\" "
           "xmlns:epub=\"http://www.idpf.org/2007/ops\"><head><title>t</title>"
           "<style>p { margin: 0 }</style></head>\n<body>"
         + body + "</body></html>\n";
}

EpubBuilder &EpubBuilder::chapter(const QByteArray &href, const QByteArray &body, bool linear)
{
    return rawChapter(href, xhtml(body), linear);
}

EpubBuilder &EpubBuilder::rawChapter(const QByteArray &href, const QByteArray &xhtml, bool linear)
{
    m_chapters.append(Chapter{href, xhtml, linear});
    return *this;
}

EpubBuilder &EpubBuilder::contents(const QList<Entry> &entries)
{
    m_contents = entries;
    return *this;
}

EpubBuilder &EpubBuilder::member(const QByteArray &name, const QByteArray &data)
{
    m_members.insert(name, data);
    return *this;
}

EpubBuilder &EpubBuilder::without(const QByteArray &name)
{
    m_without.append(name);
    return *this;
}

EpubBuilder &EpubBuilder::manifestItem(const QByteArray &href, const QByteArray &mediaType)
{
    m_items.append({href, mediaType});
    return *this;
}

QByteArray EpubBuilder::package() const
{
    const bool epub3 = m_version == Version::Epub3;
    QByteArray opf = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<package xmlns=\"http://www.idpf.org/2007/opf\" version=\""
                   + QByteArray(epub3 ? "3.0" : "2.0")
                   + "\" unique-identifier=\"id\">\n<metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\">"
                     "<dc:identifier id=\"id\">urn:test</dc:identifier><dc:title>"
                   + m_title + "</dc:title><dc:creator>" + m_author + "</dc:creator><dc:language>" + m_language
                   + "</dc:language></metadata>\n<manifest>\n";
    opf += epub3 ? "<item id=\"nav\" href=\"nav.xhtml\" media-type=\"application/xhtml+xml\" properties=\"nav\"/>\n"
                 : "<item id=\"ncx\" href=\"toc.ncx\" media-type=\"application/x-dtbncx+xml\"/>\n";
    for (int i = 0; i < m_chapters.size(); ++i)
        opf += "<item id=\"c" + QByteArray::number(i) + "\" href=\"" + m_chapters[i].href
             + "\" media-type=\"application/xhtml+xml\"/>\n";
    for (int i = 0; i < m_items.size(); ++i)
        opf += "<item id=\"x" + QByteArray::number(i) + "\" href=\"" + m_items[i].first + "\" media-type=\""
             + m_items[i].second + "\"/>\n";
    opf += "</manifest>\n<spine" + QByteArray(epub3 ? "" : " toc=\"ncx\"") + ">\n";
    for (int i = 0; i < m_chapters.size(); ++i)
        opf += "<itemref idref=\"c" + QByteArray::number(i) + "\"" + (m_chapters[i].linear ? "" : " linear=\"no\"") + "/>\n";
    return opf + "</spine>\n</package>\n";
}

QByteArray EpubBuilder::ncx() const
{
    QByteArray out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ncx xmlns=\"http://www.daisy.org/z3986/2005/ncx/\" "
                     "version=\"2005-1\"><head/><docTitle><text>"
                   + m_title + "</text></docTitle><navMap>\n";
    int open = -1;
    for (int i = 0; i < m_contents.size(); ++i) {
        const Entry &e = m_contents[i];
        for (; open >= e.level; --open)
            out += "</navPoint>\n";
        out += "<navPoint id=\"n" + QByteArray::number(i) + "\"><navLabel><text>" + e.title
             + "</text></navLabel><content src=\"" + e.href + "\"/>\n";
        open = e.level;
    }
    for (; open >= 0; --open)
        out += "</navPoint>\n";
    return out + "</navMap></ncx>\n";
}

QByteArray EpubBuilder::nav() const
{
    // Nested lists: an entry one level deeper opens a list inside the entry before it.
    QByteArray out = "<nav epub:type=\"toc\"><h1>Contents</h1><ol>";
    int level = 0;
    for (int i = 0; i < m_contents.size(); ++i) {
        const Entry &e = m_contents[i];
        if (i > 0 && e.level > level) {
            out += "<ol>";
        } else if (i > 0) {
            out += "</li>";
            for (; level > e.level; --level)
                out += "</ol></li>";
        }
        level = e.level;
        out += "<li><a href=\"" + e.href + "\">" + e.title + "</a>";
    }
    if (!m_contents.isEmpty())
        out += "</li>";
    for (; level > 0; --level)
        out += "</ol></li>";
    return xhtml(out + "</ol></nav>");
}

QByteArray EpubBuilder::build() const
{
    QMap<QByteArray, QByteArray> members;
    members.insert("META-INF/container.xml",
                   "<?xml version=\"1.0\"?>\n<container version=\"1.0\" "
                   "xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\"><rootfiles>"
                   "<rootfile full-path=\"OEBPS/content.opf\" media-type=\"application/oebps-package+xml\"/>"
                   "</rootfiles></container>\n");
    members.insert("OEBPS/content.opf", package());
    members.insert(m_version == Version::Epub3 ? "OEBPS/nav.xhtml" : "OEBPS/toc.ncx",
                   m_version == Version::Epub3 ? nav() : ncx());
    for (const Chapter &c : m_chapters)
        members.insert("OEBPS/" + c.href, c.xhtml);
    for (auto it = m_members.cbegin(); it != m_members.cend(); ++it)
        members.insert(it.key(), it.value());
    QList<ZipMember> zip{{"mimetype", "application/epub+zip", false}};
    for (auto it = members.cbegin(); it != members.cend(); ++it) {
        if (!m_without.contains(it.key()))
            zip.append({it.key(), it.value()});
    }
    return zipArchive(zip);
}
