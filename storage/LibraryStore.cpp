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
#include <QVariant>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
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
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);  // faster than a QTimeZone
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

// The open connection and its statements, each prepared once. All of it lives on the store's thread,
// and goes before the connection's name is given back.
struct LibraryStore::Connection
{
    QString name;
    QSqlDatabase db;
    std::map<QString, std::unique_ptr<QSqlQuery>> statements;  // by their SQL

    ~Connection()
    {
        statements.clear();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
    }
};

// One use of a prepared statement. It is reset when the use ends, so that no read stays open to hold
// back the write-ahead log or hide another connection's writes.
class LibraryStore::Statement
{
public:
    Statement(Connection &connection, const QString &sql)
    {
        std::unique_ptr<QSqlQuery> &cached = connection.statements[sql];
        if (cached) {
            m_query = cached.get();
            m_prepared = true;
            return;
        }
        auto query = std::make_unique<QSqlQuery>(connection.db);
        query->setForwardOnly(true);
        m_prepared = query->prepare(sql);
        if (m_prepared)
            cached = std::move(query);
        else
            m_failed = std::move(query);  // not kept: a lock, say, may be gone next time
        m_query = m_prepared ? cached.get() : m_failed.get();
    }
    ~Statement() { m_query->finish(); }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    Statement &bind(const QString &placeholder, const QVariant &value)
    {
        m_query->bindValue(placeholder, value);
        return *this;
    }
    bool exec() { return m_prepared && m_query->exec(); }
    bool next() { return m_query->next(); }
    QVariant value(int column) const { return m_query->value(column); }
    QSqlQuery &query() { return *m_query; }
    QSqlError error() const { return m_query->lastError(); }

private:
    QSqlQuery *m_query = nullptr;
    std::unique_ptr<QSqlQuery> m_failed;
    bool m_prepared = false;
};

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
    m_db.reset();
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
    case 8:   // SQLITE_READONLY
    case 13:  // SQLITE_FULL
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
    m_db = std::make_unique<Connection>();
    m_db->name = QStringLiteral("folium-library-%1").arg(++serial);
    m_db->db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_db->name);
    m_thread = QThread::currentThread();
    m_db->db.setDatabaseName(path);
    m_db->db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(BusyTimeoutMs));
    if (!m_db->db.open())
        return failure(m_db->db.lastError(), "open");
    return Status::ok();
}

// Only once the file is known to be a library: another program's database is never converted.
Status LibraryStore::useWriteAheadLog()
{
    QSqlQuery q(m_db->db);
    if (!q.exec(QStringLiteral("PRAGMA journal_mode=WAL")))
        return failure(q.lastError(), "journal mode");
    // With WAL a commit need not wait for the disk; a crash loses at most the last places, never the file.
    if (!q.exec(QStringLiteral("PRAGMA synchronous=NORMAL")))
        return failure(q.lastError(), "synchronous");
    return Status::ok();
}

