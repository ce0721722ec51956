#include "Config.h"

#include <limits>

#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>

QString Config::userFilePath(const QString &name)
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QLatin1Char('/')
           + name + QLatin1String(".conf");
}

Config::Config(const QString &name, Domain domain)
    : m_path(domain == User ? userFilePath(name) : name)
{
    const QFileInfo info(m_path);
    m_settings = std::make_unique<QSettings>(m_path, QSettings::IniFormat);
    m_valid = info.isFile() && info.isReadable() && m_settings->status() == QSettings::NoError;
}

Config::~Config() = default;  // QSettings writes pending changes on destruction

void Config::setGroup(const QString &group)
{
    while (!m_settings->group().isEmpty())
        m_settings->endGroup();
    m_settings->beginGroup(group);
}

// The stored text of a key. A hand-edited value with unquoted commas reads back as a list;
// it is joined again so that the text survives.
QString Config::rawEntry(const QString &key, bool *present) const
{
    const QVariant v = m_settings->value(key);
    *present = false;
    if (!v.isValid())
        return QString();
    if (v.metaType().id() == QMetaType::QStringList) {
        *present = true;
        return v.toStringList().join(QLatin1Char(','));
    }
    if (!v.canConvert<QString>())
        return QString();
    *present = true;
    return v.toString();
}

QString Config::readEntry(const QString &key, const QString &deflt) const
{
    bool present;
    const QString s = rawEntry(key, &present);
    return present ? s : deflt;
}

int Config::readNumEntry(const QString &key, int deflt) const
{
    // Through the 64-bit reader, so a number too large for int reads as the default.
    const qint64 n = readNum64Entry(key, qint64(deflt));
    return n >= std::numeric_limits<int>::min() && n <= std::numeric_limits<int>::max() ? int(n) : deflt;
}

qint64 Config::readNum64Entry(const QString &key, qint64 deflt) const
{
    bool present;
    const QString s = rawEntry(key, &present);
    bool ok = false;
    const qint64 n = present ? s.trimmed().toLongLong(&ok) : 0;
    return ok ? n : deflt;
}

bool Config::readBoolEntry(const QString &key, bool deflt) const
{
    bool present;
    const QString s = rawEntry(key, &present).trimmed().toLower();
    if (!present)
        return deflt;
    if (s == QLatin1String("true") || s == QLatin1String("1"))
        return true;
    if (s == QLatin1String("false") || s == QLatin1String("0"))
        return false;
    return deflt;
}

void Config::writeEntry(const QString &key, const QString &value)
{
    m_settings->setValue(key, value);
}

void Config::writeEntry(const QString &key, const char *value)
{
    m_settings->setValue(key, QString::fromUtf8(value));
}

void Config::writeEntry(const QString &key, int value)
{
    m_settings->setValue(key, QString::number(value));
}

void Config::writeEntry(const QString &key, qint64 value)
{
    m_settings->setValue(key, QString::number(value));
}

void Config::writeEntry(const QString &key, bool value)
{
    m_settings->setValue(key, value ? QStringLiteral("true") : QStringLiteral("false"));
}
