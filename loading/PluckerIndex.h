#pragma once

#include <QString>
#include <QVector>
#include <cstdint>

// One paragraph of a converted Plucker document: where record `recordId`'s paragraph
// `paragraph` starts in the converted text. The rim file beside the text holds these
// as 8 little-endian bytes each: id (2), paragraph (2), offset (4).
struct PluckerIndexEntry
{
    uint16_t recordId = 0;
    uint16_t paragraph = 0;
    uint32_t offset = 0;
};

// Reads a rim file. A missing or unreadable file gives an empty index; a trailing
// partial entry is ignored.
QVector<PluckerIndexEntry> loadPluckerIndex(const QString &rimPath);
