#include "MobiBook.h"

#include "BookOutput.h"
#include "CopyMeter.h"
#include "FileIo.h"
#include "HtmlEntities.h"
#include "HuffCdic.h"
#include "MobiHeader.h"
#include "MobiIndex.h"
#include "PalmDatabase.h"
#include "PalmDoc.h"

#include <QSet>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <sys/stat.h>

namespace {

constexpr uint64_t MaxRecord0 = 1 << 20;
constexpr uint64_t MaxRecordInput = 1 << 18;  // one compressed text, index or dictionary record
constexpr int MaxRecordOutput = 1 << 16;      // one text record decompressed
constexpr int MaxTagLength = 1 << 16;         // bytes of one tag in the text
constexpr uint64_t MaxReserved = 64 << 20;    // room kept for the text before it is read
constexpr qint64 MaxAssemblyWork = qint64(1) << 29;  // bytes moved while putting KF8 fragments in
const char ProtectedMessage[] = "This book is protected and cannot be opened.";

bool startsWithName(const char *p, const char *end, const char *name)
{
    const size_t n = std::strlen(name);
    if (size_t(end - p) < n || qstrnicmp(p, name, n) != 0)
        return false;
    return p + n == end || !(std::isalnum(uchar(p[n])) || p[n] == ':' || p[n] == '-');
}

// The value of attribute `name` in the tag text [p, end): quoted or not; empty when absent.
QByteArray attribute(const char *p, const char *end, const char *name)
{
    const size_t n = std::strlen(name);
    // p is the tag's "<": an attribute name starts after it, so q[-1] stays inside the tag.
    for (const char *q = p + 1; q + n < end; ++q) {
        if (qstrnicmp(q, name, n) != 0 || !(q[-1] == ' ' || q[-1] == '\t' || q[-1] == '\n' || q[-1] == '\r'))
            continue;
        const char *v = q + n;
        while (v < end && *v == ' ')
            ++v;
        if (v == end || *v != '=')
            continue;
        ++v;
        while (v < end && *v == ' ')
            ++v;
        if (v < end && (*v == '"' || *v == '\'')) {
            const char quote = *v++;
            const char *close = static_cast<const char *>(std::memchr(v, quote, size_t(end - v)));
            return QByteArray(v, (close ? close : end) - v);
        }
        const char *stop = v;
        while (stop < end && *stop != ' ' && *stop != '>' && *stop != '/' && *stop != '\t' && *stop != '\n')
            ++stop;
        return QByteArray(v, stop - v);
    }
    return QByteArray();
}

qint64 number(const QByteArray &digits, int base = 10)
{
    bool ok = false;
    const qint64 v = digits.toLongLong(&ok, base);
    return ok && v >= 0 ? v : -1;
}

class Converter
{
public:
    Converter(int sourceFd, uint64_t size, int outFd, CopyMeter &meter, BookInfo &info)
        : m_db(sourceFd, size), m_meter(meter), m_out(outFd, meter), m_info(info)
    {
    }
    Status run();

private:
    QByteArray record(uint32_t k) const;
    Status readPart(uint32_t base, MobiHeader &header);
    Status readText(uint32_t base, const MobiHeader &header, QByteArray &text);
    bool assembleKf8(uint32_t base, const MobiHeader &header, const QByteArray &text);
    void collectTargets();
    void readNcx(uint32_t base, const MobiHeader &header);
    void readGuide();
    Status writeHtml(const MobiHeader &header);
    bool writeBytes(const char *p, qsizetype n, bool utf8);
    void writeRun(const char *p, qsizetype n, bool utf8);
    void writeTag(const char *p, const char *end, bool utf8);
    void anchor(qint64 position);
    qint64 kindlePosition(const QByteArray &link) const;

    palm::Database m_db;
    CopyMeter &m_meter;
    BookOutput m_out;
    BookInfo &m_info;
    MobiHeader m_header;  // of the part shown

