#include "Document.h"

#include "EncodingDetector.h"
#include "HtmlEntities.h"
#include "SourcePreparer.h"

#include <QFile>
#include <QFileInfo>
#include <QTextCodec>

namespace {

constexpr qint64 SniffBytes = 1024;
constexpr qint64 TitleReach = 64 * 1024;
constexpr int MaxTitleLength = 256;

bool htmlByName(const QString &fileName)
{
    const QString extension = QFileInfo(fileName).suffix().toLower();
    return extension == QLatin1String("html") || extension == QLatin1String("htm")
        || extension == QLatin1String("xhtml") || extension == QLatin1String("xht");
}

// An HTML document by its first kilobyte: after a byte-order mark and white space it starts with
// "<!DOCTYPE html", "<html", or an XML declaration followed by an html element.
bool htmlByContent(QByteArray head)
{
    if (head.startsWith("\xEF\xBB\xBF")) {
        head.remove(0, 3);
    } else if (head.startsWith("\xFF\xFE") || head.startsWith("\xFE\xFF")) {
        // UTF-16: markup is ASCII, so its characters are the bytes that are not zero.
        head.remove(0, 2);
        head.replace('\0', QByteArray());
    }
    head = head.trimmed().toLower();
    return head.startsWith("<!doctype html") || head.startsWith("<html")
        || (head.startsWith("<?xml") && head.contains("<html"));
}

} // namespace

Document::Document() : m_preparer(std::make_unique<SourcePreparer>()) {}

// A prepared copy outlives the reader on purpose: the next start reopens the same document and
// the preparer reuses the copy when its source is unchanged.
Document::~Document() = default;

void Document::close(const QString &kept)
{
    if (!m_open)
        return;
    const QString readPath = m_reader.fileName();
    m_reader.close();
    m_open = false;
    // Only copies the reader made itself are deleted, never a document the user opened.
    if (readPath != kept)
        m_preparer->release(readPath);
}

bool Document::needsPreparing(const QString &path)
{
    return SourcePreparer::kindOf(path) != SourcePreparer::Kind::Plain;
}

SourcePreparer::Result Document::prepare(const QString &path, const PrepareProgress &progress)
{
    return m_preparer->prepare(path, progress);
}

void Document::setLargestCopy(quint64 bytes)
{
    m_preparer->setMaxCopySize(bytes);
}

Status Document::open(const QString &path, const SourcePreparer::Result *preparedHere)
{
    SourcePreparer::Result preparedNow;
    if (!preparedHere && needsPreparing(path)) {
        close();  // before preparing: a copy of the same path is then made afresh, not released after
        preparedNow = m_preparer->prepare(path);
        preparedHere = &preparedNow;
    }
    close(preparedHere ? preparedHere->textPath : QString());
    m_pluckerIndex.clear();
    m_book = BookInfo();
    m_isBook = false;
    m_links.clear();
    m_linkNumbers.clear();
    m_kind = SourceKind::PlainText;
    m_size = 0;
    m_detected = EncodingDetector::Result{};
    QString readPath = path;
    QString innerName = path;  // the name that tells the kind: a zip's member, a gzip file's inner name

    if (preparedHere) {
        const SourcePreparer::Result &prepared = *preparedHere;
        if (!prepared.status.isOk())
            return prepared.status;
        if (prepared.plucker) {
            m_kind = SourceKind::Plucker;
            loadPluckerIndex(prepared.rimPath, m_pluckerIndex);  // without it links are not followed
        }
        if (prepared.book) {
            m_kind = SourceKind::Html;
            m_isBook = true;
            m_book = prepared.info;
        }
        readPath = prepared.textPath;
        innerName = prepared.innerName;
    }
    if (!m_reader.open(readPath).isOk())
        return Status::ok();  // nothing to say: the view just stays empty
    m_open = true;
    m_size = m_reader.size();
    if (m_kind == SourceKind::PlainText && (htmlByName(innerName) || htmlByContent(firstBytes(SniffBytes))))
        m_kind = SourceKind::Html;
    return Status::ok();
}

