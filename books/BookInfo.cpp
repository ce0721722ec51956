#include "BookInfo.h"

#include <QList>

namespace {
const QByteArray Magic = "folium book 1";
constexpr qsizetype MaxTextBytes = 64 * 1024 * 1024;
} // namespace

QString BookInfo::clean(const QString &text)
{
    QString out = text.simplified();
    if (out.size() > MaxText) {
        out.truncate(MaxText);
        if (out.back().isHighSurrogate())
            out.chop(1);
    }
    return out;
}

void BookInfo::addEntry(const QString &entryTitle, int level, qint64 position)
{
    const QString cleaned = clean(entryTitle);
    if (cleaned.isEmpty() || contents.size() >= MaxEntries || position < 0)
        return;
    contents.append(Entry{cleaned, qBound(0, level, MaxLevel), position});
}

QByteArray BookInfo::toText() const
{
    QByteArray out = Magic + '\n';
    auto line = [&out](const char *key, const QString &value) {
        if (!value.isEmpty())
            out += QByteArray(key) + ' ' + clean(value).toUtf8() + '\n';
    };
    line("title", title);
    line("author", author);
    line("language", language);
    out += "chapters " + QByteArray::number(chapters) + '\n';
    for (const Entry &e : contents)
        out += "entry " + QByteArray::number(e.level) + ' ' + QByteArray::number(e.position) + ' ' + e.title.toUtf8() + '\n';
    return out;
}

std::optional<BookInfo> BookInfo::fromText(const QByteArray &text)
{
    if (text.size() > MaxTextBytes || !text.startsWith(Magic + '\n'))
        return std::nullopt;
    BookInfo info;
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray &l = lines[i];
        const qsizetype space = l.indexOf(' ');
        const QByteArray key = space < 0 ? l : l.left(space);
        const QByteArray value = space < 0 ? QByteArray() : l.mid(space + 1);
        if (key == "title")
            info.title = clean(QString::fromUtf8(value));
        else if (key == "author")
            info.author = clean(QString::fromUtf8(value));
        else if (key == "language")
            info.language = clean(QString::fromUtf8(value));
        else if (key == "chapters")
            info.chapters = qMax(0, value.toInt());
        else if (key == "entry") {
            const QList<QByteArray> parts = value.split(' ');
            if (parts.size() < 3)
                continue;
            bool levelOk = false, positionOk = false;
            const int level = parts[0].toInt(&levelOk);
            const qint64 position = parts[1].toLongLong(&positionOk);
            if (levelOk && positionOk)
                info.addEntry(QString::fromUtf8(value.mid(parts[0].size() + parts[1].size() + 2)), level, position);
        }
    }
    return info;
}