    QByteArray m_doc;  // the book's HTML as one text: MOBI text, or the assembled KF8 parts
    QVector<qint64> m_targets;  // positions in m_doc that links or contents lead to, sorted
    QHash<qint64, qint64> m_anchorAt;  // position in m_doc -> offset of its anchor in the copy
    QVector<qint64> m_fragmentAt;      // KF8: fragment number -> its position in m_doc
    struct Pending
    {
        QString title;
        int level;
        qint64 position;
    };
    QVector<Pending> m_contents;
    bool m_inFrame = true;  // between the frame's tags, before any word or element
    bool m_preformatted = false;
};

QByteArray Converter::record(uint32_t k) const
{
    std::vector<unsigned char> data;
    if (k > 0xFFFF || !m_db.read(k, data, MaxRecordInput))
        return QByteArray();
    return QByteArray(reinterpret_cast<const char *>(data.data()), qsizetype(data.size()));
}

Status Converter::readPart(uint32_t base, MobiHeader &header)
{
    std::vector<unsigned char> r0;
    if (!m_db.read(base, r0, MaxRecord0))
        return mobi::damaged("record " + std::to_string(base) + " lies outside the file or is too long");
    const Status parsed = mobi::parseHeader(QByteArray(reinterpret_cast<const char *>(r0.data()), qsizetype(r0.size())),
                                            header);
    if (!parsed.isOk())
        return parsed;
    if (header.encryption != 0)
        return Status::error(Status::Code::Protected, ProtectedMessage,
                             "encryption " + std::to_string(header.encryption));
    if (header.compression != MobiHeader::Stored && header.compression != MobiHeader::PalmDoc
        && header.compression != MobiHeader::HuffCdic)
        return Status::error(Status::Code::Unsupported,
                             "The book cannot be opened: its text is compressed in a way this reader does not know.",
                             "compression " + std::to_string(header.compression));
    return Status::ok();
}

Status Converter::readText(uint32_t base, const MobiHeader &header, QByteArray &text)
{
    // The text records follow record 0, up to the first record that is not text.
    uint64_t last = uint64_t(base) + header.textRecords;
    if (header.firstNonText != MobiHeader::None && header.firstNonText > 0)
        last = std::min<uint64_t>(last, uint64_t(base) + header.firstNonText - 1);
    if (last >= m_db.count())
        return mobi::damaged("the text records run past the end of the database");
    HuffCdic huff;
    if (header.compression == MobiHeader::HuffCdic) {
        QList<QByteArray> cdics;
        if (header.huffRecord > 0xFFFF || header.huffCount < 2 || header.huffCount > 256)
            return mobi::damaged("the Huffman dictionary's records are missing");
        for (uint32_t k = 1; k < header.huffCount; ++k)
            cdics.append(record(base + header.huffRecord + k));
        if (!huff.load(record(base + header.huffRecord), cdics))
            return mobi::damaged("the Huffman dictionary is damaged: " + huff.error().toStdString());
    }
    // The header's text length is only a hint for the room to keep.
    text.reserve(qsizetype(std::min<uint64_t>({header.textLength, m_meter.limit(), (last - base) * MaxRecordOutput,
                                               MaxReserved})));
    std::vector<unsigned char> plain(MaxRecordOutput);
    for (uint64_t k = base + 1; k <= last; ++k) {
        if (!m_meter.read(m_db.offset(unsigned(k))))
            return m_meter.stopStatus();
        std::vector<unsigned char> data;
        if (!m_db.read(unsigned(k), data, MaxRecordInput))
            return mobi::damaged("record " + std::to_string(k) + " lies outside the file or is too long");
        const QByteArray raw = QByteArray::fromRawData(reinterpret_cast<const char *>(data.data()), qsizetype(data.size()));
        const int length = mobi::textLength(raw, header.extraFlags);
        if (length < 0)
            return mobi::damaged("the trailing entries of record " + std::to_string(k) + " lie");
        if (header.compression == MobiHeader::Stored) {
            text.append(raw.constData(), std::min(length, MaxRecordOutput));
        } else if (header.compression == MobiHeader::PalmDoc) {
            bool bad = false;
            const unsigned produced = palm::palmDocDecompress(reinterpret_cast<const unsigned char *>(raw.constData()),
                                                              plain.data(), unsigned(length), MaxRecordOutput, &bad);
            if (bad)
                return mobi::damaged("record " + std::to_string(k) + " does not decompress");
            text.append(reinterpret_cast<const char *>(plain.data()), qsizetype(produced));
        } else if (!huff.decompress(raw.left(length), text, MaxRecordOutput)) {
            return mobi::damaged("record " + std::to_string(k) + " does not decompress: " + huff.error().toStdString());
        }
        // The copy holds at least the text: a text past the limit cannot be prepared.
        if (!m_meter.fits(uint64_t(text.size())))
            return m_meter.stopStatus();
    }
    return Status::ok();
}

// KF8: the flow table's first flow is the HTML; its skeletons, each with its fragments put in
// at their places, are the book's parts in order. False, with m_doc untouched, when a table is
// missing or does not fit the text.
bool Converter::assembleKf8(uint32_t base, const MobiHeader &header, const QByteArray &text)
{
    QByteArray flow = text;
    if (header.fdst != MobiHeader::None) {
        // FDST: "FDST", header length, flow count, then start and end of each flow.
        const QByteArray fdst = record(base + header.fdst);
        if (fdst.size() >= 20 && fdst.startsWith("FDST")) {
            const auto *u = reinterpret_cast<const unsigned char *>(fdst.constData());
            const uint32_t start = palm::be32(u + 12), end = palm::be32(u + 16);
            if (start <= end && end <= uint64_t(text.size()))
                flow = text.mid(start, end - start);
        }
    }
    if (header.skelIndex == MobiHeader::None || header.fragIndex == MobiHeader::None)
        return false;
    const mobi::RecordSource source = [this, base](uint32_t k) { return record(base + k); };
    mobi::Index skeletons, fragments;
    if (!mobi::readIndex(source, header.skelIndex, skeletons) || !mobi::readIndex(source, header.fragIndex, fragments)
        || skeletons.entries.isEmpty())
        return false;
    // A skeleton: fragment count (tag 1), start and length (tag 6). A fragment: its insert
    // position, as the key in decimal, and its length (tag 6, second value); the fragments
    // follow their skeleton in the flow.
    QByteArray doc;
    QVector<qint64> fragmentAt;
    qint64 moved = 0;
    int fragment = 0;
    for (const mobi::IndexEntry &skeleton : std::as_const(skeletons.entries)) {
        const uint32_t count = skeleton.value(1);
        const uint32_t start = skeleton.value(6, 0), length = skeleton.value(6, 1);
        if (count > uint64_t(fragments.entries.size() - fragment) || start > uint64_t(flow.size())
            || length > uint64_t(flow.size()) - start)
            return false;
        QByteArray part = flow.mid(start, length);
        qint64 next = qint64(start) + length;
        QVector<QPair<qint64, qint64>> placed;  // fragment number, position in the part
        for (uint32_t i = 0; i < count; ++i, ++fragment) {
            const mobi::IndexEntry &entry = fragments.entries[fragment];
            const qint64 insert = number(entry.key) - qint64(start);
            const uint32_t fragmentLength = entry.value(6, 1);
            if (insert < 0 || insert > part.size() || fragmentLength > uint64_t(flow.size() - next)
                || part.size() + qint64(fragmentLength) > qint64(m_meter.limit()))
                return false;
            // Each insertion moves the rest of the part: bounded, so a table of many fragments
            // in a huge part cannot keep the work going for long.
            moved += part.size() - insert + fragmentLength + placed.size();
            if (moved > MaxAssemblyWork)
                return false;
            part.insert(insert, flow.constData() + next, fragmentLength);
            for (auto &p : placed) {
                if (p.second >= insert)
                    p.second += fragmentLength;
            }
            placed.append({fragment, insert});
            next += fragmentLength;
        }
        if (doc.size() + part.size() > qint64(m_meter.limit()))
            return false;
        fragmentAt.resize(fragment);
        for (const auto &p : std::as_const(placed))
            fragmentAt[p.first] = doc.size() + p.second;
        doc.append(part);
    }
    m_doc = doc;
    m_fragmentAt = fragmentAt;
    m_info.chapters = int(skeletons.entries.size());
    return true;
}

// kindle:pos:fid:XXXX:off:YYYYYYYYYY, both numbers in base 32: a place in a fragment.
qint64 Converter::kindlePosition(const QByteArray &link) const
{
    const QByteArray prefix = "kindle:pos:fid:";
    if (!link.startsWith(prefix))
        return -1;
    const QList<QByteArray> parts = link.mid(prefix.size()).split(':');
    if (parts.size() < 3 || parts[1] != "off")
        return -1;
    const qint64 fragment = number(parts[0], 32), offset = number(parts[2], 32);
    if (fragment < 0 || fragment >= m_fragmentAt.size() || offset < 0)
        return -1;
    const qint64 at = m_fragmentAt[fragment] + offset;
    return at < m_doc.size() ? at : -1;
}

// Every place a link leads to gets an anchor: filepos links in MOBI text, kindle:pos links in KF8.
void Converter::collectTargets()
{
    QSet<qint64> targets;
    {
        for (qsizetype p = m_doc.indexOf("filepos"); p >= 0; p = m_doc.indexOf("filepos", p + 7)) {
            qsizetype v = p + 7;
            while (v < m_doc.size() && (m_doc[v] == '=' || m_doc[v] == '"' || m_doc[v] == '\'' || m_doc[v] == ' '))
                ++v;
            qsizetype e = v;
            while (e < m_doc.size() && e - v < 12 && std::isdigit(uchar(m_doc[e])))
                ++e;
            const qint64 target = number(m_doc.mid(v, e - v));
            if (target >= 0 && target < m_doc.size() && targets.size() < BookInfo::MaxEntries * 10)
                targets.insert(target);
        }
        if (!m_fragmentAt.isEmpty()) {
            for (qsizetype p = m_doc.indexOf("kindle:pos:"); p >= 0; p = m_doc.indexOf("kindle:pos:", p + 11)) {
                qsizetype e = p;
                while (e < m_doc.size() && e - p < 64 && m_doc[e] != '"' && m_doc[e] != '\'' && m_doc[e] != '#'
                       && m_doc[e] != '?' && m_doc[e] != '>')
                    ++e;
                const qint64 target = kindlePosition(m_doc.mid(p, e - p));
                if (target >= 0 && targets.size() < BookInfo::MaxEntries * 10)
                    targets.insert(target);
            }
        }
    }
    for (const Pending &entry : std::as_const(m_contents))
        targets.insert(entry.position);
    m_targets = QVector<qint64>(targets.cbegin(), targets.cend());
    std::sort(m_targets.begin(), m_targets.end());
}

// The NCX index: per entry its place (tag 1 in MOBI text, tag 6 fragment and offset in KF8),
// its label (tag 3, a CNCX string) and its depth (tag 4).
void Converter::readNcx(uint32_t base, const MobiHeader &header)
{
    if (header.ncxIndex == MobiHeader::None)
        return;
    mobi::Index ncx;
    if (!mobi::readIndex([this, base](uint32_t k) { return record(base + k); }, header.ncxIndex, ncx))
        return;
    // The depth, where given; else one more than the parent's (tag 21, an earlier entry).
    QVector<int> levels(ncx.entries.size(), 0);
    for (int k = 0; k < ncx.entries.size(); ++k) {
        const mobi::IndexEntry &entry = ncx.entries[k];
        const uint32_t depth = entry.value(4), parent = entry.value(21);
        if (depth != 0xFFFFFFFF && depth > 0)
            levels[k] = int(std::min<uint32_t>(depth, BookInfo::MaxLevel));
        else if (parent < uint32_t(k))
            levels[k] = std::min(levels[int(parent)] + 1, int(BookInfo::MaxLevel));
    }
    for (int k = 0; k < ncx.entries.size(); ++k) {
        const mobi::IndexEntry &entry = ncx.entries[k];
        qint64 position = -1;
        if (entry.tags.contains(6) && !m_fragmentAt.isEmpty()) {
            const uint32_t fragment = entry.value(6, 0), offset = entry.value(6, 1);
            if (fragment < uint32_t(m_fragmentAt.size()) && offset != 0xFFFFFFFF)
                position = m_fragmentAt[int(fragment)] + offset;
        } else if (entry.tags.contains(1)) {
            position = entry.value(1);
        }
        if (position < 0 || position >= m_doc.size() || m_contents.size() >= BookInfo::MaxEntries)
            continue;
        m_contents.append({header.decode(ncx.string(entry.value(3))), levels[k], position});
    }
}

// Without an NCX: the guide's "toc" reference leads to the book's own contents page, whose
// filepos links, up to the next page break, are the entries.
void Converter::readGuide()
{
    const qsizetype guide = m_doc.indexOf("<guide");
    const qsizetype guideEnd = guide < 0 ? -1 : m_doc.indexOf("</guide", guide);
    if (guideEnd < 0)
        return;
    qint64 tocAt = -1;
    for (qsizetype p = m_doc.indexOf("<reference", guide); p >= 0 && p < guideEnd; p = m_doc.indexOf("<reference", p + 1)) {
        const qsizetype end = m_doc.indexOf('>', p);
        if (end < 0)
            break;
        if (attribute(m_doc.constData() + p, m_doc.constData() + end, "type").toLower() == "toc") {
            tocAt = number(attribute(m_doc.constData() + p, m_doc.constData() + end, "filepos"));
            break;
        }
    }
    if (tocAt < 0 || tocAt >= m_doc.size())
        return;
    qsizetype stop = m_doc.indexOf("<mbp:pagebreak", tocAt + 1);
    if (stop < 0)
        stop = m_doc.size();
    for (qsizetype p = m_doc.indexOf("<a ", tocAt); p >= 0 && p < stop && m_contents.size() < BookInfo::MaxEntries;
         p = m_doc.indexOf("<a ", p + 1)) {
        const qsizetype end = m_doc.indexOf('>', p);
        const qsizetype close = end < 0 ? -1 : m_doc.indexOf("</a", end);
        if (close < 0)
            break;
        const qint64 target = number(attribute(m_doc.constData() + p, m_doc.constData() + end, "filepos"));
        if (target < 0 || target >= m_doc.size())
            continue;
        // The link's words, without their tags.
        QByteArray words;
        bool inTag = false;
        for (qsizetype i = end + 1; i < close && words.size() < BookInfo::MaxText * 4; ++i) {
            const char c = m_doc[i];
            if (c == '<')
                inTag = true;
            else if (c == '>')
                inTag = false;
            else if (!inTag)
                words += c;
        }
        m_contents.append({decodeHtmlReferences(m_header.decode(words)), 0, target});
    }
}

// Words of the book; white space between the frame's tags (the XML declaration, html, head,
// body) would only make empty lines.
void Converter::writeRun(const char *p, qsizetype n, bool utf8)
{
    if (m_inFrame) {
        qsizetype k = 0;
        while (k < n && (p[k] == ' ' || p[k] == '\n' || p[k] == '\r' || p[k] == '\t'))
            ++k;
        if (k == n)
            return;
        m_inFrame = false;
    }
    // Line feeds in the words are white space, as in a browser (but not in pre elements).
    if (m_preformatted || (!std::memchr(p, '\n', size_t(n)) && !std::memchr(p, '\r', size_t(n)))) {
        writeBytes(p, n, utf8);
        return;
    }
    QByteArray folded(p, n);
    folded.replace('\n', ' ').replace('\r', ' ');
    writeBytes(folded.constData(), folded.size(), utf8);
}

void Converter::anchor(qint64 position)
{
    if (m_anchorAt.contains(position))
        return;
    m_anchorAt.insert(position, m_out.offset());
    m_out.write("<a name=\"f" + QByteArray::number(position) + "\"></a>");
}

// Text of the book as UTF-8: as it is, or windows-1252 converted.
bool Converter::writeBytes(const char *p, qsizetype n, bool utf8)
{
    if (utf8)
        return m_out.write(p, size_t(n));
    const char *end = p + n;
    while (p < end) {
        const char *run = p;
        while (p < end && uchar(*p) < 0x80)
            ++p;
        if (p > run && !m_out.write(run, size_t(p - run)))
            return false;
        if (p < end) {
            const char *high = p;
            while (p < end && uchar(*p) >= 0x80)
                ++p;
            if (!m_out.write(m_header.decode(QByteArray::fromRawData(high, p - high)).toUtf8()))
                return false;
        }
    }
    return true;
}

// One tag of the book's text, [p, end) from "<" to ">": links and pictures rewritten, the page
// break a paragraph break, the book's own frame and mbp elements left out.
void Converter::writeTag(const char *p, const char *end, bool utf8)
{
    const char *name = p + 1;
    const bool closing = name < end && *name == '/';
    if (closing)
        ++name;
    if (startsWithName(name, end, "mbp:pagebreak")) {
        m_out.write("<p></p>");
        return;
    }
    if (startsWithName(name, end, "html") || startsWithName(name, end, "body") || (name < end && (*name == '?' || *name == '!'))) {
        m_inFrame = true;
        return;
    }
    if (end - name >= 4 && qstrnicmp(name, "mbp:", 4) == 0)
        return;
    m_inFrame = false;
    if (startsWithName(name, end, "pre"))
        m_preformatted = !closing;
    if (!closing && startsWithName(name, end, "img")) {
        const QByteArray alt = attribute(p, end, "alt");
        m_out.writeText(alt.isEmpty() ? QStringLiteral("[picture]")
                                      : QLatin1Char('[') + (utf8 ? QString::fromUtf8(alt) : m_header.decode(alt)) + QLatin1Char(']'));
        return;
    }
    if (!closing && startsWithName(name, end, "a")) {
        const QByteArray filepos = attribute(p, end, "filepos");
        const QByteArray href = attribute(p, end, "href");
        qint64 target = filepos.isEmpty() ? -1 : number(filepos);
        if (target < 0 && href.startsWith("kindle:pos:"))
            target = kindlePosition(href);
        if (target >= 0 && target < m_doc.size()) {
            m_out.write("<a href=\"#f" + QByteArray::number(target) + "\">");
            return;
        }
        if (!filepos.isEmpty() || href.startsWith("kindle:")) {
            m_out.write("<a>");
            return;
        }
    }
    writeBytes(p, end - p, utf8);
}

Status Converter::writeHtml(const MobiHeader &header)
{
    m_out.write("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>");
    m_out.writeText(m_info.title);
    m_out.write("</title></head><body>");
    const bool utf8 = header.utf8();
    const char *const doc = m_doc.constData();
    const qsizetype size = m_doc.size();
    int next = 0;  // the first target not yet anchored
    auto anchorsUpTo = [&](qsizetype position) {
        while (next < m_targets.size() && m_targets[next] <= position)
            anchor(m_targets[next++]);
    };
    qsizetype i = 0;
    while (i < size && m_out.status().isOk()) {
        const char *lt = static_cast<const char *>(std::memchr(doc + i, '<', size_t(size - i)));
        const qsizetype textEnd = lt ? lt - doc : size;
        // Text, with anchors put in where they fall (not inside a UTF-8 sequence).
        while (next < m_targets.size() && m_targets[next] < textEnd) {
            qsizetype at = std::max<qsizetype>(m_targets[next], i);
            while (utf8 && at < textEnd && (uchar(doc[at]) & 0xC0) == 0x80)
                ++at;
            writeRun(doc + i, at - i, utf8);
            i = at;
            anchorsUpTo(at);
        }
        writeRun(doc + i, textEnd - i, utf8);
        if (!lt)
            break;
        i = textEnd;
        anchorsUpTo(i);
        const qsizetype searchEnd = std::min<qsizetype>(size, i + MaxTagLength);
        const char *gt = static_cast<const char *>(std::memchr(doc + i, '>', size_t(searchEnd - i)));
        if (!gt) {  // not a tag: a "<" in the words
            m_out.write("&lt;");
            ++i;
            continue;
        }
        const qsizetype tagEnd = gt - doc + 1;
        if (startsWithName(doc + i + 1, gt, "head")) {
            // The book's head (its guide, styles) is not shown; places in it move past it.
            const qsizetype close = m_doc.indexOf("</head>", i);
            i = close < 0 ? tagEnd : close + 7;
            m_inFrame = true;
            continue;
        }
        writeTag(doc + i, doc + tagEnd, utf8);
        i = tagEnd;
        // A place inside a tag is anchored after it.
        anchorsUpTo(i - 1);
    }
    anchorsUpTo(size);
    m_out.write("</body></html>\n");
    m_out.flush();
    return m_out.status();
}

Status Converter::run()
{
    palm::Header palmHeader;
    if (!palm::readHeader(m_db.fd(), palmHeader) || !palmHeader.is("BOOKMOBI"))
        return Status::error(Status::Code::Unsupported, "The book cannot be opened: it is not a MOBI book.",
                             "no BOOKMOBI database header");
    if (!m_db.readRecordList(palmHeader))
        return mobi::damaged("the record list is cut short");
    if (m_db.count() < 2)
        return mobi::damaged("the database has no text records");

    Status status = readPart(0, m_header);
    if (!status.isOk())
        return status;
    // A combined file: the KF8 part starts after its boundary record; an AZW3 is KF8 throughout.
    uint32_t base = 0;
    if (m_header.version < 8 && m_header.kf8Boundary != MobiHeader::None && m_header.kf8Boundary < m_db.count()) {
        uint32_t kf8 = m_header.kf8Boundary;
        if (record(kf8).startsWith("BOUNDARY"))
            ++kf8;
        MobiHeader kf8Header;
        if (kf8 < m_db.count() && readPart(kf8, kf8Header).isOk() && kf8Header.version >= 8) {
            base = kf8;
            if (kf8Header.title.isEmpty())
                kf8Header.title = m_header.title;
            if (kf8Header.author.isEmpty())
                kf8Header.author = m_header.author;
            if (kf8Header.language.isEmpty())
                kf8Header.language = m_header.language;
            m_header = kf8Header;
        }
    }
    QByteArray text;
    status = readText(base, m_header, text);
    if (!status.isOk())
        return status;
    if (m_header.title.isEmpty()) {  // the database's own name, up to its first NUL
        const char *name = reinterpret_cast<const char *>(palmHeader.bytes);
        m_header.title = BookInfo::clean(m_header.decode(QByteArray(name, qsizetype(strnlen(name, 32)))));
    }
    m_info.title = m_header.title;
    m_info.author = m_header.author;
    m_info.language = m_header.language;
    m_info.chapters = 1;
    // KF8 parts assembled; without their tables, the text as it stands so the words still show.
    if (m_header.version < 8 || !assembleKf8(base, m_header, text))
        m_doc = text;
    text.clear();
    readNcx(base, m_header);
    if (m_contents.isEmpty())
        readGuide();
    collectTargets();
    status = writeHtml(m_header);
    if (!status.isOk())
        return status;
    // In the order of the text: a KF8 index lists the top level before the sections within it.
    std::stable_sort(m_contents.begin(), m_contents.end(),
                     [](const Pending &a, const Pending &b) { return a.position < b.position; });
    for (const Pending &entry : std::as_const(m_contents)) {
        if (m_anchorAt.contains(entry.position))
            m_info.addEntry(BookInfo::clean(entry.title), entry.level, m_anchorAt.value(entry.position));
    }
    return Status::ok();
}

} // namespace

bool MobiBook::looksLikeMobi(int fd)
{
    palm::Header header;
    return palm::readHeader(fd, header) && header.is("BOOKMOBI");
}

Status MobiBook::convert(int sourceFd, int outFd, CopyMeter &meter, BookInfo &info)
{
    info = BookInfo();
    struct stat st;
    if (::fstat(sourceFd, &st) != 0 || st.st_size < 0)
        return Status::error(Status::Code::Unreadable, "The book cannot be read.", std::strerror(errno));
    Converter converter(sourceFd, uint64_t(st.st_size), outFd, meter, info);
    const Status status = converter.run();
    if (!status.isOk())
        info = BookInfo();
    return status;
}
