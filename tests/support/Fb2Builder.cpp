#include "Fb2Builder.h"

#include "ZipBuilder.h"

Fb2Builder &Fb2Builder::title(const QByteArray &bookTitle)
{
    m_title = bookTitle;
    return *this;
}

Fb2Builder &Fb2Builder::author(const QByteArray &first, const QByteArray &last, const QByteArray &middle,
                               const QByteArray &nickname)
{
    QByteArray xml = "<author>";
    const QList<QPair<const char *, QByteArray>> parts{
        {"first-name", first}, {"middle-name", middle}, {"last-name", last}, {"nickname", nickname}};
    for (const auto &[element, text] : parts) {
        if (!text.isEmpty())
            xml += QByteArray("<") + element + '>' + text + "</" + element + '>';
    }
    m_authors.append(xml + "</author>");
    return *this;
}

Fb2Builder &Fb2Builder::encoding(const QByteArray &name)
{
    m_encoding = name;
    return *this;
}

Fb2Builder &Fb2Builder::body(const QByteArray &xml, const QByteArray &name)
{
    m_bodies.append((name.isEmpty() ? QByteArray("<body>") : "<body name=\"" + name + "\">") + xml +
                    "</body>\n");
    return *this;
}

Fb2Builder &Fb2Builder::binary(const QByteArray &id, const QByteArray &data)
{
    m_binaries.append("<binary id=\"" + id + "\" content-type=\"image/png\">" + data.toBase64() +
                      "</binary>\n");
    return *this;
}

QByteArray Fb2Builder::section(const QByteArray &title, const QByteArray &content)
{
    return "<section><title><p>" + title + "</p></title>" + content + "</section>";
}

QByteArray Fb2Builder::build() const
{
    QByteArray out =
        "<?xml version=\"1.0\" encoding=\"" + m_encoding +
        "\"?>\n"
        "<FictionBook xmlns=\"http://www.gribuser.ru/xml/fictionbook/2.0\" "
        "xmlns:l=\"http://www.w3.org/1999/xlink\">\n<description><title-info><genre>prose</genre>";
    for (const QByteArray &author : m_authors)
        out += author;
    out += "<book-title>" + m_title +
           "</book-title><annotation><p>Not part of the text.</p></annotation><lang>en</lang></title-info>"
           "<document-info><author><nickname>maker</nickname></author><program-used>tests</program-used>"
           "</document-info></description>\n";
    for (const QByteArray &body : m_bodies)
        out += body;
    for (const QByteArray &binary : m_binaries)
        out += binary;
    return out + "</FictionBook>\n";
}

QByteArray Fb2Builder::zipped() const
{
    return zipArchive({ZipMember{"book.fb2", build()}});
}
