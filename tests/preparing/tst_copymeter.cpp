// The limit on a prepared copy and how it is written for people.
#include "CopyMeter.h"
#include <QtTest>

class tst_CopyMeter : public QObject
{
    Q_OBJECT

private slots:
    void readableSize_data()
    {
        QTest::addColumn<quint64>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("none") << quint64(0) << "0 bytes";
        QTest::newRow("one") << quint64(1) << "1 byte";
        QTest::newRow("under a KiB") << quint64(1023) << "1023 bytes";
        QTest::newRow("a KiB") << quint64(1024) << "1 KiB";
        QTest::newRow("300 KiB") << quint64(300 * 1024) << "300 KiB";
        QTest::newRow("cut, not rounded up") << quint64(300 * 1024 - 1) << "299.9 KiB";
        QTest::newRow("a tenth") << quint64(1536) << "1.5 KiB";
        QTest::newRow("just under a MiB") << quint64((1 << 20) - 1) << "1023.9 KiB";
        QTest::newRow("512 MiB") << (quint64(512) << 20) << "512 MiB";
        QTest::newRow("1 GiB") << (quint64(1) << 30) << "1 GiB";
        QTest::newRow("decimal GB") << quint64(1000000000) << "953.6 MiB";
        QTest::newRow("2.5 TiB") << (quint64(5) << 39) << "2.5 TiB";
        QTest::newRow("largest") << ~quint64(0) << "15.9 EiB";
    }
    void readableSize()
    {
        QFETCH(quint64, bytes);
        QFETCH(QString, text);
        QCOMPARE(QString::fromStdString(::readableSize(bytes)), text);
    }

    // Up to the limit everything is admitted; the byte past it is refused, and stays refused.
    void limit()
    {
        CopyMeter meter(10);
        QVERIFY(meter.fits(10) && meter.admit(4) && meter.admit(6) && meter.admit(0));
        QVERIFY(!meter.admit(1));
        QCOMPARE(meter.written(), quint64(10));
        QCOMPARE(meter.stopStatus().code(), Status::Code::TooLarge);
        QCOMPARE(meter.stopStatus().message(), std::string("The archive unpacks to more than 10 bytes"));
        QVERIFY(!CopyMeter(10).fits(11));
    }

    // Reports are few however small the steps, and a stop is heard at the next one.
    void reports()
    {
        QList<quint64> seen;
        bool go = true;
        CopyMeter meter(CopyMeter::DefaultLimit, [&](quint64 done, quint64 total) {
            seen << done;
            return total == 1 << 20 && go;
        });
        QVERIFY(meter.start(1 << 20));
        for (quint64 done = 1; done <= 1 << 20; ++done)
            QVERIFY(meter.read(done));
        QVERIFY(seen.size() >= 1000 && seen.size() <= 1026);
        QVERIFY(std::is_sorted(seen.begin(), seen.end()) && seen.first() == 0 && seen.last() == 1 << 20);
        // Output counts too: a source that expands a lot is heard of while it is written.
        seen.clear();
        for (int i = 0; i < 64; ++i)
            QVERIFY(meter.admit(1 << 20));
        QCOMPARE(seen.size(), 4);
        go = false;
        while (meter.admit(4096)) {
        }
        QCOMPARE(meter.stopStatus().code(), Status::Code::Cancelled);
    }
};

QTEST_APPLESS_MAIN(tst_CopyMeter)
#include "tst_copymeter.moc"
