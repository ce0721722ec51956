#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "QCopEnvelope.h"

// Receives the envelopes' signal on its own connection to the bus.
class Listener : public QObject
{
    Q_OBJECT

public:
    struct Message { QString channel, message; QByteArray data; };
    QList<Message> received;

public slots:
    void message(const QString &channel, const QString &message, const QByteArray &data)
    {
        received.append({channel, message, data});
    }
};

// Stands in for the desktop's screen saver service on the private bus.
class ScreenSaver : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")

public:
    int inhibits = 0;
    QList<uint> released;
    int pings = 0;
    uint nextCookie = 41;

public slots:
    Q_SCRIPTABLE uint Inhibit(const QString &, const QString &)
    {
        ++inhibits;
        return nextCookie++;
    }
    Q_SCRIPTABLE void UnInhibit(uint cookie) { released.append(cookie); }
    Q_SCRIPTABLE void Ping() { ++pings; }
};

class tst_QCopEnvelope : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void droppedWithoutBus();
    void sentAsSignal_data();
    void sentAsSignal();
    void screenSaverWithoutService();
    void screenSaverBridge_data();
    void screenSaverBridge();

private:
    void waitForBridge();

    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
    Listener m_listener;
    ScreenSaver m_saver;
};

void tst_QCopEnvelope::initTestCase()
{
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (daemon.isEmpty())
        QSKIP("dbus-daemon is not installed");
    QVERIFY(m_dir.isValid());

    // A bus of our own: no activatable services, everyone may own any name.
    QFile config(m_dir.filePath(QStringLiteral("bus.conf")));
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                 " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                 "<busconfig><type>session</type><listen>unix:dir=");
    config.write(QFile::encodeName(m_dir.path()));
    config.write("</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                 "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                 "<allow own=\"*\"/></policy></busconfig>\n");
    config.close();

    m_daemon.start(daemon, {QStringLiteral("--config-file=") + config.fileName(),
                            QStringLiteral("--nofork"), QStringLiteral("--print-address")});
    QVERIFY(m_daemon.waitForStarted());
    while (!m_daemon.canReadLine() && m_daemon.state() == QProcess::Running)
        m_daemon.waitForReadyRead(1000);
    m_address = QString::fromLocal8Bit(m_daemon.readLine()).trimmed();
    QVERIFY2(!m_address.isEmpty(), m_daemon.readAllStandardError().constData());

    QDBusConnection listen = QDBusConnection::connectToBus(m_address, QStringLiteral("listener"));
    QVERIFY(listen.isConnected());
    QVERIFY(listen.connect(QString(), QLatin1String(QCopEnvelope::QCopPath),
                           QLatin1String(QCopEnvelope::QCopInterface),
                           QLatin1String(QCopEnvelope::QCopSignal), &m_listener,
                           SLOT(message(QString, QString, QByteArray))));
}

void tst_QCopEnvelope::cleanupTestCase()
{
    QDBusConnection::disconnectFromBus(QStringLiteral("listener"));
    QDBusConnection::disconnectFromBus(QStringLiteral("saver"));
    if (m_daemon.state() != QProcess::NotRunning) {
        m_daemon.terminate();
        m_daemon.waitForFinished();
    }
}

// No bus to reach: the envelope is dropped quietly. The next test then finds the bus, so a
// failed attempt is not remembered either.
void tst_QCopEnvelope::droppedWithoutBus()
{
    qputenv("DBUS_SESSION_BUS_ADDRESS",
            QFile::encodeName(QStringLiteral("unix:path=") + m_dir.filePath(QStringLiteral("none"))));
    {
        QCopEnvelope e(QStringLiteral("QPE/System"), QStringLiteral("setScreenSaverMode(int)"));
        e << qint32(2);
    }
    {
        QCopEnvelope e(QStringLiteral("QPE/System"), QStringLiteral("setScreenSaverMode(int)"));
        e << qint32(100);
    }
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toLocal8Bit());
}

void tst_QCopEnvelope::sentAsSignal_data()
{
    QTest::addColumn<QString>("channel");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QVariantList>("args");

    QTest::newRow("dictionary") << QStringLiteral("QPE/Application/dictionary")
                                << QStringLiteral("find(QString)")
                                << QVariantList{QStringLiteral("résumé")};
    QTest::newRow("screen saver") << QStringLiteral("QPE/System")
                                  << QStringLiteral("setScreenSaverMode(int)") << QVariantList{7};
    QTest::newRow("two arguments, in order")
        << QStringLiteral("QPE/Application/other") << QStringLiteral("open(QString,int)")
        << QVariantList{QStringLiteral("/books/a.txt"), -5};
    QTest::newRow("no arguments") << QStringLiteral("QPE/Application/other")
                                  << QStringLiteral("raise()") << QVariantList{};
}

