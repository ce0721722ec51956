#pragma once

#include "BookmarkFile.h"

#include <QString>
#include <QTreeWidgetItem>
#include <QWidget>

class QTreeWidget;

// One row of a Bookmarks list, made of four texts: the title (column 0, under "Bookmark"), the
// page number (column 1, under "Page"), the position in the document (column 2) and the
// paragraph flag "1" or "0" (column 3). Columns 2 and 3 have no header and are not shown.
class MQListViewItem : public QTreeWidgetItem
{
public:
    enum Column { TitleColumn, PageColumn, PositionColumn, ParagraphColumn };

    MQListViewItem(const QString &title, const QString &page, const QString &position,
                   const QString &paragraph);

    // The position column read as a decimal number; 0 when it is not one.
    qint64 position() const;
    // The text the row sorts by in `column`: for the page and position columns the position,
    // zero-padded to at least ten digits; otherwise the column's own text.
    QString key(int column, bool ascending) const;
    // Pages and positions compare as numbers (so 9 comes before 10, and positions past ten
    // digits or below zero still sort right); the title compares as text.
    bool operator<(const QTreeWidgetItem &other) const override;
};

// A list of named positions in the current document, loaded from and saved to a companion file
// beside it (the bookmarks, or the table of contents). The rows are kept sorted by position.
// Choosing a row reports its position through BookmarkSignal(). Nothing reaches the disk except
// through saveBookmarks().
class Bookmarks : public QWidget
{
    Q_OBJECT

public:
    explicit Bookmarks(QWidget *parent = nullptr, const char *name = nullptr);

    QString fontName;              // family the rows are drawn in, set before each showing
    qint64 selectedPosition = 0;   // position of the row last chosen or made current
    bool selectedParagraph = false;
    bool hasSelection = false;     // a row has been chosen or made current; never reset
    QTreeWidget *entryList = nullptr;  // the rows, columns "Bookmark" and "Page"

Q_SIGNALS:
    void BookmarkSignal();
    // A row was deleted (the window saves the list then).
    void listChanged();

public Q_SLOTS:
    // Replaces the rows by the complete records of the file at `path`; a missing or unreadable
    // file leaves the list empty.
    void loadBookmarks(const QString &path);
    // The rows of `records`, as if read from a file (a book's own contents).
    void setRecords(const QList<BookmarkRecord> &records);
    // Writes every row, in display order, to the file at `path`. The old file is replaced only
    // once the new one is complete; when writing fails it stays as it was. False on failure.
    bool saveBookmarks(const QString &path);
    void addBookmark(const QString &title, qint64 position, qint64 page, bool paragraph);
    // Removes the selected row (with a single row, empties the list); nothing without one.
    void deleteSelected();
    // A row chosen by a tap or Return: takes its position and emits BookmarkSignal().
    void BookmarkSelected(QTreeWidgetItem *item);
    // The current row moved: takes its position without the signal.
    void currentItemChanged(QTreeWidgetItem *item);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void takeSelection(QTreeWidgetItem *item);
    void sortRows();
    void fitTitleColumn();
};
