#include "LibraryStore.h"

#include "FileIo.h"

#include <QAtomicInteger>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QThread>
#include <QTimeZone>
#include <QVariant>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int ApplicationId = 0x466F6C69;  // "Foli" in the file header: this file is a library
constexpr qsizetype MaxPathChars = 4096;
constexpr qsizetype MaxTextChars = 1024;   // title, author
constexpr qsizetype MaxNameChars = 64;     // encoding and colour names
constexpr int MaxFingerprintBytes = 64;

// The statements that take the schema from version N-1 to N, at index N-1. A new version is one
// more entry; a step runs in one transaction with its version number, so a crash never leaves half
// of one.
const std::vector<std::vector<const char *>> &migrationSteps()
{
    static const std::vector<std::vector<const char *>> steps = {
        {
            // 1: the books and their places. Times are milliseconds since the epoch, UTC.
            "CREATE TABLE books ("
            " id INTEGER PRIMARY KEY,"
            " path TEXT NOT NULL UNIQUE,"
            " size INTEGER NOT NULL,"
            " fingerprint BLOB NOT NULL,"
            " title TEXT NOT NULL DEFAULT '',"
            " author TEXT NOT NULL DEFAULT '',"
            " position INTEGER NOT NULL DEFAULT 0,"
            " paragraph INTEGER NOT NULL DEFAULT 0,"
            " pen_color TEXT NOT NULL DEFAULT '',"
            " bold INTEGER NOT NULL DEFAULT 0,"
            " italic INTEGER NOT NULL DEFAULT 0,"
            " underline INTEGER NOT NULL DEFAULT 0,"
            " encoding TEXT NOT NULL DEFAULT '',"
            " progress INTEGER NOT NULL DEFAULT 0,"  // per-mille
            " last_read INTEGER NOT NULL,"
            " added INTEGER NOT NULL)",
            "CREATE INDEX books_by_content ON books(size, fingerprint)",
            "CREATE INDEX books_by_last_read ON books(last_read)",
            "PRAGMA application_id = 1181707369",
        },
    };
    return steps;
}

const QString Columns = QStringLiteral("id, path, size, fingerprint, title, author, position, paragraph, "
                                       "pen_color, bold, italic, underline, encoding, progress, last_read, added");

QDateTime utcFromMs(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, QTimeZone::utc());
}

// A row selected with Columns; values are clamped, since the file may have been edited by hand.
BookRecord recordAt(const QSqlQuery &q)
{
    BookRecord r;
    r.id = q.value(0).toLongLong();
    r.path = q.value(1).toString();
    r.size = std::max<qint64>(0, q.value(2).toLongLong());
    r.fingerprint = q.value(3).toByteArray();
    r.title = q.value(4).toString();
    r.author = q.value(5).toString();
    r.position = std::max<qint64>(0, q.value(6).toLongLong());
    r.paragraph = q.value(7).toBool();
    r.penColor = q.value(8).toString();
    r.bold = q.value(9).toBool();
    r.italic = q.value(10).toBool();
    r.underline = q.value(11).toBool();
    r.encoding = q.value(12).toString();
    r.progress = std::clamp(q.value(13).toInt(), 0, 1000);
    r.lastRead = utcFromMs(q.value(14).toLongLong());
    r.added = utcFromMs(q.value(15).toLongLong());
    return r;
}

// The driver stores a null QString as NULL, which the text columns refuse.
QString boundedText(const QString &text, qsizetype limit)
{
    return text.isNull() ? QStringLiteral("") : text.left(limit);
}

// Binds every column but id, bounded as stored.
void bindRecord(QSqlQuery &q, const BookRecord &r, const QDateTime &lastRead, const QDateTime &added)
{
    q.bindValue(QStringLiteral(":path"), r.path);
    q.bindValue(QStringLiteral(":size"), r.size);
    q.bindValue(QStringLiteral(":fingerprint"), r.fingerprint);
    q.bindValue(QStringLiteral(":title"), boundedText(r.title, MaxTextChars));
    q.bindValue(QStringLiteral(":author"), boundedText(r.author, MaxTextChars));
    q.bindValue(QStringLiteral(":position"), std::max<qint64>(0, r.position));
    q.bindValue(QStringLiteral(":paragraph"), int(r.paragraph));
    q.bindValue(QStringLiteral(":pen_color"), boundedText(r.penColor, MaxNameChars));
    q.bindValue(QStringLiteral(":bold"), int(r.bold));
    q.bindValue(QStringLiteral(":italic"), int(r.italic));
    q.bindValue(QStringLiteral(":underline"), int(r.underline));
    q.bindValue(QStringLiteral(":encoding"), boundedText(r.encoding, MaxNameChars));
    q.bindValue(QStringLiteral(":progress"), std::clamp(r.progress, 0, 1000));
    q.bindValue(QStringLiteral(":last_read"), lastRead.toMSecsSinceEpoch());
    q.bindValue(QStringLiteral(":added"), added.toMSecsSinceEpoch());
}

