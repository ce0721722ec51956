#include "EpubPackage.h"

#include <QHash>
#include <QStringList>
#include <QUrl>
#include <QXmlStreamReader>

namespace {

constexpr int EntityExpansionLimit = 1024;  // characters an entity may expand to, all told
constexpr int MaxDepth = 256;               // nesting the nav and NCX readers follow

const QString DublinCore = QStringLiteral("http://purl.org/dc/elements/1.1/");

void prepare(QXmlStreamReader &xml)
{
    xml.setNamespaceProcessing(true);
    xml.setEntityExpansionLimit(EntityExpansionLimit);
}

Status notWellFormed(const QXmlStreamReader &xml, const QString &member)
{
    return epub::damaged(member, "is not well-formed XML",
                         "line " + std::to_string(xml.lineNumber()) + ", column " + std::to_string(xml.columnNumber())
                             + ": " + xml.errorString().toStdString());
}

// The element's text, its children's included, as one line.
QString elementText(QXmlStreamReader &xml)
{
    return xml.readElementText(QXmlStreamReader::IncludeChildElements).simplified();
}

} // namespace

EpubTarget resolveEpubHref(const QString &from, const QString &href)
{
    EpubTarget target;
    const QString trimmed = href.trimmed();
    const int colon = trimmed.indexOf(QLatin1Char(':'));
    const int slash = trimmed.indexOf(QLatin1Char('/'));
    if (colon > 0 && (slash < 0 || colon < slash)) {
        const QString scheme = trimmed.left(colon).toLower();
        if (scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("mailto")) {
            target.kind = EpubTarget::Kind::External;
            target.member = trimmed;
        }
        return target;
    }
    const int hash = trimmed.indexOf(QLatin1Char('#'));
    QString path = hash < 0 ? trimmed : trimmed.left(hash);
    const int query = path.indexOf(QLatin1Char('?'));
    if (query >= 0)
        path.truncate(query);
    path = QUrl::fromPercentEncoding(path.toUtf8());
    target.fragment = hash < 0 ? QString() : QUrl::fromPercentEncoding(trimmed.mid(hash + 1).toUtf8());
    if (path.startsWith(QLatin1Char('/')) || path.contains(QLatin1Char('\\')))
        return target;  // absolute paths lead outside the book
    QStringList parts;
    if (path.isEmpty()) {
        parts = from.split(QLatin1Char('/'));  // "#id": the same member
    } else {
        parts = from.split(QLatin1Char('/'));
        parts.removeLast();
        for (const QString &part : path.split(QLatin1Char('/'))) {
            if (part.isEmpty() || part == QLatin1String("."))
                continue;
            if (part == QLatin1String("..")) {
                if (parts.isEmpty())
                    return target;  // climbs out of the book
                parts.removeLast();
                continue;
            }
            parts.append(part);
        }
    }
    target.member = parts.join(QLatin1Char('/'));
    if (!target.member.isEmpty())
        target.kind = EpubTarget::Kind::Member;
    return target;
}

namespace epub {

Status damaged(const QString &member, const std::string &what, const std::string &detail)
{
    return Status::error(Status::Code::Damaged, "The book is damaged: " + member.toStdString() + ' ' + what + '.', detail);
}

Status rootFile(const QByteArray &bytes, QString &packagePath)
{
    const QString member = QStringLiteral("META-INF/container.xml");
    QXmlStreamReader xml(bytes);
    prepare(xml);
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == QLatin1String("rootfile")) {
            const QString path = xml.attributes().value(QLatin1String("full-path")).toString();
            const QString type = xml.attributes().value(QLatin1String("media-type")).toString();
            if (!path.isEmpty() && (type.isEmpty() || type == QLatin1String("application/oebps-package+xml"))) {
                const EpubTarget target = resolveEpubHref(QString(), path);
                if (target.kind != EpubTarget::Kind::Member)
                    return Status::error(Status::Code::Damaged, "The book names a file outside itself.",
                                         path.toStdString());
                packagePath = target.member;
                return Status::ok();
            }
        }
    }
    if (xml.hasError())
        return notWellFormed(xml, member);
    return damaged(member, "names no package document");
}

