#pragma once
// Real zip archives made with minizip's writer, and gzip streams made with zlib, for tests and
// benchmarks: zip members in order, each stored or deflated, optionally with zip64 local headers.
#include <QByteArray>
#include <QList>

struct ZipMember
{
    QByteArray name;
    QByteArray data;
    bool deflated = true;
    unsigned long attributes = 0;  // external attributes (a folder's, say)
};

// The archive's bytes; made in a temporary file that is gone again on return.
QByteArray zipArchive(const QList<ZipMember> &members, bool zip64 = false);

// One gzip stream of `data`, as a .gz file holds it.
QByteArray gzipped(const QByteArray &data);
