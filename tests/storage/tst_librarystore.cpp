// The library store on real SQLite files: places kept across sessions, books found after a move,
// changed books not given an old place, and damaged, foreign or locked files failing fast.
#include "LibraryStore.h"
#include "TestFiles.h"

#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QThread>
#include <QtTest>

#include <sys/stat.h>

// Shows the store's reason when a call that should work fails.
#define VERIFY_OK(expression)                                                                            \
    do {                                                                                                   \
        const Status status_ = (expression);                                                               \
        QVERIFY2(status_.isOk(), (status_.message() + " " + status_.detail()).c_str());                    \
    } while (false)

namespace {

constexpr int Head = int(LibraryStore::FingerprintBytes);

// A second, plain connection to a file: another program holding a lock, or building a foreign file.
class RawConnection
{
public:
    explicit RawConnection(const QString &path) : m_name(QStringLiteral("raw-%1").arg(++s_serial))
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(path);
        db.open();
    }
    ~RawConnection() { QSqlDatabase::removeDatabase(m_name); }
    bool exec(const QString &sql) { return QSqlQuery(QSqlDatabase::database(m_name, false)).exec(sql); }
    QVariant value(const QString &sql)
    {
        QSqlQuery q(QSqlDatabase::database(m_name, false));
        return q.exec(sql) && q.next() ? q.value(0) : QVariant();
    }

private:
    static inline int s_serial = 0;
    QString m_name;
};

BookRecord bookAt(const QString &path)
{
    BookRecord r;
    r.path = path;
    r.fingerprint = LibraryStore::fingerprintOf(path, &r.size);
    return r;
}

QDateTime utc(int day, int hour = 12)
{
    return QDateTime(QDate(2025, 3, day), QTime(hour, 0, 0, 123), QTimeZone::utc());
}

// Every call of a store that failed to open (or broke later) is an error and changes nothing.
void verifyInert(LibraryStore &store, const QString &bookPath)
{
    Status found, listed;
    QVERIFY(!store.isOpen() && !store.find(bookPath, 1, QByteArray(20, 'x'), &found) && !found.isOk());
    QVERIFY(store.books(QString(), &listed).isEmpty() && !listed.isOk());
    QVERIFY(!store.remember(bookAt(bookPath)).isOk() && !store.remove(1).isOk());
}

} // namespace

class tst_LibraryStore : public QObject
{
    Q_OBJECT

    TestFolder m_folder;
    int m_serial = 0;

    QString newLibrary() { return m_folder.filePath(QStringLiteral("lib%1/library.sqlite").arg(++m_serial)); }
    QString newBook(const QByteArray &bytes, const QString &name = QStringLiteral("book.txt"))
    {
        return m_folder.write(QStringLiteral("books%1/").arg(++m_serial) + name, bytes);
    }
    void rewrite(const QString &path, const QByteArray &bytes)
    {
        m_folder.write(QDir(m_folder.path()).relativeFilePath(path), bytes);
    }

private Q_SLOTS:
    void roundTripsEveryField_data()
    {
        QTest::addColumn<BookRecord>("record");
        BookRecord all;
        all.title = QStringLiteral("Война и мир");
        all.author = QStringLiteral("Лев Толстой");
        all.position = 1234567;
        all.paragraph = all.bold = all.italic = all.underline = true;
        all.penColor = QStringLiteral("#8000ff");
        all.encoding = QStringLiteral("KOI8-R");
        all.setProgress(1234567, 2000000);
        all.lastRead = utc(5, 9);
        all.added = utc(1);
        QTest::newRow("every field set") << all;
        BookRecord plain;
        plain.title = QStringLiteral("plain");
        plain.lastRead = plain.added = utc(6);
        QTest::newRow("defaults, no author") << plain;
    }
    // A later session finds the record as it was stored; remembering again moves the place on and
    // keeps the time it was added; removing takes that book alone.
    void roundTripsEveryField()
    {
        QFETCH(BookRecord, record);
        const QString library = newLibrary();
        const BookRecord file = bookAt(newBook("Chapter one\n" + QByteArray(100000, 'a')));
        record.path = file.path, record.size = file.size, record.fingerprint = file.fingerprint;
        {
            LibraryStore store;
            VERIFY_OK(store.open(library));
            VERIFY_OK(store.remember(record, &record.id));
            QVERIFY(record.id >= 0);
        }
        LibraryStore store;
        VERIFY_OK(store.open(library));
        const auto found = store.find(record.path, record.size, record.fingerprint);
        QVERIFY(found.has_value());
        QCOMPARE(*found, record);
        QCOMPARE(store.books(), QList<BookRecord>{record});

        BookRecord later = *found;
        later.id = -1, later.position = 99, later.added = utc(20), later.lastRead = utc(21);
        qint64 id = -1;
        VERIFY_OK(store.remember(later, &id));
        QCOMPARE(id, record.id);
        QCOMPARE(store.books().value(0).position, qint64(99));
        QCOMPARE(store.books().value(0).added, record.added);

        const BookRecord other = bookAt(newBook("another book"));
        VERIFY_OK(store.remember(other));
        VERIFY_OK(store.remove(record.id));
        QVERIFY(!store.find(record.path, record.size, record.fingerprint).has_value());
        QCOMPARE(store.books().value(0).path, other.path);
        QCOMPARE(store.books().size(), 1);
        QCOMPARE(store.remove(record.id).code(), Status::Code::NotFound);
    }

