#include "ShownReader.h"

#include "Document.h"

ShownReader::ShownReader(Document &document, const ShownRules &rules)
    : m_document(document), m_rules(rules)
{
    m_markup.emplace(m_document);
    m_markup->setStripNewlines(m_rules.stripNewlines);
}

void ShownReader::seek(qint64 position, bool preformatted)
{
    m_document.reader().seek(position);
    m_markup.emplace(m_document);
    m_markup->setStripNewlines(m_rules.stripNewlines);
    m_style = TextStyle{};
    m_style.preformatted = preformatted;
    m_increment = 0;
    m_lastStart = m_document.position();
    m_clean = true;
}

qint64 ShownReader::position() const
{
    return m_document.position();
}

bool ShownReader::atEnd() const
{
    return m_document.reader().atEnd();
}

bool ShownReader::shows(const MarkupReader::Char &c) const
{
    if (c.kind == MarkupReader::Kind::Hidden)
        return false;
    if (c.kind != MarkupReader::Kind::Text)
        return true;
    return c.value != 0xFEFF && (c.value != U'\r' || m_rules.crIsLineFeed);
}

MarkupReader::Char ShownReader::step()
{
    return m_markup->read(m_style, m_increment);
}

bool ShownReader::next(ShownChar &out)
{
    PositionedReader &file = m_document.reader();
    while (!file.atEnd()) {
        const qint64 before = file.pos();
        const MarkupReader::Char c = m_markup->read(m_style, m_increment);
        const qint64 after = file.pos();
        char32_t value = c.value;
        switch (c.kind) {
        case MarkupReader::Kind::Hidden:
            m_clean = true;
            continue;
        case MarkupReader::Kind::LineBreak:
        case MarkupReader::Kind::BlockBreak:
        case MarkupReader::Kind::ParagraphEnd:
            value = U'\n';
            m_clean = true;
            break;
        case MarkupReader::Kind::Text:
            if (value == 0xFEFF)
                continue;  // the fitter skips it: zero width
            if (value == U'\r') {
                if (!m_rules.crIsLineFeed)
                    continue;
                value = U'\n';
            }
            // A line feed read as itself leaves nothing pending; a character read with no move
            // is the second of a pair and belongs to the bytes of the first.
            m_clean = value == U'\n' && after > before;
            break;
        }
        out.value = value;
        out.start = after == before ? m_lastStart : before;
        out.end = after;
        m_lastStart = out.start;
        return true;
    }
    return false;
}