// Makes every missing folder on the way to `folder` with mode 0700: the library tells what the user
// reads. Folders that exist keep their mode.
Status makePrivateFolder(const QString &folder)
{
    const QStringList parts = folder.split(QLatin1Char('/'));
    QString path;
    for (const QString &part : parts) {
        if (part.isEmpty() && !path.isEmpty())
            continue;
        path += part + QLatin1Char('/');
        const QByteArray native = QFile::encodeName(path);
        struct stat st;
        if (::stat(native.constData(), &st) == 0 && S_ISDIR(st.st_mode))
            continue;
        if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
            return Status::error(Status::Code::WriteFailed, "The folder for the library cannot be made.",
                                 native.toStdString() + ": " + std::strerror(errno));
    }
    return Status::ok();
}

bool sameContent(const BookRecord &r, qint64 size, const QByteArray &fingerprint)
{
    return r.size == size && r.fingerprint == fingerprint;
}

// Every word of the filter in the title, the author or the file name.
bool matches(const BookRecord &r, const QStringList &words)
{
    const QString fileName = r.path.mid(r.path.lastIndexOf(QLatin1Char('/')) + 1);
    return std::all_of(words.begin(), words.end(), [&](const QString &word) {
        return r.title.contains(word, Qt::CaseInsensitive) || r.author.contains(word, Qt::CaseInsensitive)
            || fileName.contains(word, Qt::CaseInsensitive);
    });
}

} // namespace

void BookRecord::setProgress(qint64 at, qint64 length)
{
    progress = length <= 0 ? 0 : int(std::clamp<double>(1000.0 * double(at) / double(length), 0, 1000));
}

bool BookRecord::operator==(const BookRecord &o) const
{
    return id == o.id && path == o.path && size == o.size && fingerprint == o.fingerprint && title == o.title
        && author == o.author && position == o.position && paragraph == o.paragraph && penColor == o.penColor
        && bold == o.bold && italic == o.italic && underline == o.underline && encoding == o.encoding
        && progress == o.progress && lastRead == o.lastRead && added == o.added;
}

LibraryStore::LibraryStore() = default;

LibraryStore::~LibraryStore()
{
    close();
}

QString LibraryStore::defaultPath()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return data.isEmpty() ? QString() : data + QStringLiteral("/folium/library.sqlite");
}

Status LibraryStore::open(const QString &path)
{
    close();
    Status status = openConnection(path);
    if (status.isOk())
        status = migrate();  // its first read finds a locked, damaged or foreign file
    if (status.isOk())
        status = useWriteAheadLog();
    if (!status.isOk())
        close();
    m_status = status;
    return status;
}

void LibraryStore::close()
{
    if (!m_connection.isEmpty())
        QSqlDatabase::removeDatabase(m_connection);  // no QSqlDatabase or QSqlQuery outlives a call
    m_connection.clear();
    m_thread = nullptr;
    m_status = Status::error(Status::Code::NotFound, "The library is not open.");
}

Status LibraryStore::usable() const
{
    if (!isOpen())
        return m_status;
    if (QThread::currentThread() != m_thread)
        return Status::error(Status::Code::Unreadable, "The library is open on another thread.");
    return Status::ok();
}

Status LibraryStore::failure(const QSqlError &error, const char *what)
{
    const std::string detail = std::string(what) + ": " + error.text().toStdString() + " ("
                             + QFile::encodeName(m_path).toStdString() + ")";
    switch (error.nativeErrorCode().toInt() & 0xff) {  // SQLite's primary result code
    case 5:  // SQLITE_BUSY
    case 6:  // SQLITE_LOCKED
        return Status::error(Status::Code::Unreadable, "The library is locked by another program.", detail);
    case 11:  // SQLITE_CORRUPT
    case 26:  // SQLITE_NOTADB
        // Whatever else it holds can no longer be trusted: stop using it.
        m_status = Status::error(Status::Code::Damaged, "The library file is damaged or is not a library.", detail);
        return m_status;
    case 8:  // SQLITE_READONLY
    case 13: // SQLITE_FULL
        return Status::error(Status::Code::WriteFailed, "The library cannot be written.", detail);
    default:
        return Status::error(Status::Code::Unreadable, "The library cannot be read.", detail);
    }
}