    // A moved book keeps its place and takes its new path; a copy beside the original starts at the
    // original's place as a book of its own.
    void movedBookFoundByFingerprint()
    {
        LibraryStore store;
        VERIFY_OK(store.open(newLibrary()));
        BookRecord book = bookAt(newBook("The moving book\n" + QByteArray(70000, 'm')));
        book.position = 4242;
        VERIFY_OK(store.remember(book, &book.id));
        const QString moved = m_folder.filePath("moved.txt"), copy = m_folder.filePath("copy.txt");
        QVERIFY(QFile::rename(book.path, moved));
        const auto found = store.find(moved, book.size, book.fingerprint);
        QVERIFY(found && found->id == book.id && found->position == 4242 && found->path == moved);
        QCOMPARE(store.books().value(0).path, moved); // stored, not only returned
        QCOMPARE(store.books().size(), 1);

        QVERIFY(QFile::copy(moved, copy));
        const auto copied = store.find(copy, book.size, book.fingerprint);
        QVERIFY(copied && copied->id == -1 && copied->position == 4242);
        VERIFY_OK(store.remember(*copied));
        QCOMPARE(store.books().size(), 2);
        QVERIFY(store.find(moved, book.size, book.fingerprint).has_value());
    }

    // Same path, other content (same size, same head but longer, a change in the head): the old
    // place is not given to it, and remembering it replaces the old record.
    void changedBookNotGivenOldPlace()
    {
        const QByteArray head(Head, 'h');
        for (const auto &[before, after] : QList<QPair<QByteArray, QByteArray>>{
                 {"first edition", "second edition"}, {head, head + "more"},
                 {head + "tail", "x" + head.mid(1) + "tail"}}) {
            LibraryStore store;
            VERIFY_OK(store.open(newLibrary()));
            BookRecord old = bookAt(newBook(before));
            old.position = 777;
            VERIFY_OK(store.remember(old));
            rewrite(old.path, after);
            const BookRecord changed = bookAt(old.path);
            QVERIFY(!store.find(changed.path, changed.size, changed.fingerprint).has_value());
            VERIFY_OK(store.remember(changed));
            const QList<BookRecord> all = store.books();
            QVERIFY(all.size() == 1 && all[0].fingerprint == changed.fingerprint && all[0].position == 0);
        }
    }

