#pragma once

#include "Status.h"

#include <QByteArray>
#include <QString>
#include <QVector>

// Where a reference inside the book leads: a member of the book and a fragment, an address
// outside it, or nowhere it may lead.
struct EpubTarget
{
    enum class Kind { Member, External, Invalid };
    Kind kind = Kind::Invalid;
    QString member;    // "OEBPS/text/ch2.xhtml"; for External the whole address
    QString fragment;  // "sec3", percent-decoded; may be empty
};

// Resolves `href` as written in member `from` (its folder is the base). Absolute paths and paths
// that climb out of the book are Invalid; http, https and mailto addresses are External; other
// schemes are Invalid.
EpubTarget resolveEpubHref(const QString &from, const QString &href);

// The parts of an EPUB package read from its XML files. Each parser reads one file's bytes and
// bounds every count; XML is read without any external entity and with a small entity-expansion
// limit. A parse failure names the member and where the XML breaks.
namespace epub {

constexpr int MaxItems = 10000;  // manifest items, spine items, contents entries

// META-INF/container.xml: the package document's member name.
Status rootFile(const QByteArray &xml, QString &packagePath);

struct ManifestItem
{
    QString id;
    QString member;  // resolved against the package document's folder
    QString mediaType;
    bool nav = false;  // properties holds "nav"
};

struct Package
{
    QString title, author, language;
    QVector<ManifestItem> manifest;
    QVector<int> spine;           // manifest indices in reading order, linear items first
    int ncx = -1;                 // manifest index of the NCX named by the spine, or -1
    int navDocument = -1;         // manifest index of the EPUB 3 navigation document, or -1
};

// The package document at `packagePath`.
Status package(const QByteArray &xml, const QString &packagePath, Package &out);

// META-INF/encryption.xml: true when it encrypts anything but fonts (font obfuscation is left
// alone: the reader uses no fonts of the book).
Status encryptsContent(const QByteArray &xml, const Package &package, bool &encrypted);

struct ContentsEntry
{
    QString title;
    int level = 0;
    EpubTarget target;
};

// An EPUB 2 NCX's navMap, or the toc nav of an EPUB 3 navigation document; entries in order.
Status ncxContents(const QByteArray &xml, const QString &member, QVector<ContentsEntry> &out);
Status navContents(const QByteArray &xml, const QString &member, QVector<ContentsEntry> &out);

// "The book is damaged: <member> <what>." with the XML's own reason as the detail.
Status damaged(const QString &member, const std::string &what, const std::string &detail = {});

} // namespace epub