Status LibraryStore::openConnection(const QString &path)
{
    m_path = path;
    if (path.isEmpty())
        return Status::error(Status::Code::NotFound, "There is no folder to keep the library in.");
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE")))
        return Status::error(Status::Code::Unsupported, "The library needs Qt's SQLite driver.");
    // SQLite would open a FIFO and then wait on it; only a regular file (or none yet) will do.
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) == 0 && !S_ISREG(st.st_mode))
        return Status::error(Status::Code::NotRegularFile, "The library is not a regular file.",
                             QFile::encodeName(path).toStdString());
    const Status folder = makePrivateFolder(QFileInfo(path).absolutePath());
    if (!folder.isOk())
        return folder;

    static QAtomicInteger<quint64> serial;
    m_connection = QStringLiteral("folium-library-%1").arg(++serial);
    m_thread = QThread::currentThread();
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(BusyTimeoutMs));
    if (!db.open())
        return failure(db.lastError(), "open");
    return Status::ok();
}

// Only once the file is known to be a library: another program's database is never converted.
Status LibraryStore::useWriteAheadLog()
{
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    if (!q.exec(QStringLiteral("PRAGMA journal_mode=WAL")))
        return failure(q.lastError(), "journal mode");
    // With WAL a commit need not wait for the disk; a crash loses at most the last places, never the file.
    if (!q.exec(QStringLiteral("PRAGMA synchronous=NORMAL")))
        return failure(q.lastError(), "synchronous");
    return Status::ok();
}

