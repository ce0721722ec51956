#pragma once

#include "ReadingPlaces.h"
#include "RecentDocuments.h"

#include <QMainWindow>
#include <QString>
#include <QTimer>

class Bookmarks;
class FindBar;
class FindSession;
struct FindOutcome;
class GetFileName;
class LibraryPage;
class MyView;
class Notice;
class QAction;
class QMenu;
class QMenuBar;
class QToolBar;
class SettingsDlg;
class WelcomePage;

// The reader's one window. Exactly one of the reading view, the file chooser, the settings page,
// the two lists and the library is its central widget; that choice is the mode, and each mode has
// its own menu bar and tool bar content. The settings are read once here at start and written on
// every close request; the window closes only in reading mode. Every book opened keeps its place
// in the library; while no document is open a welcome page covers the view.
class TextReader : public QMainWindow
{
    Q_OBJECT

public:
    // `document`, when given, is opened instead of the last document of the settings.
    explicit TextReader(QWidget *parent = nullptr, const char *name = nullptr, Qt::WindowFlags flags = {},
                        const QString &document = QString());
    ~TextReader() override;

    // All widgets and actions are children of the window.
    MyView *view = nullptr;
    Bookmarks *bookmarkList = nullptr;
    Bookmarks *contentsList = nullptr;
    GetFileName *fileChooser = nullptr;
    SettingsDlg *settingsDialog = nullptr;
    LibraryPage *libraryPage = nullptr;
    WelcomePage *welcomePage = nullptr;  // over the view while no document is open
    QAction *backAction = nullptr;
    QMenu *fileMenu = nullptr;
    QMenu *recentMenu = nullptr;
    QMenu *navigationMenu = nullptr;
    QMenu *helpMenu = nullptr;
    QMenuBar *menuBar = nullptr;  // lives in menuToolBar, not in the window's own menu bar slot
    QToolBar *menuToolBar = nullptr;
    QToolBar *actionToolBar = nullptr;  // the current mode's buttons
    QAction *openAction = nullptr;      // the reader's own file chooser ("Open"; File > Browse...)
    QAction *openFileAction = nullptr;  // the desktop's file dialog (File > Open..., Ctrl+O)
    QAction *browseAction = nullptr;
    QAction *libraryAction = nullptr;
    QAction *quitAction = nullptr;
    QAction *keysAction = nullptr;
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
    QAction *closeLibraryAction = nullptr;
    // Finding (TextReaderFind.cpp): the bar at the foot of the reading page and its actions.
    FindBar *findBar = nullptr;
    QToolBar *findToolBar = nullptr;
    QAction *findAction = nullptr;
    QAction *findNextAction = nullptr;
    QAction *findPreviousAction = nullptr;
    QAction *gotoAction = nullptr;
    bool fullScreen = false;
    QString folderPath;  // folder of the current document, where "Open" starts
    QString filePath;    // the current document as chosen or restored
    QString baseName;    // its file name up to the first dot: names the companion files

    // Companion files of the current document.
    QString bookmarkFile() const;
    QString contentsFile() const;
    const RecentDocuments &recent() const { return m_recent; }
    ReadingPlaces &places() { return m_places; }

Q_SIGNALS:
    void fileOpenSignal(const QString &path);
    void settingsChanged();
    void resumeSignal();

public Q_SLOTS:
    // Opening a document: from the chooser, the desktop's dialog, the recent list, the library, a
    // drop or the command line. The book comes back at its place.
    void openDocument(const QString &path);
    void fileOpen();
    void openFileDialog();
    void fileOpenedSlot();
    void fileNotOpenedSlot();
    void showLibrary();
    void closeLibrary();
    void showKeys();

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
    void setLibraryMenu();
    void showToolbar();
    void hideToolbar();

    void toggleFullScreenSlot();
    // Finding and going to a page.
    void showFindBar();
    void closeFindBar();
    void findNext();
    void findPrevious();
    void stopFinding();
    void gotoPageOrPercent();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Puts `page` in the middle of the window; the page it replaces stays a hidden child.
    void setPage(QWidget *page);
    void enterSideMode(QWidget *page, void (TextReader::*setMenu)());
    void returnToReading(QWidget *page);
    // R: the rotation steps 180, 90, 0, -90 and round again; the page is laid out anew.
    void rotateQuarterTurn();
    void showTitle();
    // "Folium", or "Folium - name".
    static QString caption(const QString &name);
    void takeDocument(const QString &path);
    void notePlace();
    void updateWelcome();
    void showBookContents();
    void fillRecentMenu();
    void firstStart();
    void setupFind();
    void startFind(bool backward);
    void findFinished(int search, const FindOutcome &outcome);
    void findProgress(int search, int percent);
    // Escape in reading mode: stops a search or closes the find bar; false when neither was there.
    bool escapeFind();

    RecentDocuments m_recent;
    ReadingPlaces m_places;
    Notice *m_notice = nullptr;
    QTimer m_placeTimer;  // notes the place a moment after the page changed
    QString m_startDocument;
    FindSession *m_findSession = nullptr;
    int m_findSearch = 0;        // the search whose outcome is awaited; 0: none
    int m_findPercent = 0;       // its progress as last reported
    bool m_findBackward = false;  // its direction
    QTimer m_findSlowTimer;      // a search running this long shows its progress
};
