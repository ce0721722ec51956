#include "AnchorIndex.h"

#include "Document.h"
#include "MarkupReader.h"

void AnchorIndex::clear()
{
    m_positions.clear();
    m_built = false;
}

void AnchorIndex::build(Document &document)
{
    clear();
    m_built = true;
    if (!document.isOpen() || !document.isHtml())
        return;
    PositionedReader &file = document.reader();
    const qint64 remembered = file.pos();
    file.seek(0);
    MarkupReader markup(document);
    markup.setKeepTagText(true);
    TextStyle style;
    uint8_t increment = 0;
    auto note = [this](const QString &name, qint64 at) {
        if (!name.isEmpty() && name.size() <= MaxNameLength && m_positions.size() < MaxAnchors
            && !m_positions.contains(name))
            m_positions.insert(name, at);
    };
    while (markup.skipToTag()) {
        const qint64 at = file.pos();
        markup.read(style, increment);
        const QString &tag = markup.tagText();
        if (tag.isEmpty() || tag.startsWith(QLatin1Char('/')))
            continue;
        note(htmlAttribute(tag, QLatin1StringView("id")), at);
        if (tag.size() > 1 && (tag[0] == u'a' || tag[0] == u'A') && (tag[1] == u' ' || tag[1] == u'\t' || tag[1] == u'\n'))
            note(htmlAttribute(tag, QLatin1StringView("name")), at);
    }
    file.seek(remembered);
}
