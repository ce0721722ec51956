#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QVector>

#include <cstdint>
#include <functional>

// The indexes of a MOBI book (INDX records described by a TAGX table, with CNCX records for their
// strings): the NCX contents, and in KF8 the skeleton and fragment tables.
namespace mobi {

struct IndexEntry
{
    QByteArray key;
    QHash<int, QVector<uint32_t>> tags;  // tag -> its values
    uint32_t value(int tag, int i = 0) const
    {
        const auto it = tags.constFind(tag);
        return it != tags.cend() && i < it->size() ? it->at(i) : 0xFFFFFFFF;
    }
};

struct Index
{
    static constexpr int MaxEntries = 100000;
    QVector<IndexEntry> entries;
    QHash<uint32_t, QByteArray> cncx;  // strings by CNCX offset (record << 16 | offset)
    QByteArray string(uint32_t offset) const { return cncx.value(offset); }
};

// A record by its number in the book part; empty when it is missing or too large.
using RecordSource = std::function<QByteArray(uint32_t)>;

// Reads the index whose primary INDX record is `first`; false when it is damaged.
bool readIndex(const RecordSource &record, uint32_t first, Index &index);

} // namespace mobi
