// Envelopes on a private bus, and the screen-saver messages bridged to the screen saver service.
#include "PrivateBus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QTest>

// Receives the envelopes' signal, and stands in for the screen saver service on the same bus.
class Peer : public QCopListener
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
public:
    int inhibits = 0, pings = 0;
    uint nextCookie = 41;
    QList<uint> released;
public slots:
    Q_SCRIPTABLE uint Inhibit(const QString &, const QString &) { return ++inhibits, nextCookie++; }
    Q_SCRIPTABLE void UnInhibit(uint cookie) { released.append(cookie); }
    Q_SCRIPTABLE void Ping() { ++pings; }
};

static void screenSaverMode(qint32 mode)
{
    QCopEnvelope e("QPE/System", "setScreenSaverMode(int)");
    e << mode;
}

class tst_QCopEnvelope : public QObject
{
    Q_OBJECT

    PrivateBus m_bus;
    QString m_address;
    Peer m_peer;

private slots:
    void initTestCase()
    {
        QString why;
        if (!m_bus.start(&m_peer, &why))
            QSKIP(qPrintable(why));
        m_address = m_bus.address();
    }

    // No bus to reach: dropped quietly, the failure not remembered (the next test finds the bus).
    void droppedWithoutBus()
    {
        qputenv("DBUS_SESSION_BUS_ADDRESS", QFile::encodeName("unix:path=" + m_bus.folder() + "/none"));
        screenSaverMode(2);
        screenSaverMode(100);
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toLocal8Bit());
    }

    // Also with the screen saver service absent: its message still goes out as a signal.
    void sentAsSignal()
    {
        {
            QCopEnvelope e("QPE/Application/other", "open(QString,int)");
            e << QStringLiteral("/books/résumé.txt") << qint32(-5);
            QTest::qWait(20);
            QCOMPARE(m_peer.received.size(), 0); // nothing leaves before destruction
        }
        QCopEnvelope("QPE/Application/other", "raise()");
        screenSaverMode(2);
        screenSaverMode(100);
        QTRY_COMPARE(m_peer.received.size(), 4);
        QVERIFY(m_peer.received[1].message == "raise()" && m_peer.received[1].data.isEmpty() && m_peer.received[3].channel == "QPE/System");
        QCOMPARE(m_peer.received[0].channel + " " + m_peer.received[0].message, "QPE/Application/other open(QString,int)");
        QByteArray data;
        QDataStream out(&data, QIODevice::WriteOnly);
        out.setVersion(QCopEnvelope::DataStreamVersion);
        out << QStringLiteral("/books/résumé.txt") << qint32(-5);
        QCOMPARE(m_peer.received[0].data, data);
    }

    // A start sent while no screen saver runs fails; one sent again after the service came up
    // (before the failure was even seen) must still keep the screen awake.
    void screenSaverStartedLate()
    {
        screenSaverMode(2);
        QDBusConnection service = QDBusConnection::connectToBus(m_address, "saver");
        QVERIFY(service.registerObject("/org/freedesktop/ScreenSaver", &m_peer, QDBusConnection::ExportScriptableSlots));
        QVERIFY(service.registerService("org.freedesktop.ScreenSaver"));
        screenSaverMode(2);
        QTRY_COMPARE(m_peer.inhibits, 1);
        screenSaverMode(100);
        QTRY_COMPARE(m_peer.released.size(), 1);
        service.unregisterService("org.freedesktop.ScreenSaver");
        service.unregisterObject("/org/freedesktop/ScreenSaver");
        m_peer.inhibits = 0;
        m_peer.released.clear();
    }

    void screenSaverBridge()
    {
        QDBusConnection service = QDBusConnection::connectToBus(m_address, "saver");
        QVERIFY(service.registerObject("/org/freedesktop/ScreenSaver", &m_peer, QDBusConnection::ExportScriptableSlots));
        QVERIFY(service.registerService("org.freedesktop.ScreenSaver"));
        // Stepwise: each mode sent after the last took effect; in a burst: all at once.
        for (const auto &[modes, burst, inhibits] : QList<std::tuple<QList<int>, bool, int>>{
                 {{100, 2, 2, 1, 100, 100}, false, 1}, // stop first, repeated start does not stack, stop twice
                 {{0, 3, 50, 100, 101, -1, 2, 100}, false, 2}, // two scrolls, other modes ignored
                 {{2, 100}, true, 1}}) { // stop before the cookie came back
            m_peer.inhibits = 0;
            m_peer.released.clear();
            const uint firstCookie = m_peer.nextCookie;
            int expected = 0;
            bool awake = false;
            for (int mode : modes) {
                screenSaverMode(mode);
                if (burst)
                    continue;
                if (mode >= 1 && mode <= 3 && !awake)
                    awake = true, ++expected;
                else if (mode == 100)
                    awake = false;
                QTRY_COMPARE(m_peer.inhibits, expected);
                QTRY_COMPARE(m_peer.released.size(), awake ? expected - 1 : expected);
            }
            QTRY_COMPARE(m_peer.released.size(), inhibits);
            // Calls on one connection arrive in order: a ping on the bridge's own comes after all it sent.
            const int pings = m_peer.pings;
            QDBusConnection("folium-qcop").asyncCall(QDBusMessage::createMethodCall(
                "org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver", "Ping"));
            QTRY_COMPARE(m_peer.pings, pings + 1);
            QCOMPARE(m_peer.inhibits, inhibits);
            QCOMPARE(m_peer.released.size(), inhibits);
            for (int i = 0; i < inhibits; ++i)
                QCOMPARE(m_peer.released[i], firstCookie + uint(i)); // each cookie given back, in turn
        }
    }
};

QTEST_GUILESS_MAIN(tst_QCopEnvelope)
#include "tst_qcopenvelope.moc"