Status LibraryStore::migrate()
{
    QSqlQuery q(m_db->db);
    const auto readInt = [&q](const QString &sql, int &value) {
        if (!q.exec(sql) || !q.next())
            return false;
        value = q.value(0).toInt();
        q.finish();
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
    {
        Statement byPath(*m_db, QStringLiteral("SELECT %1 FROM books WHERE path = :path").arg(Columns));
        if (!byPath.bind(QStringLiteral(":path"), path).exec()) {
            result = failure(byPath.error(), "find by path");
            return std::nullopt;
        }
        if (byPath.next()) {
            BookRecord atPath = recordAt(byPath.query());
            if (sameContent(atPath, size, fingerprint))
                return atPath;
        }
    }
    if (fingerprint.isEmpty())
        return std::nullopt;
    BookRecord found;
    {
        Statement byContent(*m_db, QStringLiteral("SELECT %1 FROM books WHERE size = :size AND fingerprint = "
                                                  ":fingerprint AND path <> :path ORDER BY last_read DESC LIMIT 1")
                                       .arg(Columns));
        byContent.bind(QStringLiteral(":size"), size).bind(QStringLiteral(":fingerprint"), fingerprint);
        if (!byContent.bind(QStringLiteral(":path"), path).exec()) {
            result = failure(byContent.error(), "find by content");
            return std::nullopt;
        }
        if (!byContent.next())
            return std::nullopt;
        found = recordAt(byContent.query());
    }
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
    const auto run = [this](const QString &sql, const QString &newPath, qint64 id, QSqlError &error) {
        Statement q(*m_db, sql);
        q.bind(QStringLiteral(":path"), newPath);
        if (id >= 0)
            q.bind(QStringLiteral(":id"), id);
        if (!q.exec())
            error = q.error();
        return !error.isValid();
    };
    QSqlError error;
    if (run(QStringLiteral("BEGIN IMMEDIATE"), {}, -1, error)) {
        if (run(QStringLiteral("DELETE FROM books WHERE path = :path"), path, -1, error)
            && run(QStringLiteral("UPDATE books SET path = :path WHERE id = :id"), path, found.id, error))
            run(QStringLiteral("COMMIT"), {}, -1, error);
        if (error.isValid()) {
            QSqlError ignored;
            run(QStringLiteral("ROLLBACK"), {}, -1, ignored);
        }
    }
    if (error.isValid())
        status = failure(error, "move");
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
    {
        Statement begin(*m_db, QStringLiteral("BEGIN IMMEDIATE"));
        if (!begin.exec())
            return failure(begin.error(), "remember");
    }
    qint64 id = -1;
    status = writeRecord(record, id);
    if (status.isOk()) {
        Statement commit(*m_db, QStringLiteral("COMMIT"));
        if (!commit.exec())
            status = failure(commit.error(), "remember");
    }
    if (!status.isOk()) {
        Statement(*m_db, QStringLiteral("ROLLBACK")).exec();
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
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QDateTime added = record.added.isValid() ? record.added : now;
    id = -1;
    if (record.id >= 0) {
        Statement byId(*m_db, QStringLiteral("SELECT added FROM books WHERE id = :id"));
        if (!byId.bind(QStringLiteral(":id"), record.id).exec())
            return failure(byId.error(), "remember");
        if (byId.next()) {
            id = record.id;
            added = utcFromMs(byId.value(0).toLongLong());
        }
    }
    qint64 other = -1;
    {
        Statement atPath(*m_db, QStringLiteral("SELECT id, size, fingerprint, added FROM books WHERE path = :path"));
        if (!atPath.bind(QStringLiteral(":path"), record.path).exec())
            return failure(atPath.error(), "remember");
        if (atPath.next() && atPath.value(0).toLongLong() != id) {
            other = atPath.value(0).toLongLong();
            if (id < 0 && atPath.value(1).toLongLong() == record.size
                && atPath.value(2).toByteArray() == record.fingerprint) {
                id = std::exchange(other, -1);  // the same book, remembered without its id
                added = utcFromMs(atPath.value(3).toLongLong());
            }
        }
    }
    if (other >= 0) {
        Statement drop(*m_db, QStringLiteral("DELETE FROM books WHERE id = :id"));
        if (!drop.bind(QStringLiteral(":id"), other).exec())
            return failure(drop.error(), "remember");
    }

    const bool update = id >= 0;
    Statement write(*m_db,
                    update ? QStringLiteral(
                                 "UPDATE books SET path = :path, size = :size, fingerprint = :fingerprint, "
                                 "title = :title, author = :author, position = :position, paragraph = :paragraph, "
                                 "pen_color = :pen_color, bold = :bold, italic = :italic, underline = :underline, "
                                 "encoding = :encoding, progress = :progress, last_read = :last_read, "
                                 "added = :added WHERE id = :id")
                           : QStringLiteral(
                                 "INSERT INTO books (path, size, fingerprint, title, author, position, paragraph, "
                                 "pen_color, bold, italic, underline, encoding, progress, last_read, added) "
                                 "VALUES (:path, :size, :fingerprint, :title, :author, :position, :paragraph, "
                                 ":pen_color, :bold, :italic, :underline, :encoding, :progress, :last_read, "
                                 ":added)"));
    if (update)
        write.bind(QStringLiteral(":id"), id);
    bindRecord(write.query(), record, record.lastRead.isValid() ? record.lastRead : now, added);
    if (!write.exec())
        return failure(write.error(), "remember");
    if (!update)
        id = write.query().lastInsertId().toLongLong();
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
    Statement all(*m_db, QStringLiteral("SELECT %1 FROM books ORDER BY last_read DESC, id DESC").arg(Columns));
    if (!all.exec()) {
        result = failure(all.error(), "list");
        return out;
    }
    // SQLite folds the case of ASCII letters only; titles are compared here.
    const QStringList words = filter.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    while (all.next()) {
        BookRecord r = recordAt(all.query());
        if (matches(r, words))
            out.append(std::move(r));
    }
    if (all.error().isValid())
        result = failure(all.error(), "list");
    return out;
}

Status LibraryStore::remove(qint64 id)
{
    Status status = usable();
    if (!status.isOk())
        return status;
    Statement drop(*m_db, QStringLiteral("DELETE FROM books WHERE id = :id"));
    if (!drop.bind(QStringLiteral(":id"), id).exec())
        return failure(drop.error(), "remove");
    if (drop.query().numRowsAffected() == 0)
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
        // A folder or FIFO, whichever errno the open helper gives it.
        const bool notRegular = error == EINVAL || error == EISDIR || error == ENXIO;
        const Status::Code code = error == ENOENT ? Status::Code::NotFound
                                : notRegular      ? Status::Code::NotRegularFile
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
