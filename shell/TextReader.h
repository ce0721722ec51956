#pragma once

#include <QMainWindow>
#include <QString>

class Bookmarks;
class GetFileName;
class MyView;
class QAction;
class QMenu;
class QMenuBar;
class QToolBar;
class SettingsDlg;

// The reader's one window. Exactly one of the reading view, the file chooser, the settings page
// and the two lists is its central widget; that choice is the mode, and each mode has its own
// menu bar and tool bar content. The settings are read once here at start and written on every
// close request; the window closes only in reading mode.
class TextReader : public QMainWindow
{
    Q_OBJECT

public:
    explicit TextReader(QWidget *parent = nullptr, const char *name = nullptr,
                        Qt::WindowFlags flags = {});
    ~TextReader() override;

    // All widgets and actions are children of the window.
    MyView *view = nullptr;
    Bookmarks *bookmarkList = nullptr;
    Bookmarks *contentsList = nullptr;
    GetFileName *fileChooser = nullptr;
    SettingsDlg *settingsDialog = nullptr;
    QAction *backAction = nullptr;
    QMenu *fileMenu = nullptr;
    QMenu *navigationMenu = nullptr;
    QMenuBar *menuBar = nullptr;  // lives in menuToolBar, not in the window's own menu bar slot
    QToolBar *menuToolBar = nullptr;
    QToolBar *actionToolBar = nullptr;  // the current mode's buttons
    QAction *openAction = nullptr;
    QAction *settingsAction = nullptr;
    QAction *addMarkAction = nullptr;
    QAction *gotoMarkAction = nullptr;
    QAction *closeMarksAction = nullptr;
    QAction *saveMarksAction = nullptr;
    QAction *contentsAction = nullptr;
    QAction *buildContentsAction = nullptr;
    QAction *closeContentsAction = nullptr;
    QAction *closeSettingsAction = nullptr;
    QAction *acceptSettingsAction = nullptr;
    QAction *closeFileAction = nullptr;
    bool fullScreen = false;
    QString folderPath;  // folder of the current document, where "Open" starts
    QString filePath;    // the current document as chosen or restored
    QString baseName;    // its file name up to the first dot: names the companion files

    // Companion files of the current document.
    QString bookmarkFile() const;
    QString contentsFile() const;

Q_SIGNALS:
    void fileOpenSignal(const QString &path);
    void settingsChanged();
    void resumeSignal();

public Q_SLOTS:
    // Opening a document.
    void fileOpen();
    void fileOpenedSlot();
    void fileNotOpenedSlot();

    // Settings.
    void settings();
    void acceptSettings();
    void closeSettings();
    void loadSettings();
    void saveSettings();

    // Bookmarks and contents.
    void gotoMarkSlot();
    void addMarkSlot();
    void gotBookmark();
    void saveBookmarks();
    void closeBookmark();
    void generateContents();
    void gotoContentsSlot();
    void gotContents();
    void closeContents();

    // Menus and tool bars.
    void setupMenus();
    void setMainMenu();
    void setBookmarksMenu();
    void setContentsMenu();
    void setSettingsMenu();
    void setFileOpenMenu();
    void showToolbar();
    void hideToolbar();

    void toggleFullScreenSlot();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    // Puts `page` in the middle of the window; the page it replaces stays a hidden child.
    void setPage(QWidget *page);
    void enterSideMode(QWidget *page, void (TextReader::*setMenu)());
    void returnToReading(QWidget *page);
    // R: the rotation steps 180, 90, 0, -90 and round again; the page is laid out anew.
    void rotateQuarterTurn();
    void showTitle();
};
