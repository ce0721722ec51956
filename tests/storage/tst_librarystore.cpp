// The library store on real SQLite files: places kept across sessions, books found after a move,
// changed books not given an old place, and damaged, foreign or locked files failing fast.
#include "LibraryStore.h"
#include "TestFiles.h"

#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlError>
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

// A second, plain connection to a file: another program holding a lock, or building a foreign file.
class RawConnection
{
public:
    explicit RawConnection(const QString &path)
        : m_name(QStringLiteral("raw-%1").arg(++s_serial))
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(path);
        db.open();
    }
    ~RawConnection() { QSqlDatabase::removeDatabase(m_name); }

    bool exec(const QString &sql)
    {
        QSqlQuery q(QSqlDatabase::database(m_name, false));
        return q.exec(sql);
    }
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

void writeAt(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

QStringList titles(const QList<BookRecord> &books)
{
    QStringList out;
    for (const BookRecord &b : books)
        out << b.title;
    return out;
}

// Every call of a store that failed to open (or broke later) is an error and changes nothing.
void verifyInert(LibraryStore &store, const QString &bookPath)
{
    QVERIFY(!store.isOpen());
    Status s;
    QVERIFY(!store.find(bookPath, 1, QByteArray(20, 'x'), &s).has_value());
    QVERIFY(!s.isOk());
    QVERIFY(!store.remember(bookAt(bookPath)).isOk());
    QVERIFY(store.books(QString(), &s).isEmpty());
    QVERIFY(!s.isOk());
    QVERIFY(!store.remove(1).isOk());
}

} // namespace

class tst_LibraryStore : public QObject
{
    Q_OBJECT

    TestFolder m_folder;
    int m_serial = 0;

    QString newLibrary() { return m_folder.filePath(QStringLiteral("lib%1/library.sqlite").arg(++m_serial)); }
    QString newBook(const QByteArray &bytes)
    {
        return m_folder.write(QStringLiteral("books/book%1.txt").arg(++m_serial), bytes);
    }

private Q_SLOTS:
    void roundTripsEveryField_data()
    {
        QTest::addColumn<BookRecord>("record");
        BookRecord all;
        all.title = QStringLiteral("Война и мир");
        all.author = QStringLiteral("Лев Толстой");
        all.position = 1234567;
        all.paragraph = true;
        all.penColor = QStringLiteral("#8000ff");
        all.bold = all.italic = all.underline = true;
        all.encoding = QStringLiteral("KOI8-R");
        all.setProgress(1234567, 2000000);
        all.lastRead = utc(5, 9);
        all.added = utc(1);
        QTest::newRow("every field set") << all;
        BookRecord plain;
        plain.title = QStringLiteral("plain");
        plain.lastRead = utc(6);
        plain.added = utc(6);
        QTest::newRow("defaults, no author") << plain;
    }
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
        LibraryStore store;  // a later session
        VERIFY_OK(store.open(library));
        const auto found = store.find(record.path, record.size, record.fingerprint);
        QVERIFY(found.has_value());
        QCOMPARE(*found, record);
        QCOMPARE(store.books(), QList<BookRecord>{record});

