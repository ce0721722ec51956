#pragma once

#include "Status.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

// Record 0 of a MOBI book (or of the KF8 part of a combined file): the PalmDoc header, the MOBI
// header and the EXTH metadata. Fields past the header's own length keep their defaults.
struct MobiHeader
{
    static constexpr uint32_t None = 0xFFFFFFFF;
    enum Compression { Stored = 1, PalmDoc = 2, HuffCdic = 17480 };

    unsigned compression = 0;
    uint32_t textLength = 0;
    unsigned textRecords = 0;
    unsigned encryption = 0;
    uint32_t headerLength = 0;
    uint32_t encoding = 1252;
    uint32_t version = 0;
    uint32_t firstNonText = None;
    uint32_t huffRecord = None;
    uint32_t huffCount = 0;
    uint32_t extraFlags = 0;
    uint32_t ncxIndex = None;
    // KF8 only: the flow table, fragment and skeleton indexes.
    uint32_t fdst = None;
    uint32_t fragIndex = None;
    uint32_t skelIndex = None;
    uint32_t kf8Boundary = None;  // EXTH 121: where the KF8 part of a combined file starts

    QString title;  // EXTH 503, else the full name
    QString author;
    QString language;

    bool utf8() const { return encoding == 65001; }
    QString decode(const QByteArray &bytes) const;
};

namespace mobi {

// Reads record 0. Fails on a header too short for its fields or a MOBI header that is missing
// or lies; damaged EXTH metadata is left out past the damage, the book still opens.
Status parseHeader(const QByteArray &record0, MobiHeader &header);

// The length of `record` without the trailing entries that `extraFlags` announce: one size entry
// per flag bit above the first, then, for the first bit, the multibyte overlap. -1 when the
// entries claim more than the record holds.
int textLength(const QByteArray &record, uint32_t extraFlags);

Status damaged(const std::string &detail);

} // namespace mobi
