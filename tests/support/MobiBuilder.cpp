#include "MobiBuilder.h"

#include "PalmBuilder.h"

#include <QHash>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <queue>
#include <tuple>

namespace MobiBuilder {

namespace {

void putBe32(QByteArray &out, uint32_t v)
{
    PalmBuilder::putBe16(out, v >> 16);
    PalmBuilder::putBe16(out, v & 0xFFFF);
}
void setBe32(QByteArray &out, int at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out[at + i] = char(v >> (24 - 8 * i));
}

// 7 bits a byte, most significant first, the top bit on the last byte.
QByteArray forwardNumber(uint32_t v)
{
    QByteArray out;
    out.prepend(char(0x80 | (v & 0x7F)));
    for (v >>= 7; v; v >>= 7)
        out.prepend(char(v & 0x7F));
    return out;
}

QList<QByteArray> splitText(const QByteArray &text, int recordSize)
{
    QList<QByteArray> parts;
    for (int at = 0; at < text.size(); at += recordSize)
        parts.append(text.mid(at, recordSize));
    return parts;
}

// The trailing entries: the multibyte overlap (the bytes of a UTF-8 sequence cut by the record's
// end, taken from the next record), then one size entry per flag bit, the first bit innermost.
QByteArray trailing(uint32_t flags, const QByteArray &text, const QByteArray &next)
{
    QByteArray out;
    if (flags & 1) {
        int overlap = 0;
        // A lead byte near the end whose sequence runs on into the next record.
        for (int back = 1; back <= 3 && back <= text.size(); ++back) {
            const uchar c = uchar(text[text.size() - back]);
            if ((c & 0xC0) == 0xC0) {
                const int length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
                overlap = std::max(0, std::min<int>(length - back, int(next.size())));
                break;
            }
            if ((c & 0xC0) != 0x80)
                break;
        }
        out += next.left(overlap);
        out += char(overlap);
    }
    for (int bit = 1; bit < 16; ++bit) {
        if (flags & (1u << bit)) {
            // Sizes below 128: one byte, read from the end, its top bit set.
            const QByteArray data = QByteArray("entry").left(bit % 5 + 1);
            out += data + char(0x80 | (data.size() + 1));
        }
    }
    return out;
}

} // namespace

int Book::firstMoreRecord() const
{
    const int textRecords = int((text.size() + recordSize - 1) / recordSize);
    if (compression != 17480)
        return 1 + textRecords;
    return 1 + textRecords + 1 + int(huffCdicCompress(splitText(text, recordSize)).cdics.size());
}

static QByteArray record0(const Book &book, uint32_t textLength, unsigned textRecords, uint32_t huffRecord,
                          uint32_t huffCount, uint32_t firstNonText)
{
    const uint32_t headerLength = 264;
    QByteArray r;
    PalmBuilder::putBe16(r, book.compression);
    PalmBuilder::putBe16(r, 0);
    putBe32(r, book.textLengthOverride != None ? book.textLengthOverride : textLength);
    PalmBuilder::putBe16(r, book.textRecordsOverride != None ? book.textRecordsOverride : textRecords);
    PalmBuilder::putBe16(r, unsigned(book.recordSize));
    PalmBuilder::putBe16(r, book.encryption);
    PalmBuilder::putBe16(r, 0);
    r.append("MOBI");
    putBe32(r, book.headerLengthOverride != None ? book.headerLengthOverride : headerLength);
    r.append(QByteArray(int(headerLength) - 8, '\xFF'));
    setBe32(r, 24, 2);  // a book
    setBe32(r, 28, book.encoding);
    setBe32(r, 32, 12345);
    setBe32(r, 36, 6);  // the version before KF8
    setBe32(r, 80, book.firstNonTextOverride != None ? book.firstNonTextOverride : firstNonText);
    setBe32(r, 92, 9);
    setBe32(r, 112, huffRecord);
    setBe32(r, 116, huffCount);
    setBe32(r, 128, book.exth.isEmpty() ? 0 : 0x40);
    setBe32(r, 192, 1 << 16 | textRecords);
    setBe32(r, 240, book.extraFlags);
    setBe32(r, 244, book.ncxIndex);
    if (!book.exth.isEmpty()) {
        QByteArray exth;
        for (const auto &[type, data] : book.exth) {
            putBe32(exth, type);
            putBe32(exth, uint32_t(data.size() + 8));
            exth += data;
        }
        QByteArray head("EXTH");
        putBe32(head, uint32_t(exth.size() + 12));
        putBe32(head, uint32_t(book.exth.size()));
        r += head + exth;
        while (r.size() % 4)
            r += '\0';
    }
    setBe32(r, 84, uint32_t(r.size()));
    setBe32(r, 88, uint32_t(book.fullName.size()));
    r += book.fullName;
    r += QByteArray(2, '\0');
    return r;
}

QList<QByteArray> records(const Book &book)
{
    const QList<QByteArray> parts = splitText(book.text, book.recordSize);
    QList<QByteArray> texts;
    HuffCdicEncoded huff;
    if (book.compression == 17480)
        huff = huffCdicCompress(parts);
    for (int k = 0; k < parts.size(); ++k) {
        // Any other compression: the text stored, under a header that says otherwise.
        const QByteArray packed = book.compression == 2       ? PalmBuilder::palmDocCompress(parts[k])
                                  : book.compression == 17480 ? huff.records[k]
                                                              : parts[k];
        texts.append(packed + trailing(book.extraFlags, parts[k], k + 1 < parts.size() ? parts[k + 1] : QByteArray()));
    }
    const uint32_t textRecords = uint32_t(texts.size());
    const uint32_t huffRecord = book.compression == 17480 ? 1 + textRecords : None;
    QList<QByteArray> all{record0(book, uint32_t(book.text.size()), textRecords, huffRecord,
                                  book.compression == 17480 ? uint32_t(1 + huff.cdics.size()) : 0,
                                  uint32_t(book.firstMoreRecord()))};
    all += texts;
    if (book.compression == 17480) {
        all.append(huff.huff);
        all += huff.cdics;
    }
    all += book.moreRecords;
    return all;
}

QByteArray build(const Book &book) { return PalmBuilder::database("BOOKMOBI", records(book)); }

HuffCdicEncoded huffCdicCompress(const QList<QByteArray> &input)
{
    // The phrases: every byte, then the 3000 most frequent words with their following space, then
    // pairs of the 200 most frequent of those, to be stored compressed.
    QList<QByteArray> phrases;
    for (int b = 0; b < 256; ++b)
        phrases.append(QByteArray(1, char(b)));
    QHash<QByteArray, int> wordCounts;
    for (const QByteArray &record : input) {
        for (const QByteArray &word : record.split(' ')) {
            if (word.size() >= 3 && word.size() < 40)
                ++wordCounts[word + ' '];
        }
    }
    QList<QPair<int, QByteArray>> ranked;
    for (auto it = wordCounts.cbegin(); it != wordCounts.cend(); ++it)
        ranked.append({-it.value(), it.key()});
    std::sort(ranked.begin(), ranked.end());
    const int words = std::min<int>(3000, int(ranked.size()));
    for (int i = 0; i < words; ++i)
        phrases.append(ranked[i].second);
    const int plainCount = int(phrases.size());
    for (int i = 0; i + 1 < std::min(words, 200); i += 2)
        phrases.append(ranked[i].second + ranked[i + 1].second);

    // Greedy longest match over a map from first byte to the phrases starting with it.
    QHash<char, QList<int>> byFirst;
    for (int i = int(phrases.size()) - 1; i >= 0; --i)
        byFirst[phrases[i][0]].append(i);
    for (QList<int> &list : byFirst)
        std::stable_sort(list.begin(), list.end(), [&](int a, int b) { return phrases[a].size() > phrases[b].size(); });
    auto tokens = [&](const QByteArray &text, int usable) {
        QList<int> out;
        for (int at = 0; at < text.size();) {
            const auto candidates = byFirst.constFind(text[at]);
            for (const int i : *candidates) {
                const QByteArray &phrase = phrases[i];
                if (i < usable && text.size() - at >= phrase.size()
                    && std::memcmp(text.constData() + at, phrase.constData(), size_t(phrase.size())) == 0) {
                    out.append(i);
                    at += int(phrases[i].size());
                    break;
                }
            }
        }
        return out;
    };
    QList<QList<int>> recordTokens, phraseTokens;
    QVector<quint64> counts(phrases.size(), 1);
    for (const QByteArray &record : input) {
        recordTokens.append(tokens(record, int(phrases.size())));
        for (const int t : std::as_const(recordTokens.last()))
            ++counts[t];
    }
    for (int i = plainCount; i < phrases.size(); ++i) {
        phraseTokens.append(tokens(phrases[i], plainCount));
        for (const int t : std::as_const(phraseTokens.last()))
            ++counts[t];
    }

    // Huffman code lengths, flattened until none passes 24 bits.
    const int n = int(phrases.size());
    QVector<int> lengths(n);
    for (;;) {
        using Node = std::pair<quint64, int>;
        std::priority_queue<Node, std::vector<Node>, std::greater<Node>> queue;
        QVector<int> parent(2 * n, -1);
        for (int i = 0; i < n; ++i)
            queue.push({counts[i], i});
        int next = n;
        while (queue.size() > 1) {
            const Node a = queue.top();
            queue.pop();
            const Node b = queue.top();
            queue.pop();
            parent[a.second] = parent[b.second] = next;
            queue.push({a.first + b.first, next++});
        }
        int longest = 0;
        for (int i = 0; i < n; ++i) {
            int depth = 0;
            for (int p = parent[i]; p >= 0; p = parent[p])
                ++depth;
            lengths[i] = depth;
            longest = std::max(longest, depth);
        }
        if (longest <= 24)
            break;
        for (quint64 &c : counts)
            c = c / 2 + 1;
    }

    // The dictionary in order of code length; codes of one length are consecutive and count
    // down as the dictionary index goes up; longer codes take the lower values.
    QVector<int> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return lengths[a] < lengths[b]; });
    QVector<int> slot(n);
    for (int k = 0; k < n; ++k)
        slot[order[k]] = k;
    uint32_t low[33] = {}, high[33] = {}, count[33] = {}, first[33] = {};
    for (int k = n - 1; k >= 0; --k) {
        ++count[lengths[order[k]]];
        first[lengths[order[k]]] = uint32_t(k);
    }
    uint32_t code = 0;
    for (int length = 32; length >= 1; --length) {
        low[length] = code;
        high[length] = code + count[length] - 1 + first[length];
        code = (code + count[length] + 1) >> 1;
    }
    QVector<uint32_t> codeOf(n);
    for (int i = 0; i < n; ++i)
        codeOf[i] = high[lengths[i]] - uint32_t(slot[i]);

    auto encode = [&](const QList<int> &symbols) {
        QByteArray out;
        quint64 bits = 0;
        int filled = 0;
        for (const int s : symbols) {
            bits = bits << lengths[s] | codeOf[s];
            filled += lengths[s];
            while (filled >= 8) {
                out += char(bits >> (filled - 8));
                filled -= 8;
            }
        }
        if (filled)
            out += char(bits << (8 - filled));
        return out;
    };

    HuffCdicEncoded result;
    QByteArray &huff = result.huff;
    huff = "HUFF";
    for (const uint32_t v : {24u, 24u, 24u + 1024, 0u, 0u})  // header length, table offsets, unused
        putBe32(huff, v);
    for (int prefix = 0; prefix < 256; ++prefix) {
        uint32_t entry = 9;  // longer than a byte: search from 9 bits on
        for (int length = 1; length <= 8; ++length) {
            const uint32_t c = uint32_t(prefix) >> (8 - length);
            if (count[length] && c >= low[length] && c < low[length] + count[length]) {
                entry = uint32_t(length) | 0x80 | high[length] << 8;
                break;
            }
        }
        putBe32(huff, entry);
    }
    for (int length = 1; length <= 32; ++length) {
        putBe32(huff, low[length]);
        putBe32(huff, high[length]);
    }

    const int bits = 8;
    for (int start = 0; start < n; start += 1 << bits) {
        const int here = std::min(n - start, 1 << bits);
        QByteArray offsets, body;
        for (int k = start; k < start + here; ++k) {
            const int i = order[k];
            const bool plain = i < plainCount;
            const QByteArray data = plain ? phrases[i] : encode(phraseTokens[i - plainCount]);
            PalmBuilder::putBe16(offsets, unsigned(2 * here + body.size()));
            PalmBuilder::putBe16(body, (plain ? 0x8000u : 0u) | unsigned(data.size()));
            body += data;
        }
        QByteArray cdic("CDIC");
        putBe32(cdic, 16);
        putBe32(cdic, uint32_t(n));
        putBe32(cdic, bits);
        result.cdics.append(cdic + offsets + body);
    }
    for (const QList<int> &symbols : std::as_const(recordTokens))
        result.records.append(encode(symbols));
    return result;
}

