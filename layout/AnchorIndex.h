#pragma once

#include <QHash>
#include <QString>

class Document;

// The named places of an HTML document, for following "#name" links: each element's id, and the
// name of each a element, at the position of its tag's "<". Found by reading the whole document
// once through the markup reader, so a name inside a comment or a script is no place.
class AnchorIndex
{
public:
    static constexpr int MaxAnchors = 200000;
    static constexpr int MaxNameLength = 256;

    // Reads `document` through; its reader is left where it was. The first of two places with
    // the same name wins, as in a browser.
    void build(Document &document);
    bool isBuilt() const { return m_built; }
    void clear();
    // Where `name` is; -1 when the document has no such place.
    qint64 position(const QString &name) const { return m_positions.value(name, -1); }

private:
    QHash<QString, qint64> m_positions;
    bool m_built = false;
};