Status LibraryStore::migrate()
{
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    const auto readInt = [&q](const QString &sql, int &value) {
        if (!q.exec(sql) || !q.next())
            return false;
        value = q.value(0).toInt();
        return true;
    };
    int version = 0, applicationId = 0, tables = 0;
    if (!readInt(QStringLiteral("PRAGMA user_version"), version)
        || !readInt(QStringLiteral("PRAGMA application_id"), applicationId))
        return failure(q.lastError(), "schema version");
    if (version == SchemaVersion && applicationId == ApplicationId)
        return Status::ok();

    // Another reader may be migrating the same file: decide again under the write lock.
    if (!q.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return failure(q.lastError(), "begin migration");
    const auto rollBack = [&q](Status status) {
        q.exec(QStringLiteral("ROLLBACK"));
        return status;
    };
    if (!readInt(QStringLiteral("PRAGMA user_version"), version)
        || !readInt(QStringLiteral("PRAGMA application_id"), applicationId)
        || !readInt(QStringLiteral("SELECT count(*) FROM sqlite_master"), tables))
        return rollBack(failure(q.lastError(), "schema version"));
    const bool empty = version == 0 && applicationId == 0 && tables == 0;
    if (!empty && applicationId != ApplicationId)
        return rollBack(Status::error(Status::Code::Damaged, "The library file belongs to another program.",
                                      QFile::encodeName(m_path).toStdString()));
    if (version > SchemaVersion)
        return rollBack(Status::error(Status::Code::Unsupported,
                                      "The library was written by a newer version of Folium.",
                                      "schema version " + std::to_string(version)));
    const auto &steps = migrationSteps();
    for (int next = version + 1; next <= SchemaVersion; ++next) {
        for (const char *statement : steps[size_t(next - 1)]) {
            if (!q.exec(QString::fromLatin1(statement)))
                return rollBack(failure(q.lastError(), "migration"));
        }
        if (!q.exec(QStringLiteral("PRAGMA user_version = %1").arg(next)))
            return rollBack(failure(q.lastError(), "migration"));
    }
    if (!q.exec(QStringLiteral("COMMIT")))
        return rollBack(failure(q.lastError(), "commit migration"));
    return Status::ok();
}

std::optional<BookRecord> LibraryStore::find(const QString &path, qint64 size, const QByteArray &fingerprint,
                                             Status *status)
{
    Status ignored;
    Status &result = status ? *status : ignored;
    result = usable();
    if (!result.isOk())
        return std::nullopt;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.prepare(QStringLiteral("SELECT %1 FROM books WHERE path = :path").arg(Columns));
    q.bindValue(QStringLiteral(":path"), path);
    if (!q.exec()) {
        result = failure(q.lastError(), "find by path");
        return std::nullopt;
    }
    if (q.next()) {
        BookRecord atPath = recordAt(q);
        if (sameContent(atPath, size, fingerprint))
            return atPath;
    }
    if (fingerprint.isEmpty())
        return std::nullopt;
    q.prepare(QStringLiteral("SELECT %1 FROM books WHERE size = :size AND fingerprint = :fingerprint "
                             "AND path <> :path ORDER BY last_read DESC LIMIT 1")
                  .arg(Columns));
    q.bindValue(QStringLiteral(":size"), size);
    q.bindValue(QStringLiteral(":fingerprint"), fingerprint);
    q.bindValue(QStringLiteral(":path"), path);
    if (!q.exec()) {
        result = failure(q.lastError(), "find by content");
        return std::nullopt;
    }
    if (!q.next())
        return std::nullopt;
    BookRecord found = recordAt(q);
    q.finish();

    qint64 sizeThere = -1;
    if (fingerprintOf(found.path, &sizeThere) == fingerprint && sizeThere == size) {
        // A copy: the original is still where it was and keeps its record.
        found.id = -1;
        found.path = path;
        found.added = QDateTime();
        return found;
    }
    return moveToPath(found, path, result);
}

// Gives the stored book its new path. A record left at that path belongs to a book no longer there.
// The book is returned even when the store cannot be written; remember() moves it then.
std::optional<BookRecord> LibraryStore::moveToPath(BookRecord found, const QString &path, Status &status)
{
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    const auto run = [&q](const QString &sql, const QString &newPath, qint64 id) {
        q.prepare(sql);
        q.bindValue(QStringLiteral(":path"), newPath);
        if (id >= 0)
            q.bindValue(QStringLiteral(":id"), id);
        return q.exec();
    };
    if (!q.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
        status = failure(q.lastError(), "move");
    } else if (!run(QStringLiteral("DELETE FROM books WHERE path = :path"), path, -1)
               || !run(QStringLiteral("UPDATE books SET path = :path WHERE id = :id"), path, found.id)
               || !q.exec(QStringLiteral("COMMIT"))) {
        status = failure(q.lastError(), "move");
        q.exec(QStringLiteral("ROLLBACK"));
    }
    found.path = path;
    return found;
}

Status LibraryStore::remember(const BookRecord &record, qint64 *storedId)
{
    Status status = usable();
    if (!status.isOk())
        return status;
    if (record.path.isEmpty() || record.size < 0 || record.fingerprint.isEmpty())
        return Status::error(Status::Code::Unsupported, "A book needs its path, size and fingerprint.");
    if (record.path.size() > MaxPathChars || record.fingerprint.size() > MaxFingerprintBytes)
        return Status::error(Status::Code::TooLarge, "The book's path is too long for the library.");
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    if (!q.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return failure(q.lastError(), "remember");
    qint64 id = -1;
    status = writeRecord(record, id);
    if (status.isOk() && !q.exec(QStringLiteral("COMMIT")))
        status = failure(q.lastError(), "remember");
    if (!status.isOk()) {
        q.exec(QStringLiteral("ROLLBACK"));
        return status;
    }
    if (storedId)
        *storedId = id;
    return status;
}

// Inside the write transaction: update the record's own row (by id, else by path when the same book
// is stored there) or insert one, dropping whatever other row holds the path.
Status LibraryStore::writeRecord(const BookRecord &record, qint64 &id)
{
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QDateTime added = record.added.isValid() ? record.added : now;
    id = -1;
    if (record.id >= 0) {
        q.prepare(QStringLiteral("SELECT added FROM books WHERE id = :id"));
        q.bindValue(QStringLiteral(":id"), record.id);
        if (!q.exec())
            return failure(q.lastError(), "remember");
        if (q.next()) {
            id = record.id;
            added = utcFromMs(q.value(0).toLongLong());
        }
    }
    q.prepare(QStringLiteral("SELECT id, size, fingerprint, added FROM books WHERE path = :path"));
    q.bindValue(QStringLiteral(":path"), record.path);
    if (!q.exec())
        return failure(q.lastError(), "remember");
    if (q.next() && q.value(0).toLongLong() != id) {
        const qint64 other = q.value(0).toLongLong();
        if (id < 0 && q.value(1).toLongLong() == record.size && q.value(2).toByteArray() == record.fingerprint) {
            id = other;
            added = utcFromMs(q.value(3).toLongLong());
        } else {
            q.prepare(QStringLiteral("DELETE FROM books WHERE id = :id"));
            q.bindValue(QStringLiteral(":id"), other);
            if (!q.exec())
                return failure(q.lastError(), "remember");
        }
    }

    if (id >= 0) {
        q.prepare(QStringLiteral("UPDATE books SET path = :path, size = :size, fingerprint = :fingerprint, "
                                 "title = :title, author = :author, position = :position, paragraph = :paragraph, "
                                 "pen_color = :pen_color, bold = :bold, italic = :italic, underline = :underline, "
                                 "encoding = :encoding, progress = :progress, last_read = :last_read, "
                                 "added = :added WHERE id = :id"));
        q.bindValue(QStringLiteral(":id"), id);
    } else {
        q.prepare(QStringLiteral("INSERT INTO books (path, size, fingerprint, title, author, position, paragraph, "
                                 "pen_color, bold, italic, underline, encoding, progress, last_read, added) "
                                 "VALUES (:path, :size, :fingerprint, :title, :author, :position, :paragraph, "
                                 ":pen_color, :bold, :italic, :underline, :encoding, :progress, :last_read, :added)"));
    }
    bindRecord(q, record, record.lastRead.isValid() ? record.lastRead : now, added);
    if (!q.exec())
        return failure(q.lastError(), "remember");
    if (id < 0)
        id = q.lastInsertId().toLongLong();
    return Status::ok();
}

QList<BookRecord> LibraryStore::books(const QString &filter, Status *status)
{
    Status ignored;
    Status &result = status ? *status : ignored;
    result = usable();
    QList<BookRecord> out;
    if (!result.isOk())
        return out;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT %1 FROM books ORDER BY last_read DESC, id DESC").arg(Columns))) {
        result = failure(q.lastError(), "list");
        return out;
    }
    // SQLite folds the case of ASCII letters only; titles are compared here.
    const QStringList words = filter.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    while (q.next()) {
        BookRecord r = recordAt(q);
        if (matches(r, words))
            out.append(std::move(r));
    }
    if (q.lastError().isValid())
        result = failure(q.lastError(), "list");
    return out;
}

Status LibraryStore::remove(qint64 id)
{
    Status status = usable();
    if (!status.isOk())
        return status;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.prepare(QStringLiteral("DELETE FROM books WHERE id = :id"));
    q.bindValue(QStringLiteral(":id"), id);
    if (!q.exec())
        return failure(q.lastError(), "remove");
    if (q.numRowsAffected() == 0)
        return Status::error(Status::Code::NotFound, "The book is not in the library.");
    return Status::ok();
}

QByteArray LibraryStore::fingerprintOf(const QString &path, qint64 *size, Status *status)
{
    Status ignored;
    Status &result = status ? *status : ignored;
    const QByteArray native = QFile::encodeName(path);
    const int fd = fileio::openRegularForReading(native.constData());
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        const int error = errno;
        if (fd >= 0)
            ::close(fd);
        const Status::Code code = error == ENOENT ? Status::Code::NotFound
                                : error == EINVAL ? Status::Code::NotRegularFile
                                                  : Status::Code::Unreadable;
        result = Status::error(code, "The book cannot be read.", native.toStdString() + ": " + std::strerror(error));
        return QByteArray();
    }
    QByteArray head(int(std::min<qint64>(st.st_size, FingerprintBytes)), Qt::Uninitialized);
    const ssize_t got = fileio::readAt(fd, 0, head.data(), size_t(head.size()));
    const int error = errno;
    ::close(fd);
    if (got < 0) {
        result = Status::error(Status::Code::Unreadable, "The book cannot be read.",
                               native.toStdString() + ": " + std::strerror(error));
        return QByteArray();
    }
    head.truncate(int(got));  // the file may have shrunk since fstat
    if (size)
        *size = st.st_size;
    result = Status::ok();
    return QCryptographicHash::hash(head, QCryptographicHash::Sha1);
}