// The file's first bytes, read through the reader: the file stays the one opened, a regular file.
QByteArray Document::firstBytes(qint64 count)
{
    QByteArray bytes;
    const qint64 remembered = m_reader.pos();
    m_reader.seek(0);
    for (int b; bytes.size() < count && (b = m_reader.readByte()) >= 0;)
        bytes.append(char(b));
    m_reader.seek(remembered);
    return bytes;
}

QString Document::title()
{
    if (m_isBook && !m_book.title.isEmpty())
        return m_book.title;
    if (!m_open || m_kind != SourceKind::Html)
        return QString();
    const qint64 remembered = m_reader.pos();
    m_reader.seek(0);
    // The characters read so far, lower-cased, to recognise "<title" and "</title".
    QString text;
    QString title;
    bool inTitle = false;
    while (!m_reader.atEnd() && m_reader.pos() < TitleReach) {
        const char32_t c = readDecodedChar();
        const QChar q = c <= 0xFFFF ? QChar(char16_t(c)) : QChar(QChar::ReplacementCharacter);
        text.append(q.toLower());
        if (!inTitle) {
            if (text.endsWith(QLatin1String("<title"))) {
                while (!m_reader.atEnd() && m_reader.readChar() != U'>') {
                }
                inTitle = true;
                text.clear();
            }
            if (text.size() > 64)
                text.remove(0, text.size() - 8);
            continue;
        }
        if (text.endsWith(QLatin1String("</title"))) {
            title.chop(6);
            break;
        }
        if (title.size() < MaxTitleLength + 8)
            title.append(q);
    }
    m_reader.seek(remembered);
    return decodeHtmlReferences(title).simplified().left(MaxTitleLength);
}

uint16_t Document::linkNumber(const QString &address)
{
    if (address.isEmpty())
        return 0;
    const auto known = m_linkNumbers.constFind(address);
    if (known != m_linkNumbers.constEnd())
        return known.value();
    if (m_links.size() >= MaxLinks)
        return 0;
    m_links.append(address.left(4096));
    const uint16_t number = uint16_t(m_links.size());
    m_linkNumbers.insert(address, number);
    return number;
}

QString Document::linkAddress(uint16_t number) const
{
    return number > 0 && number <= m_links.size() ? m_links[number - 1] : QString();
}

const QString Document::Automatic = QStringLiteral("Automatic");

void Document::setEncoding(const QString &requested)
{
    // A book's copy is written in UTF-8 whatever the reader's setting says.
    const QString name = m_isBook ? QStringLiteral("UTF-8") : requested;
    m_encodingShown = name;
    if (name == Automatic) {
        // Found once per opening; laying the page out anew does not look again.
        if (m_detected.decoderName.isEmpty())
            m_detected = EncodingDetector().detect(firstBytes(EncodingDetector::SampleSize), m_kind == SourceKind::Html);
        setEncoding(m_detected.decoderName);
        m_encodingShown = m_detected.displayName;
        return;
    }
    m_codePage.setCodec(name);
    if (name == QLatin1String("UTF-8")) {
        m_reader.setMode(PositionedReader::Mode::Utf8);
        return;
    }
    if (name.compare(QLatin1String("UTF-16LE"), Qt::CaseInsensitive) == 0
        || name.compare(QLatin1String("UTF-16BE"), Qt::CaseInsensitive) == 0) {
        m_reader.setMode(name.endsWith(QLatin1String("LE"), Qt::CaseInsensitive) ? PositionedReader::Mode::Utf16LE
                                                                                  : PositionedReader::Mode::Utf16BE);
        return;
    }
    m_reader.setMode(PositionedReader::Mode::Bytes);
    if (m_codePage.index() == -1) {
        // An encoding that is neither a built-in table nor a known codec reads as Latin-1.
        if (QTextCodec *codec = QTextCodec::codecForName(name.toLatin1()))
            m_reader.setCodec(codec);
    }
}

qint64 Document::pageNumber(qint64 position, qint64 size)
{
    if (size <= 0)
        return 1;
    // position x pages passes 63 bits only for absurd sizes; 128 bits hold any product.
    const qint64 pages = size / NominalPageBytes;
    return qint64(static_cast<__int128>(position) * pages / size) + 1;
}
