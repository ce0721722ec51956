#include "Fb2Book.h"

#include "BookOutput.h"
#include "CopyMeter.h"
#include "Fb2Copier.h"
#include "FileIo.h"
#include "ZipArchive.h"
#include "toUnicode.h"

#include <QStringDecoder>
#include <QXmlStreamReader>
#include <cerrno>
#include <cstring>

namespace {

constexpr uint64_t MaxBook = 256 * 1024 * 1024;  // the XML of one book, pictures included
constexpr size_t ChunkSize = 64 * 1024;
constexpr qsizetype MaxDeclaration = 1024;  // bytes looked at for the XML declaration
constexpr int EntityExpansionLimit = 1024;
const char TooLargeMessage[] = "The book is too large to be opened.";

// The built-in code page for an encoding name as XML declarations spell it ("windows-1251",
// "KOI8-R", "iso-8859-5"); empty for UTF-8, UTF-16, Latin-1 and names without a table.
QString codePageFor(const QByteArray &declared)
{
    QByteArray name = declared.toLower();
    name.replace('-', "").replace('_', "").replace(' ', "");
    if (name.startsWith("windows"))
        name = "cp" + name.mid(7);
    if (name == "koi8r")
        return QStringLiteral("KOI8-R");
    if (name == "koi8u")
        return QStringLiteral("KOI8-U");
    if (name == "pt154")
        return QStringLiteral("PT 154");
    if (name == "cp874" || (name.startsWith("cp125") && name.size() == 6))
        return QStringLiteral("CP ") + QString::fromLatin1(name.mid(2));
    if (name.startsWith("iso8859") && name != "iso88591") {
        const QString part = QString::fromLatin1(name.mid(7));
        return QStringLiteral("ISO 8859-") + part +
               (part == u"6" || part == u"8" ? QStringLiteral("-I") : QString());
    }
    return QString();
}

// The encoding an XML declaration at the start of `head` names; empty without one.
QByteArray declaredEncoding(const QByteArray &head)
{
    if (!head.startsWith("<?xml"))
        return QByteArray();
    const qsizetype end = head.indexOf("?>");
    const QByteArray declaration = head.left(end < 0 ? MaxDeclaration : end);
    const qsizetype key = declaration.indexOf("encoding");
    if (key < 0)
        return QByteArray();
    qsizetype at = declaration.indexOf('=', key);
    while (at >= 0 && ++at < declaration.size() && (declaration[at] == ' ' || declaration[at] == '\t')) {
    }
    if (at < 0 || at >= declaration.size() || (declaration[at] != '"' && declaration[at] != '\''))
        return QByteArray();
    const qsizetype close = declaration.indexOf(declaration[at], at + 1);
    return close < 0 ? QByteArray() : declaration.mid(at + 1, close - at - 1);
}

// The book's bytes with the content of every binary element left out, before the XML reader
// sees them: it would hold all of an element's text at once, and a picture is megabytes of
// base64. Works on the bytes of any encoding that writes ASCII as ASCII.
class BinarySkipper
{
public:
    // Appends what is kept of `data` to `kept`.
    void filter(const char *data, size_t size, QByteArray &kept)
    {
        size_t i = 0;
        while (i < size) {
            // Away from any tag the bytes go by in runs up to the next "<".
            if (m_state != State::Tag && m_matched == 0) {
                const void *lt = std::memchr(data + i, '<', size - i);
                const size_t end = lt ? size_t(static_cast<const char *>(lt) - data) : size;
                if (m_state == State::Text)
                    kept.append(data + i, qsizetype(end - i));
                i = end;
                if (i == size)
                    break;
            }
            step(data[i++], kept);
        }
    }

private:
    void step(char c, QByteArray &kept)
    {
        static const char open[] = "<binary";
        static const char close[] = "</binary";
        switch (m_state) {
        case State::Text:
            kept += c;
            if (m_matched == sizeof(open) - 1) {
                m_matched = 0;
                if (c == '>' || c == '/' || c == ' ' || c == '\t' || c == '\n' || c == '\r') {
                    m_slash = c == '/';
                    m_state = c == '>' ? State::Content : State::Tag;
                    return;
                }
            }
            m_matched = c == open[m_matched] ? m_matched + 1 : c == open[0] ? 1 : 0;
            return;
        case State::Tag:
            kept += c;
            if (m_quote) {
                m_quote = c == m_quote ? 0 : m_quote;
            } else if (c == '"' || c == '\'') {
                m_quote = c;
            } else if (c == '>') {
                m_state = m_slash ? State::Text : State::Content;
            } else if (c != ' ' && c != '\t' && c != '\n' && c != '\r') {
                m_slash = c == '/';
            }
            return;
        case State::Content:
            // The content is base64: its own "<" can only start the end tag.
            m_matched = c == close[m_matched] ? m_matched + 1 : c == close[0] ? 1 : 0;
            if (m_matched == sizeof(close) - 1) {
                kept += close;
                m_matched = 0;
                m_state = State::Text;
            }
            return;
        }
    }

