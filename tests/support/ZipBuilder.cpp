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
