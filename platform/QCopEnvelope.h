#pragma once

#include <QByteArray>
#include <QDataStream>
#include <QString>

#include <memory>

class QBuffer;

// One message to another application: a channel, a message signature such as
// "setScreenSaverMode(int)", and arguments streamed in with <<. It is sent when the envelope is
// destroyed, as the D-Bus signal `QCopInterface`.`QCopSignal` (channel, message, data) on the
// session bus, data holding the arguments in QDataStream form (version `DataStreamVersion`).
// Without a session bus the message is dropped.
//
// "setScreenSaverMode(int)" on "QPE/System" also reaches the desktop's screen saver: modes
// 1 to 3 keep the screen awake (org.freedesktop.ScreenSaver.Inhibit), mode 100 lets it sleep.
class QCopEnvelope : public QDataStream
{
public:
    QCopEnvelope(const QString &channel, const QString &message);
    ~QCopEnvelope();
    QCopEnvelope(const QCopEnvelope &) = delete;
    QCopEnvelope &operator=(const QCopEnvelope &) = delete;

    static constexpr const char *QCopPath = "/org/folium/QCop";
    static constexpr const char *QCopInterface = "org.folium.QCop";
    static constexpr const char *QCopSignal = "message";
    static constexpr QDataStream::Version DataStreamVersion = QDataStream::Qt_6_0;

private:
    QString m_channel;
    QString m_message;
    QByteArray m_data;
    std::unique_ptr<QBuffer> m_buffer;  // writes the streamed arguments into m_data
};