QList<QByteArray> ncxIndex(const QList<std::tuple<QByteArray, uint32_t, uint32_t>> &entries)
{
    // Tags 1 (filepos), 2, 3 (the label's offset in the CNCX) and 4 (depth), one value each; one
    // control byte, tag n's mask in bit n - 1. Every entry has tags 1, 3 and 4.
    QByteArray tagx("TAGX");
    putBe32(tagx, 12 + 4 * 5);
    putBe32(tagx, 1);
    for (int tag = 1; tag <= 4; ++tag)
        tagx += char(tag) + QByteArray(1, '\1') + char(1 << (tag - 1)) + '\0';
    tagx += QByteArray("\0\0\0\1", 4);

    QByteArray primary("INDX");
    putBe32(primary, 192);
    primary.append(QByteArray(184, '\0'));
    setBe32(primary, 24, 1);
    setBe32(primary, 36, uint32_t(entries.size()));
    setBe32(primary, 52, 1);  // one CNCX record
    primary += tagx;

    QByteArray data("INDX"), cncx;
    putBe32(data, 192);
    data.append(QByteArray(184, '\0'));
    QList<int> starts;
    for (const auto &[label, filepos, depth] : entries) {
        const uint32_t labelAt = uint32_t(cncx.size());
        cncx += forwardNumber(uint32_t(label.size())) + label;
        const QByteArray key = QByteArray::number(starts.size()).rightJustified(3, '0');
        starts.append(int(data.size()));
        data += char(key.size()) + key + char(0b1101);
        data += forwardNumber(filepos) + forwardNumber(labelAt) + forwardNumber(depth);
    }
    while (data.size() % 4)
        data += '\0';
    setBe32(data, 20, uint32_t(data.size()));
    setBe32(data, 24, uint32_t(entries.size()));
    data += "IDXT";
    for (const int s : starts)
        PalmBuilder::putBe16(data, unsigned(s));
    return {primary, data, cncx};
}

} // namespace MobiBuilder