    enum class State { Text, Tag, Content };
    State m_state = State::Text;
    size_t m_matched = 0;  // characters of "<binary" or "</binary" just seen
    char m_quote = 0;
    bool m_slash = false;  // the tag's last character so far was "/"
};

// The book's bytes parsed as they come. A declared 8-bit code page that the reader has a table
// for is decoded here, the same on every machine; everything else is left to the XML reader.
class Fb2Parser
{
public:
    explicit Fb2Parser(BookOutput &out) : m_copier(out)
    {
        m_xml.setNamespaceProcessing(true);
        m_xml.setEntityExpansionLimit(EntityExpansionLimit);
    }

    // False once the reading cannot go on: broken XML, no book, or a failed write.
    bool feed(const char *data, size_t size)
    {
        if (m_stopped)
            return false;
        if (!m_started) {
            m_head.append(data, qsizetype(size));
            if (m_head.size() < MaxDeclaration && !m_head.contains("?>"))
                return true;
            return start();
        }
        add(data, size);
        return drain();
    }

    Status finish(const BookOutput &out)
    {
        if (!m_started && !m_stopped)
            start();
        if (!out.status().isOk())
            return out.status();
        if (!m_copier.status().isOk())
            return m_copier.status();
        if (!m_unknownEncoding.isEmpty())
            return Status::error(
                Status::Code::Unsupported,
                "The book cannot be opened: it is written in an encoding this reader does not know (" +
                    m_unknownEncoding.left(40).toStdString() + ").");
        if (m_xml.hasError() && m_xml.error() != QXmlStreamReader::PrematureEndOfDocumentError)
            return Status::error(Status::Code::Damaged,
                                 QStringLiteral("The book is damaged: its XML breaks at line %1, column %2.")
                                     .arg(m_xml.lineNumber())
                                     .arg(m_xml.columnNumber())
                                     .toStdString(),
                                 m_xml.errorString().toStdString());
        if (m_xml.tokenType() != QXmlStreamReader::EndDocument)
            return Status::error(Status::Code::Damaged, "The book is damaged: it ends before its text does.",
                                 "the XML stops at line " + std::to_string(m_xml.lineNumber()));
        return m_copier.finish();
    }

    const BookInfo &info() const { return m_copier.info(); }

private:
    bool start()
    {
        m_started = true;
        const QByteArray declared = declaredEncoding(m_head);
        const QString codePage = codePageFor(declared);
        if (!codePage.isEmpty()) {
            m_codePage.setCodec(codePage);
        } else if (!declared.isEmpty() && !QStringDecoder(declared.constData()).isValid()) {
            m_unknownEncoding = declared;
            m_stopped = true;
            return false;
        }
        const QByteArray head = std::move(m_head);
        add(head.constData(), size_t(head.size()));
        return drain();
    }

    void add(const char *data, size_t size)
    {
        QByteArray kept;
        kept.reserve(qsizetype(size));
        m_binaries.filter(data, size, kept);
        if (m_codePage.index() < 0) {
            m_xml.addData(kept);
            return;
        }
        QString text(kept.size(), Qt::Uninitialized);
        QChar *to = text.data();
        for (qsizetype i = 0; i < kept.size(); ++i) {
            const auto byte = static_cast<unsigned char>(kept[i]);
            to[i] = byte < 0x80 ? QChar(byte) : m_codePage.getQChar(byte);
        }
        m_xml.addData(text);  // as text, the declaration's encoding is not applied again
    }

