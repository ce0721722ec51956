// Opening documents that need preparing: the work runs off the window's thread, a long one shows
// progress that Cancel stops, and the size limit from the settings holds.
#include "BackgroundPreparation.h"
#include "ViewFixture.h"
#include "ZipBuilder.h"

#include <QApplication>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>

class tst_Opening : public QObject
{
    Q_OBJECT

private slots:
    // A preparation that runs until it is stopped: the window keeps handling its timers, a
    // progress dialog appears, and its Cancel reaches the worker.
    void longPreparationShowsProgressAndCancels()
    {
        QWidget window;
        window.show();
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
        ticker.start(20);
        QProgressDialog *seen = nullptr;
        int ticksWhenSeen = 0;
        QTimer clicker;
        connect(&clicker, &QTimer::timeout, [&] {
            if (auto *dialog = qobject_cast<QProgressDialog *>(QApplication::activeModalWidget())) {
                seen = dialog;
                ticksWhenSeen = ticks;
                if (QPushButton *cancel = dialog->findChild<QPushButton *>())
                    cancel->click();
                clicker.stop();
            }
        });
        clicker.start(30);
        const Qt::HANDLE windowThread = QThread::currentThreadId();
        Qt::HANDLE workThread = nullptr;
        const SourcePreparer::Result result = BackgroundPreparation::run(
            &window, QStringLiteral("Opening"), [&workThread](const PrepareProgress &progress) {
                workThread = QThread::currentThreadId();
                SourcePreparer::Result r;
                for (uint64_t done = 0; progress(done % 100, 100); ++done)
                    QThread::msleep(5);
                r.status = Status::error(Status::Code::Cancelled, "stopped");
                return r;
            });
        QVERIFY(seen);
        QVERIFY(ticksWhenSeen > 0);  // the window's own timers ran while the work went on
        QCOMPARE(result.status.code(), Status::Code::Cancelled);
        QVERIFY(workThread != windowThread);
        QVERIFY(!QApplication::activeModalWidget());
    }

    // Quick work shows nothing and hands its result back whole.
    void quickPreparationShowsNothing()
    {
        QWidget window;
        bool dialogSeen = false;
        QTimer watcher;
        connect(&watcher, &QTimer::timeout, [&] { dialogSeen |= QApplication::activeModalWidget() != nullptr; });
        watcher.start(1);
        const SourcePreparer::Result result = BackgroundPreparation::run(&window, QString(), [](const PrepareProgress &) {
            SourcePreparer::Result r;
            r.textPath = QStringLiteral("/somewhere/b.txt");
            return r;
        });
        QCOMPARE(result.textPath, QStringLiteral("/somewhere/b.txt"));
        QVERIFY(!dialogSeen);
    }

    // "Largest unpacked document" bounds what an archive may unpack to; a cancelled or refused
    // archive leaves nothing open, and the next document opens as usual.
    void largestUnpackedDocumentHolds()
    {
        ViewFixture f(320, 320, [](ReaderSettings &s) { s.largestUnpacked = 1; });
        f.open(QStringLiteral("big.txt.gz"), gzipped(QByteArray("words ").repeated(200000)));
        QCOMPARE(f.warnings, QStringList{QStringLiteral("Warining!|The archive unpacks to more than 1 MiB")});
        QVERIFY(!f.view->documentOpen());
        f.warnings.clear();
        f.change([](ReaderSettings &s) { s.largestUnpacked = 2; });
        f.open(QStringLiteral("big.txt.gz"), gzipped(QByteArray("words ").repeated(200000)));
        QVERIFY(f.warnings.isEmpty());
        QVERIFY(f.view->documentOpen());
        QCOMPARE(f.word(0).text, QStringLiteral("words"));
    }
};

QTEST_MAIN(tst_Opening)
#include "tst_opening.moc"
