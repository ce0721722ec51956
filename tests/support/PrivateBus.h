#pragma once
// A session bus of the test's own (dbus-daemon with a minimal configuration) and a listener for
// the messages the reader sends to other applications.

#include "QCopEnvelope.h"

#include <QDBusConnection>
#include <QDataStream>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

class QCopListener : public QObject
{
    Q_OBJECT

public:
    struct Message
    {
        QString channel, message;
        QByteArray data;
    };
    QList<Message> received;

    // The single int argument of each message on `channel`, in order.
    QList<int> intArguments(const QString &channel) const
    {
        QList<int> values;
        for (const Message &m : received) {
            if (m.channel != channel)
                continue;
            QDataStream in(m.data);
            in.setVersion(QCopEnvelope::DataStreamVersion);
            qint32 v = 0;
            in >> v;
            values << v;
        }
        return values;
    }

public Q_SLOTS:
    void message(const QString &channel, const QString &message, const QByteArray &data)
    {
        received.append({channel, message, data});
    }
};

class PrivateBus
{
public:
    ~PrivateBus()
    {
        QDBusConnection::disconnectFromBus(QStringLiteral("test-listener"));
        if (m_daemon.state() != QProcess::NotRunning) {
            m_daemon.terminate();
            m_daemon.waitForFinished();
        }
    }

    // Starts the bus, points DBUS_SESSION_BUS_ADDRESS at it and connects `listener`.
    // Returns false (with `why`) when no dbus-daemon is installed or it does not start.
    bool start(QCopListener *listener, QString *why)
    {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty() || !m_dir.isValid()) {
            *why = QStringLiteral("dbus-daemon is not installed");
            return false;
        }
        QFile config(m_dir.filePath(QStringLiteral("bus.conf")));
        config.open(QIODevice::WriteOnly);
        config.write("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                     " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                     "<busconfig><type>session</type><listen>unix:dir=");
        config.write(QFile::encodeName(m_dir.path()));
        config.write("</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                     "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                     "<allow own=\"*\"/></policy></busconfig>\n");
        config.close();
        m_daemon.start(daemon, {QStringLiteral("--config-file=") + config.fileName(), QStringLiteral("--nofork"),
                                QStringLiteral("--print-address")});
        if (!m_daemon.waitForStarted()) {
            *why = QStringLiteral("dbus-daemon did not start");
            return false;
        }
        while (!m_daemon.canReadLine() && m_daemon.state() == QProcess::Running)
            m_daemon.waitForReadyRead(1000);
        const QString address = QString::fromLocal8Bit(m_daemon.readLine()).trimmed();
        if (address.isEmpty()) {
            *why = QStringLiteral("dbus-daemon gave no address");
            return false;
        }
        qputenv("DBUS_SESSION_BUS_ADDRESS", address.toLocal8Bit());
        m_address = address;
        QDBusConnection listen = QDBusConnection::connectToBus(address, QStringLiteral("test-listener"));
        return listen.isConnected()
            && listen.connect(QString(), QLatin1String(QCopEnvelope::QCopPath), QLatin1String(QCopEnvelope::QCopInterface),
                              QLatin1String(QCopEnvelope::QCopSignal), listener,
                              SLOT(message(QString, QString, QByteArray)));
    }

    QString address() const { return m_address; }
    QString folder() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
};