    bool drain()
    {
        if (m_xml.tokenType() == QXmlStreamReader::EndDocument)
            return true;  // what follows the document is no part of the book
        for (;;) {
            m_xml.readNext();
            if (m_xml.hasError()) {
                m_stopped = m_xml.error() != QXmlStreamReader::PrematureEndOfDocumentError;
                return !m_stopped;
            }
            if (m_xml.tokenType() == QXmlStreamReader::EndDocument)
                return true;
            if (!m_copier.token(m_xml)) {
                m_stopped = true;
                return false;
            }
        }
    }

    QXmlStreamReader m_xml;
    Fb2Copier m_copier;
    toUnicode m_codePage;
    BinarySkipper m_binaries;
    QByteArray m_head;             // the start, until the declaration is whole
    QByteArray m_unknownEncoding;  // declared, and neither a table here nor the system knows it
    bool m_started = false;
    bool m_stopped = false;
};

Status tooLarge(uint64_t size)
{
    return Status::error(Status::Code::TooLarge, TooLargeMessage,
                         "the book is " + readableSize(size) + ", more than " + readableSize(MaxBook));
}

Status readPlain(int sourceFd, CopyMeter &meter, const std::function<bool(const char *, size_t)> &sink)
{
    std::vector<char> buffer(ChunkSize);
    uint64_t offset = 0;
    for (;;) {
        const ssize_t n = fileio::readAt(sourceFd, offset, buffer.data(), buffer.size());
        if (n < 0)
            return Status::error(Status::Code::Unreadable, "The book cannot be read.", std::strerror(errno));
        if (n == 0)
            return Status::ok();
        offset += uint64_t(n);
        if (offset > MaxBook)
            return tooLarge(offset);
        if (!sink(buffer.data(), size_t(n)) || !meter.read(offset))
            return Status::error(Status::Code::Cancelled, "stopped");
    }
}

Status readZipped(int sourceFd, CopyMeter &meter, const std::function<bool(const char *, size_t)> &sink)
{
    ZipArchive zip(sourceFd);
    const Status opened = zip.open();
    if (!opened.isOk())
        return Status::error(opened.code(), "The book cannot be opened: it is not a readable zip file.",
                             opened.detail());
    const int index = zip.firstFile();
    if (index < 0)
        return Status::error(Status::Code::Damaged, "The book cannot be opened: its zip file holds no book.");
    const Status read = zip.read(
        index, [&](const char *data, size_t size) { return sink(data, size) && meter.read(zip.bytesRead()); },
        MaxBook);
    switch (read.code()) {
    case Status::Code::Ok:
    case Status::Code::Cancelled:
        return read;
    case Status::Code::TooLarge:
        return tooLarge(zip.entries()[size_t(index)].size);
    case Status::Code::Protected:
        return Status::error(Status::Code::Protected, "This book is protected and cannot be opened.",
                             read.detail());
    default:
        return Status::error(Status::Code::Damaged, "The book is damaged: its zip file cannot be unpacked.",
                             read.detail());
    }
}

} // namespace

Status Fb2Book::convert(int sourceFd, bool zipped, int outFd, CopyMeter &meter, BookInfo &info)
{
    info = BookInfo();
    BookOutput out(outFd, meter);
    Fb2Parser parser(out);
    const auto sink = [&parser](const char *data, size_t size) { return parser.feed(data, size); };
    const Status read = zipped ? readZipped(sourceFd, meter, sink) : readPlain(sourceFd, meter, sink);
    if (read.code() == Status::Code::Cancelled && meter.stopped())
        return meter.stopStatus();
    if (!read.isOk() && read.code() != Status::Code::Cancelled)
        return read;
    // Stopped by the parser, or read to the end: the parser knows why.
    const Status parsed = parser.finish(out);
    if (!parsed.isOk())
        return parsed;
    info = parser.info();
    return Status::ok();
}
