#include "FileDialog.h"

#include "Resource.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

const QString DirType = QStringLiteral("dir");
const QString UpName = QStringLiteral("..");

enum Column { NameColumn, TypeColumn, SizeColumn };

QString existingFolderOrHome(const QString &folder)
{
    // An empty name would mean the current working folder to QDir; it names no folder here.
    if (!folder.isEmpty() && QFileInfo(folder).isDir())
        return folder;
    return QDir::homePath();
}

} // namespace

GetFileName::GetFileName(QWidget *parent, const char *name)
    : QWidget(parent)
{
    if (name)
        setObjectName(QString::fromLatin1(name));

    pathEdit = new QLineEdit(this);
    entryList = new QTreeWidget(this);
    goButton = new QPushButton(this);
    goButton->setIcon(QIcon(Resource::loadPixmap(QStringLiteral("enter"))));
    if (goButton->icon().isNull())
        goButton->setText(QStringLiteral("Go"));
    hiddenCheck = new QCheckBox(QStringLiteral("Show hidden"), this);

    auto *box = new QVBoxLayout(this);
    box->setContentsMargins(0, 0, 0, 0);
    box->setSpacing(2);
    auto *row = new QHBoxLayout;
    row->addWidget(pathEdit);
    row->addWidget(goButton);
    row->addWidget(hiddenCheck);
    box->addLayout(row);
    box->addWidget(entryList);

    entryList->setColumnCount(3);
    entryList->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Type"), QStringLiteral("Size")});
    entryList->setRootIsDecorated(false);
    entryList->setSortingEnabled(false);  // rows stay in the order they are inserted
    entryList->setAllColumnsShowFocus(true);
    entryList->setUniformRowHeights(true);
    entryList->header()->setStretchLastSection(false);
    entryList->setColumnWidth(NameColumn, 0);
    entryList->setColumnWidth(TypeColumn, 30);
    entryList->setColumnWidth(SizeColumn, 50);
    entryList->installEventFilter(this);
    setFocusProxy(entryList);

    connect(entryList, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem *item, int) { slotFolderSelected(item); });
    connect(goButton, &QPushButton::clicked, this, &GetFileName::cdTo);
    connect(pathEdit, &QLineEdit::returnPressed, this, &GetFileName::cdTo);
    connect(hiddenCheck, &QCheckBox::clicked, this, &GetFileName::toggleHidden);
}

void GetFileName::setFolderList(const QString &folder)
{
    entryList->clear();

    QDir dir(existingFolderOrHome(folder));
    dir.setFilter(showHidden ? QDir::Dirs | QDir::Files | QDir::Drives | QDir::Hidden
                             : QDir::Dirs | QDir::Files | QDir::Drives);
    currentFolder = dir.absolutePath();
    pathEdit->setText(currentFolder);
    dir.setSorting(QDir::DirsFirst | QDir::IgnoreCase | QDir::Name);

    QList<QTreeWidgetItem *> rows;
    const QFileInfoList entries = dir.entryInfoList();
    for (const QFileInfo &entry : entries) {
        const QString fileName = entry.fileName();
        if (fileName == QLatin1String("."))
            continue;
        QStringList texts;
        if (fileName == UpName || fileName == QLatin1String("NotAvailable"))
            texts = {UpName, DirType, QString()};
        else if (entry.isDir())
            texts = {fileName, DirType, QString()};
        else
            texts = {fileName, QString(), QString::number(entry.size())};
        rows << new QTreeWidgetItem(texts);
    }
    entryList->addTopLevelItems(rows);
    fitNameColumn();
}

void GetFileName::slotFolderSelected(QTreeWidgetItem *item)
{
    QDir dir(existingFolderOrHome(currentFolder));
    if (!item)
        return;
    const QString name = item->text(NameColumn);
    if (item->text(TypeColumn) == DirType) {
        QDir target = dir;
        const bool moved = name == UpName ? target.cdUp() : target.cd(name);
        const QFileInfo info(target.absolutePath());
        // A folder we may not read or pass through would list empty, without even a way back.
        if (moved && info.isReadable() && info.isExecutable())
            dir = target;
        setFolderList(dir.absolutePath());
        return;
    }
    selectedPath = dir.absolutePath() + QLatin1Char('/') + name;
    Q_EMIT fileSelectedSignal();
}

void GetFileName::cdTo()
{
    setFolderList(pathEdit->text());
}

void GetFileName::toggleHidden()
{
    showHidden = hiddenCheck->isChecked();
    setFolderList(currentFolder);
}

void GetFileName::keyPressEvent(QKeyEvent *event)
{
    const bool okKey = event->key() == Qt::Key_F33
                       || (event->key() == Qt::Key_Enter && !pathEdit->hasFocus());
    if (event->key() == Qt::Key_Escape) {
        Q_EMIT fileNotSelectedSignal();
    } else if (okKey) {
        if (QTreeWidgetItem *current = entryList->currentItem())
            slotFolderSelected(current);
    } else {
        event->ignore();
    }
}

// Return on the list confirms its current row, as a tap on it would.
bool GetFileName::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == entryList && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (QTreeWidgetItem *current = entryList->currentItem())
                slotFolderSelected(current);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void GetFileName::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    fitNameColumn();
}

void GetFileName::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    entryList->setFont(QFont(QStringLiteral("helvetica"), 10, QFont::Normal, false));
    fitNameColumn();
}

void GetFileName::fitNameColumn()
{
    const QScrollBar *bar = entryList->verticalScrollBar();
    const int barWidth = bar && bar->isVisible() ? bar->width() : 0;
    const int width = this->width() - entryList->columnWidth(TypeColumn)
                      - entryList->columnWidth(SizeColumn) - barWidth - 4;
    entryList->setColumnWidth(NameColumn, std::max(0, width));
}
