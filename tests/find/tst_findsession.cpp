// Searches on the session's own thread: found, wrapped round, not found, stopped, and a document
// that cannot be read; an archive's prepared copy outlives the session's own reading of it.
#include "Document.h"
#include "FindSession.h"
#include "TestFiles.h"
#include "ZipBuilder.h"

#include <QFileInfo>
#include <QSignalSpy>
#include <QtTest>

class tst_FindSession : public QObject
{
    Q_OBJECT

    TestFolder m_folder;

    FindOutcome outcomeOf(FindSession &session, const FindSource &source, const FindRequest &request)
    {
        QSignalSpy finished(&session, &FindSession::finished);
        const int search = session.start(source, request);
        if (!finished.wait(20000))
            return FindOutcome{FindOutcome::Result::Failed, {}, QStringLiteral("no answer")};
        [&] { QCOMPARE(finished.first().at(0).toInt(), search); }();
        return finished.first().at(1).value<FindOutcome>();
    }

private Q_SLOTS:
    void searchesOnItsThread_data()
    {
        QTest::addColumn<QByteArray>("text");  // null: no such file
        QTest::addColumn<bool>("backward");
        QTest::addColumn<qint64>("from");
        QTest::addColumn<int>("result");
        QTest::addColumn<qint64>("first");  // -1: no hit
        // "fox" stands at 4 and 11 of "the fox, a fox."
        const QByteArray fox("the fox, a fox.");
        QTest::newRow("forward") << fox << false << qint64(0) << int(FindOutcome::Result::Found) << qint64(4);
        QTest::newRow("forward past the first") << fox << false << qint64(5) << int(FindOutcome::Result::Found) << qint64(11);
        QTest::newRow("forward round the end") << fox << false << qint64(12) << int(FindOutcome::Result::Wrapped) << qint64(4);
        QTest::newRow("backward") << fox << true << qint64(11) << int(FindOutcome::Result::Found) << qint64(4);
        QTest::newRow("backward round the start") << fox << true << qint64(4) << int(FindOutcome::Result::Wrapped) << qint64(11);
        QTest::newRow("not found") << QByteArray("nothing here") << false << qint64(0) << int(FindOutcome::Result::NotFound)
                                   << qint64(-1);
        QTest::newRow("no such file") << QByteArray() << false << qint64(0) << int(FindOutcome::Result::Failed) << qint64(-1);
    }
    void searchesOnItsThread()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, backward);
        QFETCH(qint64, from);
        QFETCH(int, result);
        QFETCH(qint64, first);
        FindSession session;
        FindSource source;
        source.path = text.isNull() ? m_folder.filePath(QStringLiteral("missing.txt"))
                                    : m_folder.write(QStringLiteral("fox.txt"), text);
        const FindOutcome outcome = outcomeOf(session, source, FindRequest{QStringLiteral("Fox"), {}, backward, from});
        QCOMPARE(int(outcome.result), result);
        QCOMPARE(outcome.error.isEmpty(), result != int(FindOutcome::Result::Failed));
        if (first >= 0) {
            QCOMPARE(outcome.hit.first, first);
            QCOMPARE(outcome.hit.end, first + 3);
        }
        QVERIFY(!session.isRunning());
    }

    // A new search stops the one running; progress comes while a long one runs.
    void aNewSearchStopsTheRunningOne()
    {
        FindSession session;
        FindSource source;
        // "xx" in UTF-16 is U+7878; decoded one character at a time, the text takes long enough.
        source.path = m_folder.write(QStringLiteral("long.txt"), QByteArray(48 << 20, 'x'));
        source.encoding = QStringLiteral("UTF-16LE");
        QSignalSpy finished(&session, &FindSession::finished);
        QSignalSpy progress(&session, &FindSession::progress);
        const int first = session.start(source, FindRequest{QStringLiteral("nothing"), {}});
        QVERIFY(progress.wait(20000));
        const int second = session.start(source, FindRequest{QString(QChar(0x7878)), {}});
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 2, 20000);
        QCOMPARE(finished.at(0).at(0).toInt(), first);
        QCOMPARE(finished.at(0).at(1).value<FindOutcome>().result, FindOutcome::Result::Cancelled);
        QCOMPARE(finished.at(1).at(0).toInt(), second);
        QCOMPARE(finished.at(1).at(1).value<FindOutcome>().result, FindOutcome::Result::Found);
    }

    void thePreparedCopyStays()
    {
        const QString path = m_folder.write(QStringLiteral("book.txt.gz"), gzipped("a quick brown fox"));
        Document viewing;  // as the view holds it
        QVERIFY(viewing.open(path).isOk());
        const QString copy = viewing.reader().fileName();
        QVERIFY(copy != path);
        {
            FindSession session;
            FindSource source;
            source.path = path;
            const FindOutcome outcome = outcomeOf(session, source, FindRequest{QStringLiteral("brown"), {}});
            QCOMPARE(outcome.result, FindOutcome::Result::Found);
            QCOMPARE(outcome.hit.first, qint64(8));
        }
        QVERIFY(QFileInfo::exists(copy));
        viewing.close();
    }
};

QTEST_MAIN(tst_FindSession)
#include "tst_findsession.moc"
