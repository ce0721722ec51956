#include "WelcomePage.h"

#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

WelcomePage::WelcomePage(QWidget *parent) : QWidget(parent)
{
    setAutoFillBackground(true);
    auto *rows = new QVBoxLayout(this);
    rows->setContentsMargins(48, 48, 48, 48);
    auto *title = new QLabel(QStringLiteral("Folium"));
    QFont big = title->font();
    big.setPointSizeF(big.pointSizeF() * 2.2);
    big.setBold(true);
    title->setFont(big);
    rows->addWidget(title);
    auto *about = new QLabel(tr("Folium reads plain text in any encoding, HTML pages, EPUB books, Palm e-books (PalmDoc and "
                                "Plucker), and each of these packed in a zip or gzip file."));
    about->setWordWrap(true);
    rows->addWidget(about);
    auto *open = new QLabel(tr("Open a book (Ctrl+O) or drop one here"));
    QFont bigger = open->font();
    bigger.setPointSizeF(bigger.pointSizeF() * 1.4);
    open->setFont(bigger);
    rows->addSpacing(24);
    rows->addWidget(open);
    rows->addSpacing(24);
    recentTitle = new QLabel(tr("Recent books"));
    rows->addWidget(recentTitle);
    recentList = new QListWidget;
    rows->addWidget(recentList, 1);
    rows->addStretch();
    connect(recentList, &QListWidget::itemActivated, this,
            [this](QListWidgetItem *item) { Q_EMIT bookChosen(item->data(Qt::UserRole).toString()); });
}

void WelcomePage::setRecent(const QStringList &paths)
{
    recentList->clear();
    for (const QString &path : paths) {
        auto *item = new QListWidgetItem(QFileInfo(path).fileName(), recentList);
        item->setData(Qt::UserRole, path);
        item->setToolTip(path);
    }
    // Nothing read yet: no empty box, the invitation alone.
    recentTitle->setVisible(!paths.isEmpty());
    recentList->setVisible(!paths.isEmpty());
}
