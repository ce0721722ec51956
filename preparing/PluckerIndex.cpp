#include "PluckerIndex.h"

#include <QFile>

Status loadPluckerIndex(const QString &rimPath, QVector<PluckerIndexEntry> &index)
{
    index.clear();
    QFile file(rimPath);
    if (rimPath.isEmpty() || !file.open(QIODevice::ReadOnly))
        return Status::error(Status::Code::Unreadable, "the paragraph index cannot be read",
                             file.errorString().toStdString());
    const QByteArray bytes = file.readAll();
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
    const qsizetype count = bytes.size() / 8;
    index.reserve(count);
    for (qsizetype i = 0; i < count; ++i, p += 8) {
        PluckerIndexEntry e;
        e.recordId = uint16_t(p[0] | p[1] << 8);
        e.paragraph = uint16_t(p[2] | p[3] << 8);
        e.offset = uint32_t(p[4]) | uint32_t(p[5]) << 8 | uint32_t(p[6]) << 16 | uint32_t(p[7]) << 24;
        index.append(e);
    }
    return Status::ok();
}
