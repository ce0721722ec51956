#include "ReadingPlaces.h"

Status ReadingPlaces::open(const QString &path)
{
    return m_store.open(path);
}

std::optional<BookRecord> ReadingPlaces::arrive(const QString &path)
{
    m_current = BookRecord{};
    qint64 size = 0;
    const QByteArray fingerprint = LibraryStore::fingerprintOf(path, &size);
    if (fingerprint.isEmpty())
        return std::nullopt;
    m_current.path = path;
    m_current.size = size;
    m_current.fingerprint = fingerprint;
    // A copy whose original is still in place comes back with id -1: it starts at the original's
    // place and is stored as a book of its own.
    const std::optional<BookRecord> found = m_store.find(path, size, fingerprint);
    if (found) {
        m_current = *found;
        m_current.path = path;
    }
    return found;
}

void ReadingPlaces::note(const PageStart &start, qint64 textSize, const QString &title, const QString &author,
                         const QString &encoding)
{
    if (m_current.path.isEmpty() || !m_store.isOpen())
        return;
    m_current.position = start.position;
    m_current.paragraph = start.paragraph;
    m_current.penColor = start.penColor.isValid() ? start.penColor.name() : QString();
    m_current.bold = start.bold;
    m_current.italic = start.italic;
    m_current.underline = start.underline;
    if (!title.isEmpty())
        m_current.title = title;
    if (!author.isEmpty())
        m_current.author = author;
    m_current.encoding = encoding;
    m_current.setProgress(start.position, textSize);
    m_current.lastRead = QDateTime();  // now
    qint64 id = m_current.id;
    if (m_store.remember(m_current, &id).isOk())
        m_current.id = id;
}
