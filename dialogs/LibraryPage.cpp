#include "LibraryPage.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
constexpr int PathRole = Qt::UserRole;
constexpr int IdRole = Qt::UserRole + 1;
} // namespace

LibraryPage::LibraryPage(QWidget *parent) : QWidget(parent)
{
    auto *rows = new QVBoxLayout(this);
    heading = new QLabel;
    QFont big = heading->font();
    big.setPointSizeF(big.pointSizeF() * 1.5);
    big.setBold(true);
    heading->setFont(big);
    rows->addWidget(heading);
    filterEdit = new QLineEdit;
    filterEdit->setPlaceholderText(tr("Filter by title, author or file name"));
    filterEdit->setClearButtonEnabled(true);
    rows->addWidget(filterEdit);
    bookList = new QTreeWidget;
    bookList->setHeaderLabels({tr("Title"), tr("Author"), tr("Read"), tr("Last read")});
    bookList->setRootIsDecorated(false);
    bookList->setUniformRowHeights(true);
    bookList->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    bookList->header()->setStretchLastSection(false);
    rows->addWidget(bookList, 1);
    auto *remove = new QPushButton(tr("Remove from library"));
    rows->addWidget(remove, 0, Qt::AlignRight);

    connect(filterEdit, &QLineEdit::textChanged, this, &LibraryPage::filterChanged);
    connect(bookList, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem *item) { choose(item); });
    connect(remove, &QPushButton::clicked, this, &LibraryPage::removeCurrent);
    filterEdit->installEventFilter(this);
    setFocusProxy(filterEdit);
}

void LibraryPage::fill(LibraryStore &store)
{
    bookList->clear();
    Status status;
    const QList<BookRecord> books = store.books(filterEdit->text(), &status);
    if (!status.isOk()) {
        heading->setText(tr("Library"));
        auto *row = new QTreeWidgetItem(bookList, {QString::fromStdString(status.message())});
        row->setFlags(Qt::NoItemFlags);
        return;
    }
    const QString count = books.size() == 1 ? tr("1 book") : tr("%1 books").arg(books.size());
    heading->setText(filterEdit->text().isEmpty() ? tr("Library: %1").arg(count) : tr("Library: %1 found").arg(count));
    const QLocale locale;
    for (const BookRecord &book : books) {
        const QString title = book.title.isEmpty() ? QFileInfo(book.path).fileName() : book.title;
        auto *row = new QTreeWidgetItem(
            bookList, {title, book.author, QStringLiteral("%1%").arg(book.progress / 10),
                       locale.toString(book.lastRead.toLocalTime(), QLocale::ShortFormat)});
        row->setData(0, PathRole, book.path);
        row->setData(0, IdRole, book.id);
        row->setToolTip(0, book.path);
        if (!QFileInfo::exists(book.path)) {
            for (int column = 0; column < row->columnCount(); ++column)
                row->setForeground(column, palette().brush(QPalette::Disabled, QPalette::Text));
            row->setToolTip(0, tr("%1 (the file is gone)").arg(book.path));
        }
    }
    if (bookList->topLevelItemCount() > 0)
        bookList->setCurrentItem(bookList->topLevelItem(0));
    for (int column = 1; column < bookList->columnCount(); ++column)
        bookList->resizeColumnToContents(column);
}

void LibraryPage::choose(QTreeWidgetItem *item)
{
    if (!item)
        return;
    const QString path = item->data(0, PathRole).toString();
    if (!path.isEmpty() && QFileInfo::exists(path))
        Q_EMIT bookChosen(path);
}

void LibraryPage::removeCurrent()
{
    if (QTreeWidgetItem *item = bookList->currentItem(); item && item->data(0, IdRole).isValid())
        Q_EMIT removeRequested(item->data(0, IdRole).toLongLong());
}

// Up, Down and Return in the filter field move through and open the list, so typing and choosing
// need no mouse.
bool LibraryPage::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == filterEdit && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Down || key->key() == Qt::Key_Up) {
            QCoreApplication::sendEvent(bookList, event);
            return true;
        }
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            choose(bookList->currentItem());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void LibraryPage::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Delete)
        removeCurrent();
    else
        QWidget::keyPressEvent(event);
}
