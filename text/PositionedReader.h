#pragma once

#include "Status.h"

#include <QFile>
#include <QString>
#include <memory>
#include <vector>

class QTextCodec;
class QTextDecoder;

// Reads a document character by character and knows the byte offset of every character.
// Positions are byte offsets into the file. The file is read through a window of a few dozen
// kilobytes, so seeking inside the window costs nothing and a backward scan of single steps
// re-reads the file only once per window.
// Characters start at multiples of codeUnitBytes(); a scan that steps backwards steps by that.
class PositionedReader
{
public:
    enum class Mode {
        Utf8,     // UTF-8; a malformed sequence gives U+FFFD and moves on by one byte
        Utf16LE,  // UTF-16, low byte first: 2 bytes a character, 4 for a surrogate pair; a lone
        Utf16BE,  // surrogate gives U+FFFD and moves on by 2 bytes, an odd final byte by 1
        Bytes,    // every byte is the character of the same value (U+0000 to U+00FF)
        Codec     // a platform codec decodes the bytes
    };

    PositionedReader();
    ~PositionedReader();
    PositionedReader(const PositionedReader &) = delete;
    PositionedReader &operator=(const PositionedReader &) = delete;

    // Opens the regular file `path` for reading at position 0; the status says why it cannot be
    // opened (NotRegularFile for a folder, FIFO or device, which are never waited on).
    Status open(const QString &path);
    void close();
    bool isOpen() const { return m_file.isOpen(); }
    QString fileName() const { return m_path; }

    void setMode(Mode mode);
    // Switches to Codec mode with `codec`; a null codec falls back to Bytes mode.
    void setCodec(QTextCodec *codec);
    Mode mode() const { return m_mode; }
    // Bytes per code unit: 2 in the UTF-16 modes, else 1. Every character starts at a multiple of it.
    int codeUnitBytes() const { return m_mode == Mode::Utf16LE || m_mode == Mode::Utf16BE ? 2 : 1; }
    // Length of the byte-order mark of the current mode at the start of the file (3 for UTF-8,
    // 2 for UTF-16), 0 when there is none or in Bytes and Codec modes. The text starts there:
    // readers begin at bomLength() and never step back before it.
    qint64 bomLength() const;

    qint64 size() const { return m_size; }
    qint64 pos() const { return m_pos; }
    // Past the last byte, and past any character decoded together with the one before.
    bool atEnd() const { return m_pos >= m_size && !hasPendingHere(); }
    // Moves to `position`, clamped to [0, size()]. In the UTF-16 modes a position inside a code
    // unit moves back to the unit's first byte.
    void seek(qint64 position);

    // The next character (a Unicode scalar value); U+0000 at the end of the file. Each read moves
    // on, except in Codec mode when the codec gave out several characters for one byte: those
    // after the first come with no move, all ending at the same position.
    char32_t readChar()
    {
        if (m_pos >= m_windowStart && m_pos < m_windowEnd) {
            const unsigned char b = m_window[size_t(m_pos - m_windowStart)];
            if (b < m_directBelow) {
                ++m_pos;
                return b;
            }
        }
        return readCharSlow();
    }

    // The next raw byte, or -1 at the end of the file.
    int readByte()
    {
        if (m_pos >= m_windowStart && m_pos < m_windowEnd)
            return m_window[size_t(m_pos++ - m_windowStart)];
        return readByteSlow();
    }

    // Moves just past the next `byte` (or to the end of the file) without decoding what lies
    // between; true when the byte was found. Meant for an ASCII byte in UTF-8 or Bytes mode,
    // where it can never be part of a longer character (see canSkipBytes()).
    bool skipPast(unsigned char byte);
    bool canSkipBytes() const { return m_directBelow != 0; }

    // How many times the file itself was read; lets tests check that scans stay in the window.
    qint64 fileReads() const { return m_fileReads; }

private:
    bool hasPendingHere() const { return !m_pending.empty() && m_pendingEnd == m_pos; }
    char32_t readCharSlow();
    int readByteSlow();
    int byteAt(qint64 position);  // -1 past the end
    bool loadWindowAround(qint64 position);
    char32_t readUtf8();
    char32_t readUtf16();
    int unitAt(qint64 position);  // the UTF-16 code unit there, -1 when two bytes are not there
    char32_t readWithCodec();

    QFile m_file;
    QString m_path;
    unsigned char m_head[3] = {};  // the first bytes of the file, for bomLength()
    qint64 m_size = 0;
    qint64 m_pos = 0;
    std::vector<unsigned char> m_window;
    qint64 m_windowStart = 0;  // file offset of m_window[0]
    qint64 m_windowEnd = 0;    // one past the last byte held
    Mode m_mode = Mode::Bytes;
    // Bytes below this value are characters of the same value: 0x80 for UTF-8, 0x100 for Bytes,
    // else 0. One comparison on the hot path of readChar().
    unsigned m_directBelow = 0x100;
    QTextCodec *m_codec = nullptr;
    std::unique_ptr<QTextDecoder> m_decoder;
    qint64 m_decoderPos = -1;  // position the decoder's state belongs to
    std::vector<char32_t> m_pending;  // characters decoded ahead, all ending at m_pendingEnd
    qint64 m_pendingEnd = -1;
    qint64 m_fileReads = 0;
};
