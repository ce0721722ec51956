#include "Document.h"

#include "SourcePreparer.h"

#include <QFileInfo>
#include <QTextCodec>

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
    QString readPath = path;

    if (SourcePreparer::kindOf(path) != SourcePreparer::Kind::Plain) {
        const SourcePreparer::Result prepared = m_preparer->prepare(path);
        if (!prepared.status.isOk())
            return prepared.status;
        if (prepared.plucker) {
            m_kind = SourceKind::Plucker;
            loadPluckerIndex(prepared.rimPath, m_pluckerIndex);  // without it links are not followed
        }
        readPath = prepared.textPath;
    } else {
        const QString extension = QFileInfo(path).suffix().toLower();
        if (extension == QLatin1String("html") || extension == QLatin1String("htm"))
            m_kind = SourceKind::Html;
    }

    if (!m_reader.open(readPath).isOk())
        return Status::ok();  // nothing to say: the view just stays empty
    m_open = true;
    m_size = m_reader.size();
    return Status::ok();
}

void Document::setEncoding(const QString &name)
{
    m_codePage.setCodec(name);
    if (name == QLatin1String("UTF-8")) {
        m_reader.setMode(PositionedReader::Mode::Utf8);
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
