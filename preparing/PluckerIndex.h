#pragma once

#include "Status.h"

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

// Reads a rim file into `index` (emptied first). A missing or unreadable file leaves it empty and
// says why; a trailing partial entry is ignored.
Status loadPluckerIndex(const QString &rimPath, QVector<PluckerIndexEntry> &index);
