#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>
#include <optional>

// What an e-book says about itself, kept beside its prepared HTML copy: its metadata and its own
// table of contents, each entry at a byte position of the prepared copy.
struct BookInfo
{
    struct Entry
    {
        QString title;
        int level = 0;  // 0 for the top level, 1 for a section within it, ...
        qint64 position = 0;
        bool operator==(const Entry &o) const { return title == o.title && level == o.level && position == o.position; }
    };

    static constexpr int MaxEntries = 20000;
    static constexpr int MaxLevel = 8;
    static constexpr int MaxText = 1024;  // characters of a title, author, language or entry

    QString title;
    QString author;
    QString language;
    int chapters = 0;  // documents the book is made of (spine items)
    QVector<Entry> contents;

    bool operator==(const BookInfo &o) const
    {
        return title == o.title && author == o.author && language == o.language && chapters == o.chapters
            && contents == o.contents;
    }

    // Adds an entry, with its title's white space collapsed and cut to MaxText; past MaxEntries
    // entries, or with an empty title, nothing is added.
    void addEntry(const QString &title, int level, qint64 position);

    // The companion file's text: a first line naming the format, then "key value" lines.
    QByteArray toText() const;
    // Reads what toText() wrote; nothing for any other text. Every length and count is bounded,
    // so a damaged or planted file gives at worst a shorter list.
    static std::optional<BookInfo> fromText(const QByteArray &text);

    // White space runs as one space, trimmed, cut to MaxText characters.
    static QString clean(const QString &text);
};
