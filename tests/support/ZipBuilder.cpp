#include "ZipBuilder.h"

#include <QFile>
#include <QTemporaryDir>

#include <zip.h>
#include <zlib.h>

QByteArray zipArchive(const QList<ZipMember> &members, bool zip64)
{
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("archive.zip")));
    zipFile z = zipOpen64(path.constData(), APPEND_STATUS_CREATE);
    if (!z)
        qFatal("cannot make a zip in %s", path.constData());
    for (const ZipMember &m : members) {
        zip_fileinfo info{};
        info.external_fa = m.attributes;
        zipOpenNewFileInZip64(z, m.name.constData(), &info, nullptr, 0, nullptr, 0, nullptr,
                              m.deflated ? Z_DEFLATED : 0, m.deflated ? 6 : 0, zip64);
        zipWriteInFileInZip(z, m.data.constData(), unsigned(m.data.size()));
        zipCloseFileInZip(z);
    }
    zipClose(z, nullptr);
    QFile file(QFile::decodeName(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray gzipped(const QByteArray &data)
{
    z_stream s{};
    deflateInit2(&s, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY); // 16: a gzip header and trailer
    QByteArray out(int(deflateBound(&s, uLong(data.size()))), '\0');
    s.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    s.avail_in = uInt(data.size());
    s.next_out = reinterpret_cast<Bytef *>(out.data());
    s.avail_out = uInt(out.size());
    if (deflate(&s, Z_FINISH) != Z_STREAM_END)
        qFatal("cannot gzip %lld bytes", qlonglong(data.size()));
    deflateEnd(&s);
    return out.left(int(s.total_out));
}
