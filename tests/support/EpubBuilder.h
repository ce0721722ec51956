#pragma once
// EPUB books for tests, written as real zip files: "mimetype" first, the container, a package
// document with metadata, manifest and spine, an NCX (EPUB 2) or a navigation document (EPUB 3),
// and the chapters. Any member can be replaced, added or left out to make a broken book.
#include <QByteArray>
#include <QList>
#include <QMap>

class EpubBuilder
{
public:
    enum class Version { Epub2, Epub3 };
    struct Entry
    {
        QByteArray title;
        QByteArray href;  // relative to the package folder, "text/ch1.xhtml#s1"
        int level = 0;
    };

    explicit EpubBuilder(Version version = Version::Epub3) : m_version(version) {}

    EpubBuilder &metadata(const QByteArray &title, const QByteArray &author, const QByteArray &language);
    // A chapter at OEBPS/<href> whose body element holds `body` (XHTML).
    EpubBuilder &chapter(const QByteArray &href, const QByteArray &body, bool linear = true);
    // A chapter whose whole file is `xhtml`, as written.
    EpubBuilder &rawChapter(const QByteArray &href, const QByteArray &xhtml, bool linear = true);
    EpubBuilder &contents(const QList<Entry> &entries);
    // Another member, or one that replaces what the builder would write ("META-INF/container.xml").
    EpubBuilder &member(const QByteArray &name, const QByteArray &data);
    // A member the builder would write, left out.
    EpubBuilder &without(const QByteArray &name);
    // Manifest items for members that are no chapters ("images/a.png" -> "image/png").
    EpubBuilder &manifestItem(const QByteArray &href, const QByteArray &mediaType);

    QByteArray build() const;

    static QByteArray xhtml(const QByteArray &body);

private:
    QByteArray package() const;
    QByteArray ncx() const;
    QByteArray nav() const;

    struct Chapter
    {
        QByteArray href;
        QByteArray xhtml;
        bool linear;
    };
    Version m_version;
    QByteArray m_title = "A Book", m_author = "An Author", m_language = "en";
    QList<Chapter> m_chapters;
    QList<Entry> m_contents;
    QList<QPair<QByteArray, QByteArray>> m_items;
    QMap<QByteArray, QByteArray> m_members;
    QList<QByteArray> m_without;
};
