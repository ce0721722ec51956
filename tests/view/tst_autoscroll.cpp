// Auto-scroll: started and stopped by keys from inside its own loop, landing on the top line.
#include "PrivateBus.h"
#include "ViewFixture.h"

#include <QResizeEvent>
#include <QTimer>
#include <QtTest>

namespace {
QByteArray lines(int count)
{
    QByteArray text;
    for (int i = 0; i < count; ++i)
        text += "line" + QByteArray::number(i) + "\n";
    return text;
}
} // namespace

class tst_AutoScroll : public QObject
{
    Q_OBJECT

    // Presses `key` once `linesIn` lines have started to scroll in.
    static void stopAfter(ViewFixture &f, int linesIn, int key)
    {
        auto *poll = new QTimer(f.view);
        QObject::connect(poll, &QTimer::timeout, f.view, [&f, poll, linesIn, key] {
            if (f.view->scroller().scrolling() && f.view->scroller().linesScrolledIn() >= linesIn) {
                poll->stop();
                QTest::keyClick(f.view, Qt::Key(key));
            }
        });
        poll->start(0);
    }
    static ViewFixture *fast(ViewFixture &f, double rotation = 0.0)
    {
        f.change([rotation](ReaderSettings &s) {
            s.reparagraph = false;
            s.rotation = rotation;
            s.scrollDelay = 1;
        });
        return &f;
    }
    static bool idle(const ViewFixture &f) { return !f.view->scroller().scrolling() && !f.view->scroller().autoScroll(); }

private Q_SLOTS:
    void stopsOnTheLastLineScrolledIn_data()
    {
        QTest::addColumn<double>("rotation");
        QTest::addColumn<int>("stopKey");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("linesIn");
        QTest::newRow("0, Return") << 0.0 << int(Qt::Key_Return) << 200 << 2;
        QTest::newRow("-90, OK key") << -90.0 << int(Qt::Key_F33) << 200 << 2;
        // More than 49 lines on the screen: the ring of line starts grows with it, and a few
        // more lines scrolled in wrap round it.
        QTest::newRow("tall screen") << 0.0 << int(Qt::Key_Return) << 1200 << 2;
        QTest::newRow("tall screen, round the ring") << 0.0 << int(Qt::Key_Return) << 1200 << 5;
    }
    void stopsOnTheLastLineScrolledIn()
    {
        QFETCH(double, rotation);
        QFETCH(int, stopKey);
        QFETCH(int, height);
        QFETCH(int, linesIn);
        ViewFixture f(300, height);
        fast(f, rotation)->open(QStringLiteral("scroll.txt"), lines(300));
        const int paperHeight = f.view->paper().height();
        stopAfter(f, linesIn, stopKey);
        QTest::keyClick(f.view, Qt::Key_Return);  // returns when the scroll has stopped
        QVERIFY(idle(f));
        QCOMPARE(f.view->pageStart().position, qint64(linesIn * 6));
        QCOMPARE(f.word(0).text, QStringLiteral("line%1").arg(linesIn));
        QCOMPARE(f.view->paper().height(), paperHeight);
        QCOMPARE(f.view->pageHistory().depth(), 0);
        // Lines of 15 one-pixel steps each, and the page laid out at once after the last.
        QCOMPARE(f.view->scroller().steps(), linesIn * 15);
    }

    void doesNotStartAt180()
    {
        ViewFixture f(300, 200);
        fast(f, 180)->open(QStringLiteral("s.txt"), lines(50));
        QTest::keyClick(f.view, Qt::Key_Return);
        QVERIFY(idle(f));
    }

    void keysAndTapsWaitWhileScrolling()
    {
        ViewFixture f(300, 200);
        fast(f)->open(QStringLiteral("k.txt"), lines(100));
        const int size = f.view->settings().fontSize;
        bool pressed = false;
        QTimer::singleShot(5, f.view, [&] {
            QTest::keyClick(f.view, Qt::Key_Right);  // swallowed
            QTest::mouseClick(f.view, Qt::LeftButton, {}, QPoint(150, 197));  // ignored
            pressed = true;
            QTest::keyClick(f.view, Qt::Key_Return);
        });
        QTest::keyClick(f.view, Qt::Key_Return);
        QVERIFY(pressed);
        QCOMPARE(f.view->settings().fontSize, size);
        QVERIFY(idle(f));
    }

    void resizeStopsAndLaysOutAtTheNewSize()
    {
        ViewFixture f(300, 200);
        fast(f)->open(QStringLiteral("r.txt"), lines(100));
        QTimer::singleShot(5, f.view, [&] {
            // A hidden widget gets its resize event only when shown: deliver it as the window would.
            f.view->setFixedSize(320, 240);
            QResizeEvent resize(QSize(320, 240), QSize(300, 200));
            QCoreApplication::sendEvent(f.view, &resize);
        });
        QTest::keyClick(f.view, Qt::Key_Return);
        QVERIFY(idle(f));
        QCOMPARE(f.view->paper().size(), QSize(320, 240));
        QVERIFY(f.view->pageStart().position > 0);
    }

    // The screen saver is held off while scrolling and let go again however the scroll ends.
    void screenSaverHeldAndReleased()
    {
        PrivateBus bus;
        QCopListener listener;
        QString why;
        if (!bus.start(&listener, &why))
            QSKIP(qPrintable(why));
        ViewFixture f(300, 200);
        fast(f)->open(QStringLiteral("saver.txt"), lines(100));
        stopAfter(f, 1, Qt::Key_Return);
        QTest::keyClick(f.view, Qt::Key_Return);
        QTimer::singleShot(5, f.view, [&] {
            QResizeEvent resize(QSize(300, 200), QSize(300, 200));
            QCoreApplication::sendEvent(f.view, &resize);
        });
        QTest::keyClick(f.view, Qt::Key_Return);
        const QString system = QStringLiteral("QPE/System");
        QTRY_COMPARE(listener.intArguments(system), (QList<int>{2, 100, 2, 100}));
        QCOMPARE(listener.received.first().message, QStringLiteral("setScreenSaverMode(int)"));
    }
};

QTEST_MAIN(tst_AutoScroll)
#include "tst_autoscroll.moc"
