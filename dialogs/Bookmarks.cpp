#include "Bookmarks.h"

#include "BookmarkFile.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace {
constexpr int PageColumnWidth = 45;
constexpr int SortKeyDigits = 10;

bool isPositionColumn(int column)
{
    return column == MQListViewItem::PageColumn || column == MQListViewItem::PositionColumn;
}
} // namespace

// ---- MQListViewItem ---------------------------------------------------------------------------

MQListViewItem::MQListViewItem(const QString &title, const QString &page, const QString &position,
                               const QString &paragraph)
    : QTreeWidgetItem(QStringList{title, page, position, paragraph})
{
}

qint64 MQListViewItem::position() const
{
    return text(PositionColumn).toLongLong();  // 0 when it does not read as a number
}

QString MQListViewItem::key(int column, bool) const
{
    if (isPositionColumn(column))
        return QStringLiteral("%1").arg(position(), SortKeyDigits, 10, QLatin1Char('0'));
    return text(column);
}

bool MQListViewItem::operator<(const QTreeWidgetItem &other) const
{
    const int column = treeWidget() ? treeWidget()->sortColumn() : PositionColumn;
    if (!isPositionColumn(column))
        return QTreeWidgetItem::operator<(other);
    const qint64 otherPosition = other.text(PositionColumn).toLongLong();
    return position() < otherPosition;
}

// ---- Bookmarks --------------------------------------------------------------------------------

Bookmarks::Bookmarks(QWidget *parent, const char *name)
    : QWidget(parent)
{
    if (name)
        setObjectName(QString::fromLatin1(name));

    entryList = new QTreeWidget(this);
    auto *box = new QVBoxLayout(this);
    box->setContentsMargins(0, 0, 0, 0);
    box->addWidget(entryList);

    entryList->setColumnCount(2);
    entryList->setHeaderLabels({QStringLiteral("Bookmark"), QStringLiteral("Page")});
    entryList->setColumnWidth(MQListViewItem::TitleColumn, 0);
    entryList->setColumnWidth(MQListViewItem::PageColumn, 0);
    entryList->header()->setStretchLastSection(false);
    entryList->setRootIsDecorated(false);
    entryList->setAllColumnsShowFocus(true);
    entryList->setUniformRowHeights(true);
    entryList->setSelectionMode(QAbstractItemView::SingleSelection);
    // The position column has no header column of its own; the page column sorts by the same
    // key, so sorting by it orders the rows by position.
    entryList->setSortingEnabled(true);
    entryList->sortByColumn(MQListViewItem::PageColumn, Qt::AscendingOrder);
    entryList->installEventFilter(this);
    // The scroll bar comes and goes with the rows after the widget was shown or resized; the
    // title column follows it, so that no sideways scrolling appears.
    entryList->verticalScrollBar()->installEventFilter(this);
    setFocusProxy(entryList);

    connect(entryList, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem *item, int) { BookmarkSelected(item); });
    connect(entryList, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem *current, QTreeWidgetItem *) { currentItemChanged(current); });
}

void Bookmarks::loadBookmarks(const QString &path)
{
    QList<BookmarkRecord> records;
    readBookmarkRecords(path, records);  // a missing file is an empty list
    setRecords(records);
}

void Bookmarks::setRecords(const QList<BookmarkRecord> &records)
{
    entryList->clear();
    QList<QTreeWidgetItem *> rows;
    rows.reserve(records.size());
    // The same texts addBookmark() would make from the numbers: a line that is not a number
    // reads as 0, and leading zeros or signs are written the usual way.
    for (const BookmarkRecord &r : records)
        rows << new MQListViewItem(r.title, QString::number(r.page.toLongLong()),
                                   QString::number(r.position.toLongLong()),
                                   r.paragraph.toLongLong() != 0 ? QStringLiteral("1")
                                                                 : QStringLiteral("0"));
    entryList->addTopLevelItems(rows);
    sortRows();
}

bool Bookmarks::saveBookmarks(const QString &path)
{
    sortRows();
    BookmarkFileWriter writer(path);
    for (int i = 0; i < entryList->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *row = entryList->topLevelItem(i);
        writer.write(BookmarkRecord{row->text(MQListViewItem::TitleColumn),
                                    row->text(MQListViewItem::PageColumn),
                                    row->text(MQListViewItem::PositionColumn),
                                    row->text(MQListViewItem::ParagraphColumn)});
    }
    return writer.commit();
}

void Bookmarks::addBookmark(const QString &title, qint64 position, qint64 page, bool paragraph)
{
    entryList->addTopLevelItem(new MQListViewItem(title, QString::number(page),
                                                  QString::number(position),
                                                  paragraph ? QStringLiteral("1") : QStringLiteral("0")));
    sortRows();
}

void Bookmarks::deleteSelected()
{
    const QList<QTreeWidgetItem *> selected = entryList->selectedItems();
    if (selected.isEmpty())
        return;
    if (entryList->topLevelItemCount() > 1)
        delete selected.first();
    else
        entryList->clear();
    Q_EMIT listChanged();
}

void Bookmarks::BookmarkSelected(QTreeWidgetItem *item)
{
    if (!item)
        return;
    takeSelection(item);
    Q_EMIT BookmarkSignal();
}

void Bookmarks::currentItemChanged(QTreeWidgetItem *item)
{
    if (item)
        takeSelection(item);
}

void Bookmarks::takeSelection(QTreeWidgetItem *item)
{
    selectedPosition = item->text(MQListViewItem::PositionColumn).toLongLong();
    selectedParagraph = item->text(MQListViewItem::ParagraphColumn).toLongLong() != 0;
    hasSelection = true;
}

// The list sorts itself by the column and order its header shows (by position unless the user
// picked another header). Done at once, so that the display order is settled for saving.
void Bookmarks::sortRows()
{
    entryList->sortItems(entryList->header()->sortIndicatorSection(),
                         entryList->header()->sortIndicatorOrder());
}

// Return or Enter on the list chooses its current row, as a tap on it does.
bool Bookmarks::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == entryList->verticalScrollBar()
        && (event->type() == QEvent::Show || event->type() == QEvent::Hide)) {
        fitTitleColumn();
    } else if (watched == entryList && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            BookmarkSelected(entryList->currentItem());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Bookmarks::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    fitTitleColumn();
}

void Bookmarks::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    entryList->setFont(QFont(fontName, 10, QFont::Normal, false));
    fitTitleColumn();
}

void Bookmarks::fitTitleColumn()
{
    entryList->setColumnWidth(MQListViewItem::PageColumn, PageColumnWidth);
    const QScrollBar *bar = entryList->verticalScrollBar();
    const int barWidth = bar && bar->isVisible() ? bar->width() : 0;
    entryList->setColumnWidth(MQListViewItem::TitleColumn,
                              std::max(0, width() - PageColumnWidth - barWidth - 4));
}
