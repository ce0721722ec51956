#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVector>

#include <cstdint>

// The Huffman and phrase dictionary compression of MOBI text records: a HUFF record holds the
// code tables, CDIC records hold the phrases the codes stand for; a phrase may itself be
// compressed with the same codes. Every phrase is expanded once and kept; expansion is bounded
// in depth, in the size of one phrase, in the total kept and in the output of one record.
class HuffCdic
{
public:
    static constexpr int MaxDepth = 32;
    static constexpr int MaxPhrase = 1 << 16;                 // bytes of one expanded phrase
    static constexpr qint64 MaxExpanded = qint64(64) << 20;   // bytes of all expanded phrases
    static constexpr int MaxPhrases = 1 << 20;

    // Reads the HUFF record and the CDIC records; false, with error() saying why, when they
    // are damaged.
    bool load(const QByteArray &huff, const QList<QByteArray> &cdics);
    // Appends the decompressed `record` to `out`, at most `maxOutput` bytes; false when the
    // record is damaged or would pass that.
    bool decompress(const QByteArray &record, QByteArray &out, int maxOutput);
    const QString &error() const { return m_error; }

private:
    struct Phrase
    {
        int offset = 0;  // into m_source: the stored bytes, or into m_expanded once expanded
        int length = 0;
        enum class State : uint8_t { Compressed, Expanding, Plain } state = State::Compressed;
        bool expanded = false;  // the bytes are in m_expanded, not m_source
    };
    bool unpack(const char *data, int size, QByteArray &out, int maxOutput, int depth);
    bool fail(const QString &why);

    uint32_t m_prefix[256] = {};  // per first byte: code length, terminal flag, max code
    uint64_t m_minCode[33] = {};
    uint64_t m_maxCode[33] = {};
    QByteArray m_source;    // the phrases as stored in the CDIC records
    QByteArray m_expanded;  // phrases that were compressed, expanded
    QVector<Phrase> m_phrases;
    QString m_error;
};