void tst_QCopEnvelope::sentAsSignal()
{
    QFETCH(QString, channel);
    QFETCH(QString, message);
    QFETCH(QVariantList, args);

    m_listener.received.clear();
    {
        QCopEnvelope e(channel, message);
        for (const QVariant &a : args) {
            if (a.metaType().id() == QMetaType::Int)
                e << qint32(a.toInt());
            else
                e << a.toString();
        }
        QVERIFY(m_listener.received.isEmpty());  // nothing leaves before destruction
    }
    QTRY_COMPARE(m_listener.received.size(), 1);

    const Listener::Message &got = m_listener.received.first();
    QCOMPARE(got.channel, channel);
    QCOMPARE(got.message, message);
    QDataStream in(got.data);
    in.setVersion(QCopEnvelope::DataStreamVersion);
    for (const QVariant &a : args) {
        if (a.metaType().id() == QMetaType::Int) {
            qint32 n = 0;
            in >> n;
            QCOMPARE(n, a.toInt());
        } else {
            QString s;
            in >> s;
            QCOMPARE(s, a.toString());
        }
    }
    QCOMPARE(in.status(), QDataStream::Ok);
    QVERIFY(in.atEnd());
}

// The screen saver service is absent: the message still goes out as a signal.
void tst_QCopEnvelope::screenSaverWithoutService()
{
    m_listener.received.clear();
    for (qint32 mode : {2, 100}) {
        QCopEnvelope e(QStringLiteral("QPE/System"), QStringLiteral("setScreenSaverMode(int)"));
        e << mode;
    }
    QTRY_COMPARE(m_listener.received.size(), 2);
}

// Each row sends a sequence of modes, waiting after each for the service to have what it
// expects; at the end the number of Inhibit calls and the released cookies are checked.
void tst_QCopEnvelope::screenSaverBridge_data()
{
    QTest::addColumn<QList<int>>("modes");
    QTest::addColumn<int>("inhibits");
    QTest::addColumn<int>("releases");

    QTest::newRow("scroll, stop") << QList<int>{2, 100} << 1 << 1;
    QTest::newRow("repeated start does not stack") << QList<int>{2, 2, 1, 100} << 1 << 1;
    QTest::newRow("stop without start") << QList<int>{100} << 0 << 0;
    QTest::newRow("stop twice") << QList<int>{2, 100, 100} << 1 << 1;
    QTest::newRow("two scrolls") << QList<int>{2, 100, 2, 100} << 2 << 2;
    QTest::newRow("other modes ignored") << QList<int>{0, 50, 101, -1} << 0 << 0;
}

void tst_QCopEnvelope::screenSaverBridge()
{
    QFETCH(QList<int>, modes);
    QFETCH(int, inhibits);
    QFETCH(int, releases);

    QDBusConnection service = QDBusConnection::connectToBus(m_address, QStringLiteral("saver"));
    QVERIFY(service.isConnected());
    if (!service.objectRegisteredAt(QStringLiteral("/org/freedesktop/ScreenSaver"))) {
        QVERIFY(service.registerObject(QStringLiteral("/org/freedesktop/ScreenSaver"), &m_saver,
                                       QDBusConnection::ExportScriptableSlots));
        QVERIFY(service.registerService(QStringLiteral("org.freedesktop.ScreenSaver")));
    }
    m_saver.inhibits = 0;
    m_saver.released.clear();
    const uint firstCookie = m_saver.nextCookie;

    int expectInhibits = 0, expectReleases = 0;
    bool awake = false;
    for (int mode : modes) {
        {
            QCopEnvelope e(QStringLiteral("QPE/System"), QStringLiteral("setScreenSaverMode(int)"));
            e << qint32(mode);
        }
        if (mode >= 1 && mode <= 3 && !awake) {
            awake = true;
            ++expectInhibits;
        } else if (mode == 100 && awake) {
            awake = false;
            ++expectReleases;
        }
        QTRY_COMPARE(m_saver.inhibits, expectInhibits);
        QTRY_COMPARE(m_saver.released.size(), expectReleases);
    }
    waitForBridge();

    QCOMPARE(m_saver.inhibits, inhibits);
    QCOMPARE(m_saver.released.size(), releases);
    for (int i = 0; i < m_saver.released.size(); ++i)
        QCOMPARE(m_saver.released.at(i), firstCookie + uint(i));  // each cookie given back
}

// Messages from one connection arrive in order: once a ping sent on the envelopes' own
// connection has arrived, everything the bridge sent before it has too.
void tst_QCopEnvelope::waitForBridge()
{
    const int before = m_saver.pings;
    QDBusConnection bridge(QStringLiteral("folium-qcop"));
    QVERIFY(bridge.isConnected());
    bridge.asyncCall(QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("/org/freedesktop/ScreenSaver"),
        QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("Ping")));
    QTRY_COMPARE(m_saver.pings, before + 1);
}

QTEST_GUILESS_MAIN(tst_QCopEnvelope)
#include "tst_qcopenvelope.moc"
