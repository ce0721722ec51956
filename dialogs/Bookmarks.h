#pragma once

#include <QString>
#include <QWidget>

// A list of named positions in the current document, loaded from and saved to a companion file
// beside it (the bookmarks, or the table of contents). Choosing a row reports its position
// through BookmarkSignal().
//
// For now this is an empty page with the list's interface, so that the window's bookmarks and
// contents modes work; the rows, the file format and the selection are built later.
class Bookmarks : public QWidget
{
    Q_OBJECT

public:
    explicit Bookmarks(QWidget *parent = nullptr, const char *name = nullptr);

    QString fontName;              // family the rows are drawn in, set before each showing
    qint64 selectedPosition = 0;   // position of the row last chosen or made current
    bool selectedParagraph = false;
    bool hasSelection = false;     // a row has been chosen or made current

Q_SIGNALS:
    void BookmarkSignal();

public Q_SLOTS:
    // Replaces the rows by the records of the file at `path` (none while the list is empty).
    void loadBookmarks(const QString &path);
    // Writes every row to the file at `path`.
    void saveBookmarks(const QString &path);
    void addBookmark(const QString &title, qint64 position, qint64 page, bool paragraph);
    void deleteSelected();
};
