#pragma once

#include "Status.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <memory>
#include <optional>

class QSqlError;
class QThread;

// One document the reader has opened, and where reading stopped in it.
struct BookRecord
{
    qint64 id = -1;          // the store's key; -1 for a book not stored yet
    QString path;            // where the book was last opened
    qint64 size = 0;         // bytes of the file at `path`
    QByteArray fingerprint;  // LibraryStore::fingerprintOf the file: it finds the book when moved
    QString title;
    QString author;          // empty while unknown

    // The page start, enough to lay the page out again with the attributes in force there.
    qint64 position = 0;  // byte offset into the text read
    bool paragraph = false;
    QString penColor;  // colour name ("#rrggbb"); empty for the default colour
    bool bold = false;
    bool italic = false;
    bool underline = false;

    QString encoding;   // the encoding chosen for this book; empty for the reader's setting
    int progress = 0;   // per-mille of the text before `position`, 0..1000
    QDateTime lastRead;  // UTC; remember() stamps the current time when invalid
    QDateTime added;     // UTC, when the book was first stored; kept by remember()

    // Sets `progress` from the position and the length of the text (0 for an empty text).
    void setProgress(qint64 position, qint64 length);
    bool operator==(const BookRecord &other) const;
    bool operator!=(const BookRecord &other) const { return !(*this == other); }
};

// The library: every book the reader has opened and its place, in an SQLite file through Qt SQL.
//
// Threads: a store is one database connection, usable only on the thread that called open() (and
// to be closed or destroyed there); a call from any other thread does nothing and returns an error. Another thread opens a store of its own on
// the same file (WAL lets it read while this one writes). fingerprintOf() and defaultPath() may run
// on any thread.
//
// Failure never blocks the reader: a file that is damaged, is not a library, comes from a newer
// version, or is locked by another program gives an error from open() within the busy timeout, and
// the store then stays closed, every call a no-op returning that error.
class LibraryStore
{
public:
    static constexpr int SchemaVersion = 1;        // PRAGMA user_version of an up-to-date library
    static constexpr int BusyTimeoutMs = 100;      // how long a call waits for another writer
    static constexpr qint64 FingerprintBytes = 64 * 1024;

    LibraryStore();
    ~LibraryStore();
    LibraryStore(const LibraryStore &) = delete;
    LibraryStore &operator=(const LibraryStore &) = delete;

    // $XDG_DATA_HOME/folium/library.sqlite (empty when there is no home folder to put it in).
    static QString defaultPath();

    // Opens the library at `path`, creating it (and its folder, mode 0700) when missing, and brings
    // its tables up to date. Opening again first closes the file open before.
    Status open(const QString &path = defaultPath());
    bool isOpen() const { return m_db && m_status.isOk(); }
    // Ok while the store is usable; otherwise why it is not.
    const Status &status() const { return m_status; }
    void close();

    // The book at `path` when its size and fingerprint still match. Otherwise a stored book with this
    // size and fingerprint: a moved or renamed book is given its new path (in the store too), and a
    // copy whose original is still in place comes back with id -1, to be stored as a book of its own
    // that starts at the original's place. Nothing for a book the library does not know.
    std::optional<BookRecord> find(const QString &path, qint64 size, const QByteArray &fingerprint,
                                   Status *status = nullptr);
    // Stores the record: by id when it has one, otherwise by path. A different book (other size or
    // fingerprint) stored at the same path is replaced. `storedId` receives the record's key.
    Status remember(const BookRecord &record, qint64 *storedId = nullptr);
    // Newest first (by last-read time). Every word of `filter` must occur, ignoring case, in the
    // title, the author or the file name.
    QList<BookRecord> books(const QString &filter = QString(), Status *status = nullptr);
    Status remove(qint64 id);

    // The SHA-1 of at most the first FingerprintBytes of the regular file at `path`, and its size.
    // A FIFO, device or folder is refused without ever blocking. Empty on failure, with the reason.
    static QByteArray fingerprintOf(const QString &path, qint64 *size = nullptr, Status *status = nullptr);

private:
    struct Connection;
    class Statement;

    Status usable() const;
    Status openConnection(const QString &path);
    Status migrate();
    Status useWriteAheadLog();
    // Turns a failed statement into a Status; a damaged file also closes the store for good.
    Status failure(const QSqlError &error, const char *what);
    std::optional<BookRecord> moveToPath(BookRecord found, const QString &path, Status &status);
    Status writeRecord(const BookRecord &record, qint64 &id);

    std::unique_ptr<Connection> m_db;  // null while closed
    QString m_path;
    QThread *m_thread = nullptr;  // the thread that opened the connection
    Status m_status = Status::error(Status::Code::NotFound, "The library is not open.");
};
