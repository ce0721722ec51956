#pragma once

#include <QStringList>
#include <QWidget>

class QLabel;
class QListWidget;

// What the window shows while no document is open: what Folium reads, how to open a book, and the
// books read last, one click away.
class WelcomePage : public QWidget
{
    Q_OBJECT

public:
    explicit WelcomePage(QWidget *parent = nullptr);
    void setRecent(const QStringList &paths);

    QListWidget *recentList = nullptr;

private:
    QLabel *recentTitle = nullptr;

Q_SIGNALS:
    void bookChosen(const QString &path);
};
