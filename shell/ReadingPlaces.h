#pragma once

#include "LayoutTypes.h"
#include "LibraryStore.h"

#include <QString>
#include <optional>

// Where reading stopped in every book, kept in the library: looked up when a book is opened and
// noted while it is read. A library that cannot be used costs nothing: the reader goes on without.
class ReadingPlaces
{
public:
    // Opens the library file; the status says why it cannot be used.
    Status open(const QString &path = LibraryStore::defaultPath());

    // The stored record of the document at `path`, found by its path or, when moved or renamed,
    // by its size and the fingerprint of its start; also notes which book is being read.
    std::optional<BookRecord> arrive(const QString &path);
    // Notes the place in the book being read (the one arrive() was last called for).
    void note(const PageStart &start, qint64 textSize, const QString &title, const QString &author,
              const QString &encoding);

    LibraryStore &store() { return m_store; }

private:
    LibraryStore m_store;
    BookRecord m_current;  // the book being read; path empty when none
};
