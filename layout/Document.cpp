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

// Character references in a short text taken from markup (a title).
QString decodeReferences(const QString &text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype end = text[i] == QLatin1Char('&') ? text.indexOf(QLatin1Char(';'), i + 1) : -1;
        if (end < 0 || end - i - 1 > 32 || end == i + 1) {
            out += text[i];
            continue;
        }
        const QStringView body = QStringView(text).mid(i + 1, end - i - 1);
        char32_t first = 0, second = 0;
        if (body.startsWith(QLatin1Char('#')))
            first = numericCharacterReference(body.mid(1));
        else
            lookupHtmlEntity(body, first, second);
        if (first == 0) {
            out += text[i];
            continue;
        }
        for (const char32_t c : {first, second}) {
            if (c)
                out += QString::fromUcs4(&c, 1);
        }
        i = end;
    }
    return out;
}

} // namespace

Document::Document() : m_preparer(std::make_unique<SourcePreparer>()) {}

// A prepared copy outlives the reader on purpose: the next start reopens the same document and
// the preparer reuses the copy when its source is unchanged.
Document::~Document() = default;

void Document::close()
{
    if (!m_open)
        return;
    const QString readPath = m_reader.fileName();
    m_reader.close();
    m_open = false;
    // Only copies the reader made itself are deleted, never a document the user opened.
    m_preparer->release(readPath);
}

Status Document::open(const QString &path)
{
    close();
    m_pluckerIndex.clear();
    m_kind = SourceKind::PlainText;
    m_size = 0;
    m_detected = EncodingDetector::Result{};
    QString readPath = path;
    QString innerName = path;  // the name that tells the kind: a zip's member, a gzip file's inner name

    if (SourcePreparer::kindOf(path) != SourcePreparer::Kind::Plain) {
        const SourcePreparer::Result prepared = m_preparer->prepare(path);
        if (!prepared.status.isOk())
            return prepared.status;
        if (prepared.plucker) {
            m_kind = SourceKind::Plucker;
            loadPluckerIndex(prepared.rimPath, m_pluckerIndex);  // without it links are not followed
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
    return decodeReferences(title).simplified().left(MaxTitleLength);
}

const QString Document::Automatic = QStringLiteral("Automatic");

void Document::setEncoding(const QString &name)
{
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