Status package(const QByteArray &bytes, const QString &packagePath, Package &out)
{
    QXmlStreamReader xml(bytes);
    prepare(xml);
    QHash<QString, int> byId;
    QHash<QString, QString> outside;  // id -> address of items that lead out of the book
    QVector<int> linear, nonLinear;
    QString tocId;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QStringView name = xml.name();
        const QXmlStreamAttributes attributes = xml.attributes();
        if (xml.namespaceUri() == DublinCore) {
            QString *field = name == QLatin1String("title")      ? &out.title
                           : name == QLatin1String("creator")    ? &out.author
                           : name == QLatin1String("language")   ? &out.language
                                                                  : nullptr;
            if (field && field->isEmpty())
                *field = elementText(xml).left(1024);
        } else if (name == QLatin1String("item")) {
            if (out.manifest.size() >= MaxItems)
                return Status::error(Status::Code::TooLarge, "The book has too many parts.",
                                     "more than " + std::to_string(MaxItems) + " manifest items");
            ManifestItem item;
            item.id = attributes.value(QLatin1String("id")).toString();
            const EpubTarget target = resolveEpubHref(packagePath, attributes.value(QLatin1String("href")).toString());
            if (target.kind != EpubTarget::Kind::Member) {
                outside.insert(item.id, attributes.value(QLatin1String("href")).toString());
                continue;  // only a problem when the item is read
            }
            item.member = target.member;
            item.mediaType = attributes.value(QLatin1String("media-type")).toString();
            item.nav = attributes.value(QLatin1String("properties")).split(QLatin1Char(' ')).contains(QLatin1String("nav"));
            if (!item.id.isEmpty() && !byId.contains(item.id))
                byId.insert(item.id, int(out.manifest.size()));
            if (item.nav && out.navDocument < 0)
                out.navDocument = int(out.manifest.size());
            out.manifest.append(item);
        } else if (name == QLatin1String("spine")) {
            tocId = attributes.value(QLatin1String("toc")).toString();
        } else if (name == QLatin1String("itemref")) {
            const QString idref = attributes.value(QLatin1String("idref")).toString();
            const int index = byId.value(idref, -1);
            if (index < 0 && outside.contains(idref))
                return Status::error(Status::Code::Damaged, "The book names a file outside itself.",
                                     outside.value(idref).toStdString());
            if (index < 0)
                return damaged(packagePath, "lists a chapter that is not in its manifest",
                               attributes.value(QLatin1String("idref")).toString().toStdString());
            if (linear.size() + nonLinear.size() >= MaxItems)
                return Status::error(Status::Code::TooLarge, "The book has too many chapters.",
                                     "more than " + std::to_string(MaxItems) + " spine items");
            (attributes.value(QLatin1String("linear")) == QLatin1String("no") ? nonLinear : linear).append(index);
        }
    }
    if (xml.hasError())
        return notWellFormed(xml, packagePath);
    out.spine = linear + nonLinear;
    out.ncx = byId.value(tocId, -1);
    if (out.ncx < 0) {
        for (int i = 0; i < out.manifest.size(); ++i) {
            if (out.manifest[i].mediaType == QLatin1String("application/x-dtbncx+xml")) {
                out.ncx = i;
                break;
            }
        }
    }
    if (out.spine.isEmpty())
        return damaged(packagePath, "lists no chapters");
    return Status::ok();
}

