#pragma once

#include <QString>
#include <QWidget>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// The reader's own file browser, shown by the main window in place of the reading view. Lists
// one folder at a time (folders first, then files, names compared without case) and reports a
// chosen file through fileSelectedSignal(). Every file is offered; none is opened here.
class GetFileName : public QWidget
{
    Q_OBJECT

public:
    explicit GetFileName(QWidget *parent = nullptr, const char *name = nullptr);

    QString selectedPath;     // full path of the last file chosen; empty until one is
    bool showHidden = false;  // dot entries are listed

    QLineEdit *pathEdit = nullptr;      // the listed folder; a folder path may be typed here
    QTreeWidget *entryList = nullptr;   // columns "Name", "Type", "Size"
    QString currentFolder;              // absolute path of the listed folder
    QPushButton *goButton = nullptr;    // lists the folder typed in pathEdit
    QCheckBox *hiddenCheck = nullptr;   // "Show hidden"

Q_SIGNALS:
    void fileSelectedSignal();
    void fileNotSelectedSignal();

public Q_SLOTS:
    // Lists `folder`, or the home folder when `folder` names no existing folder.
    void setFolderList(const QString &folder);
    // Enters the folder of a "dir" row (".." to the parent) or chooses the file of a file row.
    void slotFolderSelected(QTreeWidgetItem *item);
    void cdTo();
    void toggleHidden();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void fitNameColumn();
};
