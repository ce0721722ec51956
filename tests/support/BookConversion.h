#pragma once
// One book converter run on bytes written to a temporary file: its status, the HTML copy it wrote
// and the metadata it found; and the links of a copy that lead nowhere. For tests that also link
// the book readers.
#include "BookInfo.h"
#include "CopyMeter.h"
#include "Status.h"
#include "TestFiles.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QUrl>
#include <fcntl.h>
#include <unistd.h>

struct Converted
{
    Status status;
    QByteArray html;
    BookInfo info;
};

// `convert(source, out, meter, info)` reads the book from `source` and writes the copy to `out`.
template <typename Converter>
Converted convertBook(const QByteArray &book, uint64_t limit, Converter convert)
{
    TestFolder folder;
    const QString in = folder.write(QStringLiteral("book"), book);
    const QString outPath = folder.filePath(QStringLiteral("book.html"));
    const int source = ::open(QFile::encodeName(in).constData(), O_RDONLY | O_CLOEXEC);
    const int out = ::open(QFile::encodeName(outPath).constData(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    CopyMeter meter(limit);
    meter.start(uint64_t(book.size()));
    Converted c;
    c.status = convert(source, out, meter, c.info);
    ::close(source);
    ::close(out);
    c.html = readFile(outPath);
    return c;
}

// The links of the copy that lead to no name anchor in it, as the view looks them up.
inline QStringList unresolvedLinks(const QByteArray &html)
{
    const QString text = QString::fromUtf8(html);
    QSet<QString> names;
    for (const QRegularExpressionMatch &m :
         QRegularExpression(QStringLiteral("<a name=\"([^\"]*)\">")).globalMatch(text))
        names.insert(m.captured(1));
    QStringList unresolved;
    for (const QRegularExpressionMatch &m :
         QRegularExpression(QStringLiteral("<a href=\"#([^\"]*)\">")).globalMatch(text)) {
        if (!names.contains(QUrl::fromPercentEncoding(m.captured(1).toUtf8())))
            unresolved << m.captured(1);
    }
    return unresolved;
}