    void newestFirstAndFiltered_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("no filter") << QString() << QStringList{"Anna Karenina", "War and Peace", "Notes", "Война"};
        QTest::newRow("author, other case") << "TOLSTOY" << QStringList{"Anna Karenina", "War and Peace"};
        QTest::newRow("Cyrillic title, other case") << "ВОЙ" << QStringList{"Война"};
        QTest::newRow("file name") << "diary" << QStringList{"Notes"};
        QTest::newRow("every word somewhere") << "tolstoy peace" << QStringList{"War and Peace"};
        QTest::newRow("no match") << "dickens" << QStringList{};
    }
    void newestFirstAndFiltered()
    {
        QFETCH(QString, filter);
        LibraryStore store;
        VERIFY_OK(store.open(newLibrary()));
        const struct { const char *title, *author, *file; int day; } books[] = {
            {"Notes", "", "diary.txt", 3}, {"War and Peace", "Leo Tolstoy", "wp.txt", 4},
            {"Война", "", "voyna.txt", 2}, {"Anna Karenina", "Leo Tolstoy", "ak.txt", 9}};
        for (const auto &b : books) {
            BookRecord r = bookAt(newBook(b.title, b.file));
            r.title = QString::fromUtf8(b.title), r.author = b.author, r.lastRead = utc(b.day);
            VERIFY_OK(store.remember(r));
        }
        QStringList titles;
        for (const BookRecord &b : store.books(filter))
            titles << b.title;
        QTEST(titles, "expected");
    }

    // What open makes of each file it may find. A missing file (and folder, made private), a
    // zero-byte file and an empty database become a current library. Files that are no library
    // fail at once with a reason and are left as they were; damage past the first page shows when
    // the books are read. A store that failed then does nothing.
    void opening_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<Status::Code>("code");
        QTest::newRow("no file, no folder") << "missing" << Status::Code::Ok;
        QTest::newRow("zero-byte file") << "zero" << Status::Code::Ok;
        QTest::newRow("empty database") << "empty" << Status::Code::Ok;
        QTest::newRow("garbage bytes") << "garbage" << Status::Code::Damaged;
        QTest::newRow("a text file") << "text" << Status::Code::Damaged;
        QTest::newRow("header, then garbage") << "header" << Status::Code::Damaged;
        QTest::newRow("another program's database") << "foreign" << Status::Code::Damaged;
        QTest::newRow("damaged past the first page") << "damaged" << Status::Code::Damaged;
        QTest::newRow("a newer library") << "newer" << Status::Code::Unsupported;
        QTest::newRow("a folder") << "folder" << Status::Code::NotRegularFile;
        QTest::newRow("a FIFO") << "fifo" << Status::Code::NotRegularFile;
    }
    void opening()
    {
        QFETCH(QString, kind);
        QFETCH(Status::Code, code);
        const QString path = newLibrary(), folder = QFileInfo(path).absolutePath();
        QVERIFY(kind == "missing" || QDir().mkpath(folder));
        const QByteArray noise = sampleText(8192, 7, true);
        const QMap<QString, QByteArray> contents{{"zero", ""}, {"garbage", noise}, {"text", "Dear diary,\n"},
                                                 {"header", QByteArray("SQLite format 3", 16) + noise}};
        if (contents.contains(kind))
            rewrite(path, contents[kind]);
        if (kind == "empty")
            RawConnection(path).exec(QStringLiteral("VACUUM"));
        if (kind == "foreign" || kind == "newer") {
            RawConnection other(path);
            QVERIFY(other.exec(QStringLiteral("CREATE TABLE recipes (name TEXT)")));
            QVERIFY(kind != "newer" || (other.exec(QStringLiteral("PRAGMA application_id = 1181707369"))
                                        && other.exec(QStringLiteral("PRAGMA user_version = %1")
                                                          .arg(LibraryStore::SchemaVersion + 1))));
        }
        if (kind == "damaged") {
            LibraryStore store;
            VERIFY_OK(store.open(path));
            for (int i = 0; i < 300; ++i) {
                BookRecord r = bookAt(newBook(QByteArray::number(i)));
                r.title = QStringLiteral("Book %1 with a long enough title to fill pages").arg(i);
                VERIFY_OK(store.remember(r));
            }
            store.close();
            RawConnection(path).exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite) && file.size() > 16384);
            file.seek(4096); // everything after the schema page
            file.write(QByteArray(int(file.size() - 4096), '\x5a'));
        }
        QVERIFY(kind != "folder" || QDir().mkpath(path));
        QVERIFY(kind != "fifo" || ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        const QByteArray bytesBefore = kind == "folder" || kind == "fifo" ? QByteArray() : readFile(path);
        const BookRecord book = bookAt(newBook("a book"));

        LibraryStore store;
        QElapsedTimer clock;
        clock.start();
        Status status = store.open(path);
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        if (kind == "damaged" && status.isOk())
            store.books(QString(), &status);
        QCOMPARE(status.code(), code);
        if (!status.isOk()) {
            QVERIFY(!status.message().empty());
            verifyInert(store, book.path);
            QVERIFY(kind == "damaged" || bytesBefore.isEmpty() || readFile(path) == bytesBefore);
            return;
        }
        VERIFY_OK(store.remember(book));
        store.close();
        VERIFY_OK(store.open(path)); // a second session
        VERIFY_OK(store.remember(book));
        RawConnection raw(path);
        QCOMPARE(raw.value(QStringLiteral("PRAGMA user_version")).toInt(), LibraryStore::SchemaVersion);
        QCOMPARE(raw.value(QStringLiteral("SELECT count(*) FROM books")).toInt(), 1);
        QCOMPARE(raw.value(QStringLiteral("PRAGMA journal_mode")).toString(), QStringLiteral("wal"));
        struct stat st;
        QVERIFY(::stat(QFile::encodeName(folder).constData(), &st) == 0);
        QVERIFY(kind != "missing" || (st.st_mode & 0777) == 0700);
    }

    // Another program's exclusive lock makes open (or a write) fail within the busy timeout; once the
    // lock is gone the library works again.
    void lockedLibraryFailsFast_data()
    {
        QTest::addColumn<bool>("wal");
        QTest::newRow("rollback journal") << false;
        QTest::newRow("WAL, exclusive locking mode") << true;
    }
    void lockedLibraryFailsFast()
    {
        QFETCH(bool, wal);
        const QString path = newLibrary();
        const BookRecord book = bookAt(newBook("locked out"));
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
        {
            RawConnection other(path);
            if (wal) {
                VERIFY_OK(LibraryStore().open(path)); // a real library, in WAL mode
                QVERIFY(other.exec(QStringLiteral("PRAGMA locking_mode=EXCLUSIVE")));
            }
            QVERIFY(other.exec(QStringLiteral("BEGIN EXCLUSIVE")));
            QVERIFY(other.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS held (x)")));
            LibraryStore store;
            QElapsedTimer clock;
            clock.start();
            const Status status = store.open(path);
            QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
            QCOMPARE(status.code(), Status::Code::Unreadable);
            QVERIFY(QString::fromStdString(status.message()).contains(QLatin1String("locked")));
            verifyInert(store, book.path);
            QVERIFY(other.exec(QStringLiteral("ROLLBACK")));
        }
        LibraryStore store;
        VERIFY_OK(store.open(path));
        VERIFY_OK(store.remember(book));

        // A write held up for longer than the timeout fails alone; the store stays usable.
        {
            RawConnection other(path);
            QVERIFY(other.exec(QStringLiteral("BEGIN IMMEDIATE")));
            QElapsedTimer clock;
            clock.start();
            QCOMPARE(store.remember(book).code(), Status::Code::Unreadable);
            QVERIFY(clock.elapsed() < 1000);
            QVERIFY(store.find(book.path, book.size, book.fingerprint).has_value());
            QVERIFY(other.exec(QStringLiteral("ROLLBACK")));
        }
        VERIFY_OK(store.remember(book));
    }

    void onlyItsOwnThread()
    {
        LibraryStore store;
        VERIFY_OK(store.open(newLibrary()));
        const BookRecord book = bookAt(newBook("threads"));
        Status fromOther;
        std::unique_ptr<QThread> thread(QThread::create([&] { fromOther = store.remember(book); }));
        thread->start();
        QVERIFY(thread->wait(5000) && !fromOther.isOk() && store.books().isEmpty());
        VERIFY_OK(store.remember(book));
    }

    // Only the first 64 KiB count; a FIFO without a writer or a folder is refused without blocking.
    void fingerprints()
    {
        const QByteArray head(Head, 'q'), a = LibraryStore::fingerprintOf(newBook(head + "one ending"));
        QCOMPARE(LibraryStore::fingerprintOf(newBook(head + "another ending")), a);
        QVERIFY(LibraryStore::fingerprintOf(newBook(head.left(Head - 1) + "r ending")) != a);
        const QString fifo = m_folder.filePath("fifo"), folder = m_folder.filePath("folder");
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0 && QDir().mkpath(folder));
        const QList<QPair<QString, Status::Code>> cases{
            {fifo, Status::Code::NotRegularFile}, {folder, Status::Code::NotRegularFile},
            {m_folder.filePath("missing"), Status::Code::NotFound}, {newBook(""), Status::Code::Ok}};
        for (const auto &[path, code] : cases) {
            Status status;
            qint64 size = -1;
            const QByteArray fingerprint = LibraryStore::fingerprintOf(path, &size, &status);
            QCOMPARE(status.code(), code);
            QCOMPARE(fingerprint.isEmpty(), !status.isOk());
            QCOMPARE(size, status.isOk() ? qint64(0) : qint64(-1));
        }
    }
};

QTEST_APPLESS_MAIN(tst_LibraryStore)
#include "tst_librarystore.moc"
