#pragma once

#include <QString>
#include <QtGlobal>

#include <memory>

class QSettings;

// A named settings file of the user: groups of key = value entries.
// Reads fall back to the caller's default when the key is absent or its value does not read as
// the requested type. Changes reach the file when the object is destroyed, written through a
// temporary file so that an interrupted write never leaves a half-written file.
class Config
{
public:
    enum Domain {
        File,  // name is a path to the settings file
        User   // name is a settings name; the file lives in the user's configuration folder
    };

    explicit Config(const QString &name, Domain domain = User);
    ~Config();
    Config(const Config &) = delete;
    Config &operator=(const Config &) = delete;

    // True when the settings file existed and could be read when this object was created.
    bool isValid() const { return m_valid; }
    // Absolute path of the settings file, whether or not it exists.
    QString fileName() const { return m_path; }

    void setGroup(const QString &group);

    QString readEntry(const QString &key, const QString &deflt = QString()) const;
    int readNumEntry(const QString &key, int deflt = -1) const;
    qint64 readNum64Entry(const QString &key, qint64 deflt = -1) const;
    bool readBoolEntry(const QString &key, bool deflt = false) const;

    void writeEntry(const QString &key, const QString &value);
    void writeEntry(const QString &key, const char *value);  // would otherwise pick bool
    void writeEntry(const QString &key, int value);
    void writeEntry(const QString &key, qint64 value);
    void writeEntry(const QString &key, bool value);

    // Where a settings name of the User domain is stored.
    static QString userFilePath(const QString &name);

private:
    QString rawEntry(const QString &key, bool *present) const;

    QString m_path;
    bool m_valid = false;
    std::unique_ptr<QSettings> m_settings;
};
