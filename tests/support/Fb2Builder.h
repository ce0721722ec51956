#pragma once
// FictionBook 2 books for tests and benchmarks: the XML declaration (with any encoding named),
// a description with title-info, the bodies in order and binaries, or the whole thing zipped.
// Every piece is taken as bytes and written as given, so a test can hand over text already in
// the declared code page, or break the XML on purpose.
#include <QByteArray>
#include <QList>

class Fb2Builder
{
public:
    Fb2Builder &title(const QByteArray &bookTitle);
    // An author of several name parts; an empty part is left out.
    Fb2Builder &author(const QByteArray &first, const QByteArray &last, const QByteArray &middle = {},
                       const QByteArray &nickname = {});
    // The name in the XML declaration; UTF-8 unless said.
    Fb2Builder &encoding(const QByteArray &name);
    // A body holding `xml`; a named one ("notes") is a body of notes.
    Fb2Builder &body(const QByteArray &xml, const QByteArray &name = {});
    // A picture stored as base64 at the end of the book.
    Fb2Builder &binary(const QByteArray &id, const QByteArray &data);

    QByteArray build() const;
    // The book as the only member of a zip archive, "book.fb2".
    QByteArray zipped() const;

    // <section><title><p>title</p></title>content</section>
    static QByteArray section(const QByteArray &title, const QByteArray &content);

private:
    QByteArray m_title = "A Book", m_encoding = "UTF-8";
    QList<QByteArray> m_authors;
    QList<QByteArray> m_bodies;
    QList<QByteArray> m_binaries;
};
