#pragma once
// A temporary folder for one test, removed with it, and the few file helpers every test needs.

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

class TestFolder
{
public:
    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }
    // Writes `bytes` to `name` inside the folder (making sub-folders) and returns its full path.
    QString write(const QString &name, const QByteArray &bytes) const;

private:
    QTemporaryDir m_dir;
};

// The whole file, or "<missing>" when it cannot be read (so a comparison shows what happened).
QByteArray readFile(const QString &path);

// `size` bytes of words and numbers, or with `binary` of every byte value, the same for a `seed`:
// text that compresses as prose does, or hardly at all.
QByteArray sampleText(int size, quint32 seed, bool binary = false);