        // Remembering again moves the place on and keeps the time it was added.
        BookRecord later = *found;
        later.id = -1, later.position = 99, later.added = utc(20), later.lastRead = utc(21);
        qint64 id = -1;
        VERIFY_OK(store.remember(later, &id));
        QCOMPARE(id, record.id);
        QCOMPARE(store.books().value(0).position, qint64(99));
        QCOMPARE(store.books().value(0).added, record.added);
    }

    // A moved book keeps its place and takes its new path; a copy beside the original starts at the
    // original's place as a book of its own.
    void movedBookFoundByFingerprint()
    {
        LibraryStore store;
        VERIFY_OK(store.open(newLibrary()));
        BookRecord book = bookAt(newBook("The moving book\n" + QByteArray(70000, 'm')));
        book.title = QStringLiteral("Moving"), book.position = 4242;
        VERIFY_OK(store.remember(book, &book.id));

        const QString moved = m_folder.filePath(QStringLiteral("books/renamed.txt"));
        QVERIFY(QFile::rename(book.path, moved));
        const auto found = store.find(moved, book.size, book.fingerprint);
        QVERIFY(found.has_value());
        QCOMPARE(found->id, book.id);
        QCOMPARE(found->position, qint64(4242));
        QCOMPARE(found->path, moved);
        QCOMPARE(store.books().size(), 1);
        QCOMPARE(store.books().value(0).path, moved);  // stored, not only returned

        const QString copy = m_folder.filePath(QStringLiteral("books/copy.txt"));
        QVERIFY(QFile::copy(moved, copy));
        auto copied = store.find(copy, book.size, book.fingerprint);
        QVERIFY(copied.has_value());
        QCOMPARE(copied->id, qint64(-1));
        QCOMPARE(copied->position, qint64(4242));
        VERIFY_OK(store.remember(*copied));
        QCOMPARE(store.books().size(), 2);
        QVERIFY(store.find(moved, book.size, book.fingerprint).has_value());
    }

    // Same path, other content: the old place is not given to it, and remembering it replaces the
    // old record.
    void changedBookNotGivenOldPlace_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        const QByteArray head(FingerprintTestBytes, 'h');
        QTest::newRow("same size, other bytes") << QByteArray("first edition") << QByteArray("second edition");
        QTest::newRow("same head, longer") << head << head + "more";
        QTest::newRow("change in the first 64 KiB") << head + "tail" << "x" + head.mid(1) + "tail";
    }
    void changedBookNotGivenOldPlace()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        LibraryStore store;
        VERIFY_OK(store.open(newLibrary()));
        BookRecord old = bookAt(newBook(before));
        old.position = 777;
        VERIFY_OK(store.remember(old));
        writeAt(old.path, after);
        const BookRecord changed = bookAt(old.path);
        QCOMPARE(changed.path, old.path);
        QVERIFY(!store.find(changed.path, changed.size, changed.fingerprint).has_value());
        VERIFY_OK(store.remember(changed));
        const QList<BookRecord> all = store.books();
        QCOMPARE(all.size(), 1);
        QCOMPARE(all.value(0).fingerprint, changed.fingerprint);
        QCOMPARE(all.value(0).position, qint64(0));
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
        const struct
        {
            const char *title, *author, *file;
            int day;
        } books[] = {{"Notes", "", "diary.txt", 3},
                     {"War and Peace", "Leo Tolstoy", "wp.txt", 4},
                     {"Война", "", "voyna.txt", 2},
                     {"Anna Karenina", "Leo Tolstoy", "ak.txt", 9}};
        for (const auto &b : books) {
            BookRecord r = bookAt(m_folder.write(QStringLiteral("list%1/").arg(m_serial) + b.file, b.title));
            r.title = QString::fromUtf8(b.title), r.author = QString::fromUtf8(b.author), r.lastRead = utc(b.day);
            VERIFY_OK(store.remember(r));
        }
        ++m_serial;
        QTEST(titles(store.books(filter)), "expected");
    }

    void removesBooks()
    {
        LibraryStore store;
        VERIFY_OK(store.open(newLibrary()));
        BookRecord keep = bookAt(newBook("keep")), drop = bookAt(newBook("drop"));
        VERIFY_OK(store.remember(keep));
        VERIFY_OK(store.remember(drop, &drop.id));
        VERIFY_OK(store.remove(drop.id));
        QCOMPARE(store.books().size(), 1);
        QVERIFY(!store.find(drop.path, drop.size, drop.fingerprint).has_value());
        QCOMPARE(store.remove(drop.id).code(), Status::Code::NotFound);
    }

    // Files that are no library fail at once with a reason, are left as they were, and the store
    // then does nothing.
    void refusesFilesThatAreNoLibrary_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<Status::Code>("code");
        QTest::newRow("garbage bytes") << "garbage" << Status::Code::Damaged;
        QTest::newRow("a text file") << "text" << Status::Code::Damaged;
        QTest::newRow("header, then garbage") << "header" << Status::Code::Damaged;
        QTest::newRow("another program's database") << "foreign" << Status::Code::Damaged;
        QTest::newRow("a newer library") << "newer" << Status::Code::Unsupported;
        QTest::newRow("a folder") << "folder" << Status::Code::NotRegularFile;
        QTest::newRow("a FIFO") << "fifo" << Status::Code::NotRegularFile;
    }
    void refusesFilesThatAreNoLibrary()
    {
        QFETCH(QString, kind);
        const QString path = newLibrary();
        QDir().mkpath(QFileInfo(path).absolutePath());
        QByteArray noise(8192, Qt::Uninitialized);
        for (qsizetype i = 0; i < noise.size(); ++i)
            noise[i] = char((i * 7919 + 13) % 251);
        if (kind == "garbage") {
            writeAt(path, noise);
        } else if (kind == "text") {
            writeAt(path, "Dear diary,\nI opened the wrong file.\n");
        } else if (kind == "header") {
            writeAt(path, QByteArray("SQLite format 3", 16) + noise);
        } else if (kind == "foreign" || kind == "newer") {
            RawConnection other(path);
            QVERIFY(other.exec(QStringLiteral("CREATE TABLE recipes (name TEXT)")));
            if (kind == "newer") {
                QVERIFY(other.exec(QStringLiteral("PRAGMA application_id = 1181707369")));
                QVERIFY(other.exec(QStringLiteral("PRAGMA user_version = %1").arg(LibraryStore::SchemaVersion + 1)));
            }
        } else if (kind == "folder") {
            QVERIFY(QDir().mkpath(path));
        } else if (kind == "fifo") {
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        }
        const QByteArray bytesBefore = kind == "folder" || kind == "fifo" ? QByteArray() : readFile(path);

        LibraryStore store;
        QElapsedTimer clock;
        clock.start();
        const Status status = store.open(path);
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        QTEST(status.code(), "code");
        QVERIFY(!status.message().empty());
        verifyInert(store, newBook("a book"));
        if (!bytesBefore.isEmpty())
            QCOMPARE(readFile(path), bytesBefore);
    }

    // Damage past the first page shows only when the books are read: the store stops there.
    void damageFoundLaterStopsTheStore()
    {
        const QString path = newLibrary();
        {
            LibraryStore store;
            VERIFY_OK(store.open(path));
            for (int i = 0; i < 300; ++i) {
                BookRecord r = bookAt(newBook(QByteArray::number(i)));
                r.title = QStringLiteral("Book %1 with a long enough title to fill pages").arg(i);
                VERIFY_OK(store.remember(r));
            }
        }
        RawConnection(path).exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.size() > 16384);
        file.seek(4096);  // everything after the schema page
        file.write(QByteArray(int(file.size() - 4096), '\x5a'));
        file.close();

        LibraryStore store;
        Status status = store.open(path);
        if (status.isOk()) {
            store.books(QString(), &status);
            QCOMPARE(status.code(), Status::Code::Damaged);
        }
        QCOMPARE(status.code(), Status::Code::Damaged);
        verifyInert(store, newBook("after the damage"));
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
        QDir().mkpath(QFileInfo(path).absolutePath());
        {
            RawConnection other(path);
            if (wal) {
                VERIFY_OK(LibraryStore().open(path));  // a real library, in WAL mode
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

    // A missing file, a zero-byte file and an empty database all become a current library.
    void migratesFromEmpty_data()
    {
        QTest::addColumn<QString>("start");
        QTest::newRow("no file, no folder") << "missing";
        QTest::newRow("zero-byte file") << "zero";
        QTest::newRow("empty database") << "empty";
    }
    void migratesFromEmpty()
    {
        QFETCH(QString, start);
        const QString path = newLibrary();
        if (start == "zero")
            writeAt(path, QByteArray());
        if (start == "empty") {
            QDir().mkpath(QFileInfo(path).absolutePath());
            RawConnection(path).exec(QStringLiteral("VACUUM"));
            QVERIFY(QFileInfo::exists(path));
        }
        const BookRecord book = bookAt(newBook("first book"));
        for (int session = 0; session < 2; ++session) {
            LibraryStore store;
            VERIFY_OK(store.open(path));
            VERIFY_OK(store.remember(book));
        }
        RawConnection raw(path);
        QCOMPARE(raw.value(QStringLiteral("PRAGMA user_version")).toInt(), LibraryStore::SchemaVersion);
        QCOMPARE(raw.value(QStringLiteral("SELECT count(*) FROM books")).toInt(), 1);
        QCOMPARE(raw.value(QStringLiteral("PRAGMA journal_mode")).toString(), QStringLiteral("wal"));
        if (start == "missing") {
            struct stat st;
            QCOMPARE(::stat(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), &st), 0);
            QCOMPARE(st.st_mode & 0777, 0700u);
        }
    }

    void onlyItsOwnThread()
    {
        LibraryStore store;
        VERIFY_OK(store.open(newLibrary()));
        const BookRecord book = bookAt(newBook("threads"));
        Status fromOther;
        std::unique_ptr<QThread> thread(QThread::create([&] { fromOther = store.remember(book); }));
        thread->start();
        QVERIFY(thread->wait(5000));
        QVERIFY(!fromOther.isOk());
        QVERIFY(store.books().isEmpty());
        VERIFY_OK(store.remember(book));
    }

    void fingerprints_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<Status::Code>("code");
        QTest::newRow("FIFO, no writer") << "fifo" << Status::Code::NotRegularFile;
        QTest::newRow("folder") << "folder" << Status::Code::NotRegularFile;
        QTest::newRow("missing") << "missing" << Status::Code::NotFound;
        QTest::newRow("empty file") << "empty" << Status::Code::Ok;
    }
    void fingerprints()
    {
        QFETCH(QString, kind);
        const QString path = m_folder.filePath(QStringLiteral("fp%1").arg(++m_serial));
        if (kind == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        if (kind == "folder")
            QVERIFY(QDir().mkpath(path));
        if (kind == "empty")
            writeAt(path, QByteArray());
        Status status;
        qint64 size = -1;
        const QByteArray fingerprint = LibraryStore::fingerprintOf(path, &size, &status);
        QTEST(status.code(), "code");
        QCOMPARE(fingerprint.isEmpty(), !status.isOk());
        QCOMPARE(size, status.isOk() ? qint64(0) : qint64(-1));
    }

    // Only the first 64 KiB count.
    void fingerprintReadsTheHeadOnly()
    {
        const QByteArray head(FingerprintTestBytes, 'q');
        const QByteArray a = LibraryStore::fingerprintOf(newBook(head + "one ending"));
        QCOMPARE(LibraryStore::fingerprintOf(newBook(head + "another ending")), a);
        QVERIFY(LibraryStore::fingerprintOf(newBook(head.left(head.size() - 1) + "r ending")) != a);
    }

private:
    static constexpr int FingerprintTestBytes = int(LibraryStore::FingerprintBytes);
};

QTEST_APPLESS_MAIN(tst_LibraryStore)
#include "tst_librarystore.moc"
