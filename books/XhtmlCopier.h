#pragma once

#include "EpubPackage.h"

#include <QHash>
#include <QString>
#include <QVector>
#include <QXmlStreamReader>
#include <functional>

class BookOutput;

// One chapter's XHTML read as it streams in, chunk by chunk. Chapters that use HTML's named
// entities without declaring them (&nbsp; with no DTD) are read as if they named the XHTML DTD,
// so the entities come through as references instead of breaking the XML.
class XhtmlStream
{
public:
    explicit XhtmlStream(const QString &member);
    virtual ~XhtmlStream() = default;

    // False once the chapter is known not to be well-formed XML or the handler stopped.
    bool feed(const char *data, size_t size);
    // After the last chunk: whether the whole chapter was read as well-formed XML.
    bool finish();
    const QString &member() const { return m_member; }
    QString errorText() const;

protected:
    // One token; false stops the reading.
    virtual bool token(QXmlStreamReader &xml) = 0;

private:
    bool drain();

    QString m_member;
    QXmlStreamReader m_xml;
    bool m_first = true;
    bool m_stopped = false;
};

// A chapter's body as plain HTML for the markup reader. Elements keep their names but lose their
// attributes, except a link's address, rewritten to the prepared copy's anchors (or dropped when
// it leads nowhere the reader can follow). An element with an id gets a name anchor before it,
// the chapter's prefix and the id ("s3." + "notes"); pictures become their alt text in brackets,
// or "[picture]"; scripts, styles, SVG and MathML are left out.
class XhtmlCopier : public XhtmlStream
{
public:
    // The address a link gets in the copy ("#t12", or an outside address as it is); empty: no link.
    using Rewrite = std::function<QString(const EpubTarget &)>;
    // `noted` hears each id anchored and the offset of the copy it was put at.
    XhtmlCopier(const QString &member, BookOutput &out, const QString &anchorPrefix, Rewrite rewrite,
                std::function<void(const QString &id, qint64 offset)> noted);

protected:
    bool token(QXmlStreamReader &xml) override;

private:
    bool startElement(QXmlStreamReader &xml);
    bool endElement(const QString &name);
    bool anchorFor(QStringView id);

    BookOutput &m_out;
    QString m_anchorPrefix;
    Rewrite m_rewrite;
    std::function<void(const QString &, qint64)> m_noted;
    bool m_inBody = false;
    bool m_bodyOver = false;
    int m_skipDepth = 0;  // elements open inside one that is left out
    int m_preDepth = 0;   // pre elements open: their line feeds are kept
};
