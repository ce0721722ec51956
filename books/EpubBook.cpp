#include "EpubBook.h"

#include "BookOutput.h"
#include "CopyMeter.h"
#include "EpubPackage.h"
#include "XhtmlCopier.h"
#include "ZipArchive.h"

#include <QHash>
#include <QUrl>

namespace {

constexpr uint64_t MaxXmlFile = 16 * 1024 * 1024;     // container, package, contents, encryption
constexpr uint64_t MaxChapter = 256 * 1024 * 1024;    // one chapter's XHTML
const QString ContainerMember = QStringLiteral("META-INF/container.xml");
const QString EncryptionMember = QStringLiteral("META-INF/encryption.xml");
const char ProtectedMessage[] = "This book is protected and cannot be opened.";

// A failed read of a member, said about the book.
Status memberFailure(const Status &read, const QString &member)
{
    switch (read.code()) {
    case Status::Code::TooLarge:
        return Status::error(Status::Code::TooLarge, "A part of the book is too large: " + member.toStdString() + '.',
                             read.detail());
    case Status::Code::Protected:
        return Status::error(Status::Code::Protected, ProtectedMessage, read.detail());
    case Status::Code::Unsupported:
        return Status::error(Status::Code::Unsupported,
                             "The book cannot be opened: " + member.toStdString() + " is packed in a way this reader does not know.",
                             read.detail());
    default:
        return epub::damaged(member, "cannot be unpacked", read.detail());
    }
}

class Converter
{
public:
    Converter(int sourceFd, int outFd, CopyMeter &meter, BookInfo &info)
        : m_zip(sourceFd), m_meter(meter), m_out(outFd, meter), m_info(info)
    {
    }

    Status run();

private:
    Status readXml(const QString &member, QByteArray &bytes, bool required);
    Status readPackage();
    void readContents();
    Status findChapters();
    Status writeChapters();
    Status writeChapter(int k, const QString &member);
    Status copyRaw(int index);
    QString rewrite(const EpubTarget &target) const;
    void resolveContents();
    bool progress() { return m_meter.read(m_zip.bytesRead()); }

