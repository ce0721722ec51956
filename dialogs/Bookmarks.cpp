#include "Bookmarks.h"

Bookmarks::Bookmarks(QWidget *parent, const char *name)
    : QWidget(parent)
{
    if (name)
        setObjectName(QString::fromLatin1(name));
    setFocusPolicy(Qt::StrongFocus);
}

void Bookmarks::loadBookmarks(const QString &)
{
}

void Bookmarks::saveBookmarks(const QString &)
{
}

void Bookmarks::addBookmark(const QString &, qint64, qint64, bool)
{
}

void Bookmarks::deleteSelected()
{
}
