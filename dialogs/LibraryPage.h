#pragma once

#include "LibraryStore.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QTreeWidget;
class QTreeWidgetItem;

// Every book the reader has opened, newest first: title, author, progress and when it was last
// read, with a filter field. A book whose file is gone is shown greyed and can be removed; Enter or
// a double click opens one.
class LibraryPage : public QWidget
{
    Q_OBJECT

public:
    explicit LibraryPage(QWidget *parent = nullptr);

    // Shows the books of `store` that match the filter field; a store that cannot be read shows why.
    void fill(LibraryStore &store);

    QLineEdit *filterEdit = nullptr;
    QTreeWidget *bookList = nullptr;  // columns "Title", "Author", "Read", "Last read"

Q_SIGNALS:
    void bookChosen(const QString &path);
    void removeRequested(qint64 id);
    void filterChanged();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void choose(QTreeWidgetItem *item);
    void removeCurrent();

    QLabel *heading = nullptr;
};
