#pragma once

#include "BookInfo.h"
#include "Status.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

class BookOutput;
class QXmlStreamReader;

// A FictionBook document's tokens written as plain HTML for the markup reader, in the order they
// come: the first body (the book itself), then every other body (notes, comments). Sections
// become divisions with headings by depth, poems lines, epigraphs and citations blockquotes;
// every element with an id gets a name anchor (the id itself) before it and links lead there.
// The description's title-info gives the metadata, the section titles the contents.
class Fb2Copier
{
public:
    static constexpr int MaxDepth = 256;  // elements open at once

    explicit Fb2Copier(BookOutput &out);
    Fb2Copier(const Fb2Copier &) = delete;
    Fb2Copier &operator=(const Fb2Copier &) = delete;

    // One token of the reader; false stops the reading: the output failed (its own status says
    // why) or the document is no book this copier can make anything of (status()).
    bool token(const QXmlStreamReader &xml);
    // After the document's end: closes the copy. Fails for a document without a body.
    Status finish();

    const Status &status() const { return m_status; }
    // Filled as the document is read; complete after finish().
    const BookInfo &info() const { return m_info; }

private:
    enum class Kind {
        Root,
        Description,
        TitleInfo,
        BookTitle,
        Author,
        AuthorName,
        Lang,
        Body,
        Section,
        Title,
        Paragraph,
        Stanza,
        Verse,
        Block,
        Inline,
        Link,
        Image,
        Other
    };
    struct Open
    {
        Kind kind;
        QByteArray close;      // written at its end tag
        int children = 0;      // paragraphs of a title, verses of a stanza so far
        bool heading = false;  // a section's or body's title: its text goes to the contents
    };

    bool startElement(const QXmlStreamReader &xml);
    bool startMetadata(const QString &name);
    bool startBodyElement(const QString &name, const QXmlStreamReader &xml);
    bool startBody(const QXmlStreamReader &xml);
    bool startTitle();
    bool startLink(const QXmlStreamReader &xml);
    bool startImage(const QXmlStreamReader &xml);
    bool endElement();
    void endTitle();
    bool characters(const QXmlStreamReader &xml);
    bool anchor(QStringView id);
    bool push(Kind kind, const char *open, const char *close);
    bool fail(Status status);
    bool inlineContext() const;
    int sectionDepth() const;

    BookOutput &m_out;
    BookInfo m_info;
    Status m_status;
    QVector<Open> m_open;
    int m_skipDepth = 0;  // elements open inside one left out with all it holds
    int m_bodies = 0;     // bodies met so far; the first is the book
    bool m_sawRoot = false;
    bool m_sawTitleInfo = false;
    bool m_headWritten = false;
    QString *m_field = nullptr;  // the metadata text being read
    QString m_bookTitle, m_language;
    QStringList m_authors;
    QString m_authorParts[4];  // first, middle and last name, nickname
    bool m_inTitle = false;
    QString m_titleText;  // the text of the title being read, for the contents
    qint64 m_titleStart = 0;
    qint64 m_bodyStart = 0;
    QString m_bodyName;
    bool m_bodyEntered = false;  // the body at hand has its contents entry
};