    ZipArchive m_zip;
    CopyMeter &m_meter;
    BookOutput m_out;
    BookInfo &m_info;
    epub::Package m_package;
    QString m_packagePath;
    QVector<epub::ContentsEntry> m_contents;
    QHash<QString, int> m_chapterOf;        // member -> its first place in the reading order
    QHash<QString, qint64> m_chapterStart;  // member -> offset of its start anchor
    QHash<QString, qint64> m_anchorOffset;              // member + '#' + id -> offset
};

Status Converter::readXml(const QString &member, QByteArray &bytes, bool required)
{
    const int index = m_zip.find(member);
    if (index < 0)
        return required ? epub::damaged(member, "is missing") : Status::ok();
    const Status read = m_zip.readAll(index, bytes, MaxXmlFile);
    if (!read.isOk())
        return memberFailure(read, member);
    return progress() ? Status::ok() : m_meter.stopStatus();
}

Status Converter::readPackage()
{
    QByteArray container;
    if (m_zip.find(ContainerMember) < 0)
        return epub::damaged(QStringLiteral("(it has no META-INF/container.xml)"), "cannot be read as an EPUB book");
    Status status = readXml(ContainerMember, container, true);
    if (status.isOk())
        status = epub::rootFile(container, m_packagePath);
    QByteArray opf;
    if (status.isOk())
        status = readXml(m_packagePath, opf, true);
    if (status.isOk())
        status = epub::package(opf, m_packagePath, m_package);
    if (!status.isOk())
        return status;
    QByteArray encryption;
    status = readXml(EncryptionMember, encryption, false);
    bool encrypted = false;
    if (status.isOk() && !encryption.isEmpty())
        status = epub::encryptsContent(encryption, m_package, encrypted);
    if (status.isOk() && encrypted)
        return Status::error(Status::Code::Protected, ProtectedMessage, "META-INF/encryption.xml encrypts content");
    return status;
}

// The book's own contents: its navigation document, else its NCX. A damaged one costs only
// the contents, never the book.
void Converter::readContents()
{
    for (const int index : {m_package.navDocument, m_package.ncx}) {
        if (index < 0)
            continue;
        const QString member = m_package.manifest[index].member;
        QByteArray xml;
        if (!readXml(member, xml, false).isOk() || xml.isEmpty())
            continue;
        QVector<epub::ContentsEntry> entries;
        const Status parsed = index == m_package.navDocument ? epub::navContents(xml, member, entries)
                                                             : epub::ncxContents(xml, member, entries);
        if (parsed.isOk() && !entries.isEmpty()) {
            m_contents = entries;
            return;
        }
    }
}

Status Converter::findChapters()
{
    for (int k = 0; k < m_package.spine.size(); ++k) {
        const QString member = m_package.manifest[m_package.spine[k]].member;
        if (m_zip.find(member) < 0)
            return epub::damaged(member, "is missing");
        if (!m_chapterOf.contains(member))
            m_chapterOf.insert(member, k);
    }
    return Status::ok();
}

QString Converter::rewrite(const EpubTarget &target) const
{
    if (target.kind == EpubTarget::Kind::External)
        return target.member;
    if (target.kind != EpubTarget::Kind::Member || !m_chapterOf.contains(target.member))
        return QString();  // a file that is not a chapter of the book: no link
    // The anchors are named after the chapter's place and the id, so a link can be written before
    // the element it leads to has been met.
    const QString chapter = QStringLiteral("#s%1").arg(m_chapterOf.value(target.member));
    if (target.fragment.isEmpty())
        return chapter;
    return chapter + QLatin1Char('.') + QString::fromLatin1(QUrl::toPercentEncoding(target.fragment));
}

Status Converter::copyRaw(int index)
{
    return m_zip.read(index, [this](const char *data, size_t size) { return m_out.write(data, size); }, MaxChapter);
}

Status Converter::writeChapter(int k, const QString &member)
{
    const qint64 start = m_out.offset();
    const QByteArray opening = "<div><a name=\"s" + QByteArray::number(k) + "\"></a>";
    if (!m_chapterStart.contains(member))
        m_chapterStart.insert(member, start + opening.indexOf("<a"));
    m_out.write(opening);
    const int index = m_zip.find(member);
    XhtmlCopier copier(member, m_out, QStringLiteral("s%1.").arg(m_chapterOf.value(member)),
                       [this](const EpubTarget &target) { return rewrite(target); },
                       [this, &member](const QString &id, qint64 offset) {
                           const QString key = member + QLatin1Char('#') + id;
                           if (!m_anchorOffset.contains(key))
                               m_anchorOffset.insert(key, offset);
                       });
    Status read = m_zip.read(index, [&copier](const char *data, size_t size) {
        copier.feed(data, size);
        return true;
    }, MaxChapter);
    if (!m_out.status().isOk())
        return m_out.status();
    if (!read.isOk())
        return memberFailure(read, member);
    if (!copier.finish()) {
        // Not well-formed XML: the chapter as it is, for the markup reader to read as a browser
        // would; its links then lead where they lead in the source, which is nowhere here.
        m_out.truncateTo(start);
        m_anchorOffset.removeIf([&member](const QHash<QString, qint64>::iterator &it) {
            return it.key().startsWith(member + QLatin1Char('#'));
        });
        m_out.write(opening);
        read = copyRaw(index);
        if (!m_out.status().isOk())
            return m_out.status();
        if (!read.isOk())
            return memberFailure(read, member);
    }
    m_out.write("</div>");
    if (!m_out.status().isOk())
        return m_out.status();
    return progress() ? Status::ok() : m_meter.stopStatus();
}

Status Converter::writeChapters()
{
    m_out.write("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>");
    m_out.writeText(BookInfo::clean(m_package.title));
    m_out.write("</title></head><body>");
    for (int k = 0; k < m_package.spine.size(); ++k) {
        const Status status = writeChapter(k, m_package.manifest[m_package.spine[k]].member);
        if (!status.isOk())
            return status;
    }
    m_out.write("</body></html>\n");
    m_out.flush();
    return m_out.status();
}

void Converter::resolveContents()
{
    for (const epub::ContentsEntry &entry : std::as_const(m_contents)) {
        if (entry.target.kind != EpubTarget::Kind::Member || !m_chapterStart.contains(entry.target.member))
            continue;
        const qint64 position = m_anchorOffset.value(entry.target.member + QLatin1Char('#') + entry.target.fragment,
                                                     m_chapterStart.value(entry.target.member));
        m_info.addEntry(entry.title, entry.level, position);
    }
}

Status Converter::run()
{
    const Status opened = m_zip.open();
    if (!opened.isOk())
        return Status::error(opened.code(), "The book cannot be opened: it is not a readable EPUB (zip) file.",
                             opened.detail());
    Status status = readPackage();
    if (!status.isOk())
        return status;
    readContents();
    status = findChapters();
    if (status.isOk())
        status = writeChapters();
    if (!status.isOk())
        return status;
    m_info.title = BookInfo::clean(m_package.title);
    m_info.author = BookInfo::clean(m_package.author);
    m_info.language = BookInfo::clean(m_package.language);
    m_info.chapters = int(m_package.spine.size());
    resolveContents();
    return Status::ok();
}

} // namespace

bool EpubBook::looksLikeEpub(int fd)
{
    ZipArchive zip(fd);
    if (!zip.open().isOk() || zip.entries().empty() || zip.entries().front().name != QLatin1String("mimetype"))
        return false;
    QByteArray type;
    return zip.readAll(0, type, 256).isOk() && type.trimmed() == "application/epub+zip";
}

Status EpubBook::convert(int sourceFd, int outFd, CopyMeter &meter, BookInfo &info)
{
    info = BookInfo();
    Converter converter(sourceFd, outFd, meter, info);
    return converter.run();
}
