// Envelopes on a private bus, and the screen-saver messages bridged to the screen saver service.
#include "PrivateBus.h"

#include <QDBusConnection>
#include <QDBusMessage>
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
    Peer m_peer;

    void startService() // puts the stand-in screen saver service on the bus, once
    {
        QDBusConnection service = QDBusConnection::connectToBus(m_bus.address(), "saver");
        if (!service.objectRegisteredAt("/org/freedesktop/ScreenSaver"))
            QVERIFY(service.registerObject("/org/freedesktop/ScreenSaver", &m_peer,
                                           QDBusConnection::ExportScriptableSlots)
                    && service.registerService("org.freedesktop.ScreenSaver"));
    }

private slots:
    void initTestCase()
    {
        QString why;
        if (!m_bus.start(&m_peer, &why))
            QSKIP(qPrintable(why));
    }

    // Sent on destruction as a signal, also with the screen saver service absent. With no bus to
    // reach they are dropped quietly, the failure not remembered: the next ones find the bus.
    void sentAsSignal()
    {
        qputenv("DBUS_SESSION_BUS_ADDRESS", QFile::encodeName("unix:path=" + m_bus.folder() + "/none"));
        screenSaverMode(2);
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_bus.address().toLocal8Bit());
        {
            QCopEnvelope e("QPE/Application/other", "open(QString,int)");
            e << QStringLiteral("/books/résumé.txt") << qint32(-5);
            QTest::qWait(20);
            QCOMPARE(m_peer.received.size(), 0); // nothing leaves before destruction
        }
        QCopEnvelope("QPE/Application/other", "raise()");
        screenSaverMode(2);
        screenSaverMode(100);
        QByteArray open;
        QDataStream out(&open, QIODevice::WriteOnly);
        out.setVersion(QCopEnvelope::DataStreamVersion);
        out << QStringLiteral("/books/résumé.txt") << qint32(-5);
        QTRY_COMPARE(m_peer.received.size(), 4);
        QStringList got;
        for (const QCopListener::Message &m : m_peer.received)
            got << m.channel + ' ' + m.message + ' ' + m.data.toHex();
        const QString mode = "QPE/System setScreenSaverMode(int) ";
        QCOMPARE(got, (QStringList{"QPE/Application/other open(QString,int) " + open.toHex(),
                                   "QPE/Application/other raise() ", mode + "00000002", mode + "00000064"}));
    }

    // A start sent while no screen saver runs fails; one sent again after the service came up
    // (before the failure was even seen) must still keep the screen awake.
    void screenSaverStartedLate()
    {
        screenSaverMode(2);
        startService();
        screenSaverMode(2);
        QTRY_COMPARE(m_peer.inhibits, 1);
        screenSaverMode(100);
        QTRY_COMPARE(m_peer.released.size(), 1);
    }

    // At most one inhibition is kept, and each cookie given back in turn.
    void screenSaverBridge()
    {
        startService();
        // Stepwise: each mode sent after the last took effect; in a burst: all at once.
        for (const auto &[modes, burst, inhibits] : QList<std::tuple<QList<int>, bool, int>>{
                 {{100, 2, 2, 1, 100, 100}, false, 1}, // stop first, starts do not stack, stop twice
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
            QDBusConnection("folium-qcop").send(QDBusMessage::createMethodCall(
                "org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver",
                "Ping"));
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
