#include "BookmarkFile.h"

#include <QFile>

namespace {
// A line without its line feed; the last line of a file may lack one.
QString readLine(QFile &file)
{
    QByteArray line = file.readLine();
    if (line.endsWith('\n'))
        line.chop(1);
    return QString::fromUtf8(line);
}
} // namespace

Status readBookmarkRecords(const QString &path, QList<BookmarkRecord> &records)
{
    records.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Status::error(file.exists() ? Status::Code::Unreadable : Status::Code::NotFound,
                             "the file cannot be read", file.errorString().toStdString());
    while (!file.atEnd()) {
        BookmarkRecord r;
        r.title = readLine(file);
        if (file.atEnd())
            break;
        r.page = readLine(file);
        if (file.atEnd())
            break;
        r.position = readLine(file);
        if (file.atEnd())
            break;
        r.paragraph = readLine(file);
        records.append(r);
    }
    return Status::ok();
}

BookmarkFileWriter::BookmarkFileWriter(const QString &path) : m_file(path)
{
    m_open = m_file.open(QIODevice::WriteOnly);
}

void BookmarkFileWriter::write(const BookmarkRecord &record)
{
    if (!m_open)
        return;
    const QString title = QString(record.title).replace(QLatin1Char('\n'), QLatin1Char(' '));
    QByteArray bytes;
    for (const QString *field : {&title, &record.page, &record.position, &record.paragraph}) {
        bytes += field->toUtf8();
        bytes += '\n';
    }
    m_file.write(bytes);
}

bool BookmarkFileWriter::commit()
{
    return m_open && m_file.commit();
}

bool writeBookmarkRecords(const QString &path, const QList<BookmarkRecord> &records)
{
    BookmarkFileWriter writer(path);
    for (const BookmarkRecord &r : records)
        writer.write(r);
    return writer.commit();
}