Status encryptsContent(const QByteArray &bytes, const Package &package, bool &encrypted)
{
    static const QStringList fontObfuscation = {QStringLiteral("http://www.idpf.org/2008/embedding"),
                                                QStringLiteral("http://ns.adobe.com/pdf/enc#RC")};
    encrypted = false;
    QXmlStreamReader xml(bytes);
    prepare(xml);
    QString algorithm;
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::StartElement && xml.name() == QLatin1String("EncryptedData")) {
            algorithm.clear();
        } else if (token == QXmlStreamReader::StartElement && xml.name() == QLatin1String("EncryptionMethod")) {
            algorithm = xml.attributes().value(QLatin1String("Algorithm")).toString();
        } else if (token == QXmlStreamReader::StartElement && xml.name() == QLatin1String("CipherReference")) {
            const QString uri = xml.attributes().value(QLatin1String("URI")).toString();
            const EpubTarget target = resolveEpubHref(QString(), uri);
            bool font = false;
            for (const ManifestItem &item : package.manifest) {
                if (item.member == target.member)
                    font = item.mediaType.contains(QLatin1String("font"))
                        || item.mediaType == QLatin1String("application/vnd.ms-opentype");
            }
            const QString lower = target.member.toLower();
            font = font || lower.endsWith(QLatin1String(".ttf")) || lower.endsWith(QLatin1String(".otf"))
                || lower.endsWith(QLatin1String(".woff")) || lower.endsWith(QLatin1String(".woff2"));
            if (!font || !fontObfuscation.contains(algorithm)) {
                encrypted = true;
                return Status::ok();
            }
        }
    }
    if (xml.hasError())
        return notWellFormed(xml, QStringLiteral("META-INF/encryption.xml"));
    return Status::ok();
}

Status ncxContents(const QByteArray &bytes, const QString &member, QVector<ContentsEntry> &out)
{
    QXmlStreamReader xml(bytes);
    prepare(xml);
    int depth = 0;  // navPoints open
    QVector<int> pending;  // for each open navPoint, its entry's index (-1 once past MaxItems)
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::StartElement) {
            if (xml.name() == QLatin1String("navPoint")) {
                ++depth;
                if (depth > MaxDepth || out.size() >= MaxItems) {
                    pending.append(-1);
                    continue;
                }
                pending.append(int(out.size()));
                out.append(ContentsEntry{QString(), depth - 1, EpubTarget()});
            } else if (!pending.isEmpty() && pending.last() >= 0) {
                ContentsEntry &entry = out[pending.last()];
                if (xml.name() == QLatin1String("text") && entry.title.isEmpty())
                    entry.title = elementText(xml).left(1024);
                else if (xml.name() == QLatin1String("content") && entry.target.kind == EpubTarget::Kind::Invalid)
                    entry.target = resolveEpubHref(member, xml.attributes().value(QLatin1String("src")).toString());
            }
        } else if (token == QXmlStreamReader::EndElement && xml.name() == QLatin1String("navPoint") && depth > 0) {
            --depth;
            pending.removeLast();
        }
    }
    if (xml.hasError())
        return notWellFormed(xml, member);
    return Status::ok();
}

Status navContents(const QByteArray &bytes, const QString &member, QVector<ContentsEntry> &out)
{
    QXmlStreamReader xml(bytes);
    prepare(xml);
    int navDepth = 0;   // elements open inside the toc nav; 0 outside it
    int listDepth = 0;  // ol elements open inside it
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::StartElement) {
            if (navDepth > 0) {
                if (++navDepth > MaxDepth)
                    return damaged(member, "nests its contents too deeply");
                if (xml.name() == QLatin1String("ol")) {
                    ++listDepth;
                } else if ((xml.name() == QLatin1String("a") || xml.name() == QLatin1String("span"))
                           && out.size() < MaxItems) {
                    const QString href = xml.attributes().value(QLatin1String("href")).toString();
                    ContentsEntry entry{QString(), qMax(0, listDepth - 1), resolveEpubHref(member, href)};
                    entry.title = elementText(xml).left(1024);  // reads up to its end tag
                    --navDepth;
                    if (!href.isEmpty())
                        out.append(entry);
                }
            } else if (xml.name() == QLatin1String("nav")) {
                const QXmlStreamAttributes attributes = xml.attributes();
                for (const QXmlStreamAttribute &a : attributes) {
                    if (a.name() == QLatin1String("type") && a.value().split(QLatin1Char(' ')).contains(QLatin1String("toc")))
                        navDepth = 1;
                }
            }
        } else if (token == QXmlStreamReader::EndElement && navDepth > 0) {
            if (xml.name() == QLatin1String("ol"))
                --listDepth;
            if (--navDepth == 0)
                break;  // the toc nav is over
        }
    }
    if (xml.hasError())
        return notWellFormed(xml, member);
    return Status::ok();
}

} // namespace epub
