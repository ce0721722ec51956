#pragma once

#include "Status.h"

#include <QList>
#include <QSaveFile>
#include <QString>

// One record of a bookmark (.bkm) or contents (.cnt) file: four UTF-8 lines, each ended by a
// line feed, holding the texts exactly as the list shows them.
struct BookmarkRecord
{
    QString title;
    QString page;      // decimal
    QString position;  // decimal byte offset
    QString paragraph; // "1" or "0"
};

// Every complete record of the file at `path` into `records` (emptied first); a record cut short
// at the end is dropped. A missing or unreadable file gives no records and says why.
Status readBookmarkRecords(const QString &path, QList<BookmarkRecord> &records);

// Writes records to a new copy of the file that replaces the old one only once it is complete,
// so a crash or a full disk half way leaves the previous file as it was.
class BookmarkFileWriter
{
public:
    explicit BookmarkFileWriter(const QString &path);
    bool isOpen() const { return m_open; }
    // A line feed in a title would split the record: it is written as a space.
    void write(const BookmarkRecord &record);
    // False when anything failed; the old file is then left untouched.
    bool commit();

private:
    QSaveFile m_file;
    bool m_open = false;
};

// Convenience: the whole list at once.
bool writeBookmarkRecords(const QString &path, const QList<BookmarkRecord> &records);
