#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

QString TestFolder::write(const QString &name, const QByteArray &bytes) const
{
    const QString path = m_dir.filePath(name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write the test file %s", qPrintable(path));
    return path;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QByteArray sampleText(int size, quint32 seed, bool binary)
{
    static const char *words[] = {"page ", "turned ", "rain ", "the ", "of ", "\n", "Chapter ", "dim "};
    QRandomGenerator g(seed);
    QByteArray out;
    while (out.size() < size) {
        if (binary)
            out.append(char(g.bounded(256)));
        else {
            // the number first, in its own statement: the same text whatever compiler built the tests
            const QByteArray number = QByteArray::number(g.bounded(1000));
            out.append(words[g.bounded(8)] + number);
        }
    }
    return out.left(size);
}
