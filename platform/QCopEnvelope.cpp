#include "QCopEnvelope.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace {

const QString ConnectionName = QStringLiteral("folium-qcop");

// The session bus, connected again if an earlier attempt failed (the bus may have started or
// moved since), or a disconnected connection when there is none.
QDBusConnection sessionBus()
{
    {
        const QDBusConnection existing(ConnectionName);
        if (existing.isConnected())
            return existing;
    }
    QDBusConnection::disconnectFromBus(ConnectionName);
    // The bus library reads the address variable only once per process; read it ourselves.
    const QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    if (!address.isEmpty())
        return QDBusConnection::connectToBus(address, ConnectionName);
    return QDBusConnection::connectToBus(QDBusConnection::SessionBus, ConnectionName);
}

// Keeps at most one inhibition of the desktop screen saver. The cookie of an inhibition arrives
// asynchronously; a release asked for before it arrives is carried out when it does.
class ScreenSaverBridge
{
public:
    static ScreenSaverBridge &instance()
    {
        static ScreenSaverBridge bridge;
        return bridge;
    }

    void inhibit(QDBusConnection bus)
    {
        m_wanted = true;
        if (m_pending)
            m_askedAgain = true;  // if this call fails, the newer request deserves its own try
        if (m_pending || m_cookie)
            return;
        m_askedAgain = false;
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("/org/freedesktop/ScreenSaver"),
            QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("Inhibit"));
        const QString app = QCoreApplication::applicationName().isEmpty()
                                ? QStringLiteral("Folium")
                                : QCoreApplication::applicationName();
        call << app << QStringLiteral("Scrolling through a document");
        m_pending = true;
        auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call));
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                         [this, bus](QDBusPendingCallWatcher *w) {
                             w->deleteLater();
                             m_pending = false;
                             const QDBusPendingReply<uint> reply = *w;
                             if (reply.isError()) {
                                 // No screen saver service then: nothing to undo. One asked for
                                 // since may find a service that has started meanwhile.
                                 if (m_wanted && m_askedAgain)
                                     inhibit(bus);
                                 return;
                             }
                             m_cookie = reply.value();
                             if (!m_wanted)
                                 release(bus);
                         });
    }

    void uninhibit(QDBusConnection bus)
    {
        m_wanted = false;
        if (m_cookie)
            release(bus);
    }

private:
    void release(QDBusConnection bus)
    {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("/org/freedesktop/ScreenSaver"),
            QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("UnInhibit"));
        call << m_cookie;
        m_cookie = 0;
        bus.send(call);
    }

    bool m_wanted = false;   // the last request was to keep the screen awake
    bool m_pending = false;  // an Inhibit call awaits its reply
    bool m_askedAgain = false;  // inhibit() was called again while that call was pending
    uint m_cookie = 0;       // the screen saver's handle of our inhibition; 0 = none
};

void bridgeScreenSaver(QDBusConnection bus, const QByteArray &data)
{
    QDataStream in(data);
    in.setVersion(QCopEnvelope::DataStreamVersion);
    qint32 mode = 0;
    in >> mode;
    if (in.status() != QDataStream::Ok)
        return;
    if (mode >= 1 && mode <= 3)
        ScreenSaverBridge::instance().inhibit(bus);
    else if (mode == 100)
        ScreenSaverBridge::instance().uninhibit(bus);
}

} // namespace

QCopEnvelope::QCopEnvelope(const QString &channel, const QString &message)
    : m_channel(channel), m_message(message), m_buffer(std::make_unique<QBuffer>(&m_data))
{
    m_buffer->open(QIODevice::WriteOnly);
    setDevice(m_buffer.get());
    setVersion(DataStreamVersion);
}

QCopEnvelope::~QCopEnvelope()
{
    setDevice(nullptr);
    QDBusConnection bus = sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage signal = QDBusMessage::createSignal(QLatin1String(QCopPath),
                                                     QLatin1String(QCopInterface),
                                                     QLatin1String(QCopSignal));
    signal << m_channel << m_message << m_data;
    bus.send(signal);

    if (m_channel == QLatin1String("QPE/System")
        && m_message == QLatin1String("setScreenSaverMode(int)"))
        bridgeScreenSaver(bus, m_data);
}
