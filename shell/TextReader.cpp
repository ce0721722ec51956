#include "TextReader.h"

#include "Bookmarks.h"
#include "FileDialog.h"
#include "LibraryPage.h"
#include "MyView.h"
#include "Notice.h"
#include "Resource.h"
#include "SettingsDlg.h"
#include "KeysHelp.h"
#include "WelcomePage.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QToolBar>

TextReader::TextReader(QWidget *parent, const char *name, Qt::WindowFlags flags, const QString &document)
    : QMainWindow(parent, flags), m_startDocument(document)
{
    if (name)
        setObjectName(QString::fromLatin1(name));
    setWindowTitle(QStringLiteral("Folium"));

    setupMenus();
    setMainMenu();
    showToolbar();

    settingsDialog = new SettingsDlg(this, "settings");
    settingsDialog->hide();
    bookmarkList = new Bookmarks(this, "bookmarks");
    bookmarkList->hide();
    contentsList = new Bookmarks(this, "contents");
    contentsList->hide();

    view = new MyView(this, "view");
    connect(backAction, &QAction::triggered, view, &MyView::goLinkBack);
    view->setBackAction(backAction);
    backAction->setEnabled(false);

    setPage(view);
    resize(600, 800);
    fullScreen = false;
    showMaximized();

    folderPath = QDir::homePath();

    fileChooser = new GetFileName(this, "chooser");
    fileChooser->hide();

    connect(fileChooser, &GetFileName::fileSelectedSignal, this, &TextReader::fileOpenedSlot);
    connect(fileChooser, &GetFileName::fileNotSelectedSignal, this, &TextReader::fileNotOpenedSlot);
    connect(this, &TextReader::fileOpenSignal, view, &MyView::fileOpen);
    connect(this, &TextReader::settingsChanged, view, [this] { view->applySettings(view->settings()); });
    connect(settingsDialog, &SettingsDlg::acceptSettings, this, &TextReader::acceptSettings);
    connect(settingsDialog, &SettingsDlg::closeSettings, this, &TextReader::closeSettings);
    connect(view, &MyView::toggleFullScreen, this, &TextReader::toggleFullScreenSlot);
    connect(this, &TextReader::resumeSignal, view, &MyView::resumeSlot);
    connect(bookmarkList, &Bookmarks::BookmarkSignal, this, &TextReader::gotBookmark);
    connect(contentsList, &Bookmarks::BookmarkSignal, this, &TextReader::gotContents);

    // What the desktop adds: the library, the welcome page, drops, the place kept while reading.
    libraryPage = new LibraryPage(this);
    libraryPage->hide();
    connect(libraryPage, &LibraryPage::bookChosen, this, [this](const QString &path) {
        closeLibrary();
        openDocument(path);
    });
    connect(libraryPage, &LibraryPage::filterChanged, this, [this] { libraryPage->fill(m_places.store()); });
    connect(libraryPage, &LibraryPage::removeRequested, this, [this](qint64 id) {
        m_places.store().remove(id);
        libraryPage->fill(m_places.store());
    });
    welcomePage = new WelcomePage(view);
    connect(welcomePage, &WelcomePage::bookChosen, this, &TextReader::openDocument);
    view->installEventFilter(this);
    m_notice = new Notice(this);
    setupFind();
    setAcceptDrops(true);
    connect(bookmarkList, &Bookmarks::listChanged, this, &TextReader::saveBookmarks);
    m_placeTimer.setSingleShot(true);
    m_placeTimer.setInterval(1000);
    connect(&m_placeTimer, &QTimer::timeout, this, &TextReader::notePlace);
    connect(view, &MyView::pageShown, &m_placeTimer, qOverload<>(&QTimer::start));
    const Status library = m_places.open();
    if (!library.isOk()) {
        // Said once the window is up; reading goes on without the library.
        const QString why = QString::fromStdString(library.message());
        QTimer::singleShot(0, this, [this, why] { m_notice->say(tr("The library cannot be used: %1").arg(why), 6000); });
    }
    m_recent.load();

    loadSettings();
    updateWelcome();
}

TextReader::~TextReader() = default;

QString TextReader::caption(const QString &name)
{
    return QStringLiteral("Folium - ") + name;
}

QString TextReader::bookmarkFile() const
{
    return folderPath + QLatin1Char('/') + baseName + QStringLiteral(".bkm");
}

QString TextReader::contentsFile() const
{
    return folderPath + QLatin1Char('/') + baseName + QStringLiteral(".cnt");
}

// ---- Modes ------------------------------------------------------------------------------------

void TextReader::setPage(QWidget *page)
{
    QWidget *old = centralWidget();
    if (old == page)
        return;
    if (old) {
        // setCentralWidget() would delete the page it replaces; the five pages live as long as
        // the window, so take it out first and keep it as a hidden child.
        takeCentralWidget();
        old->setParent(this);
        old->hide();
    }
    setCentralWidget(page);
    if (findToolBar && page != view)
        findToolBar->hide();  // the find bar belongs to the reading page
}

void TextReader::returnToReading(QWidget *page)
{
    page->hide();
    setMainMenu();
    setPage(view);
    view->show();
    view->setFocus();
}

void TextReader::setupMenus()
{
    fileMenu = new QMenu(this);
    navigationMenu = new QMenu(this);

    auto makeAction = [this](const char *text, const char *icon) {
        auto *action = new QAction(QIcon(Resource::loadPixmap(QString::fromLatin1(icon))), tr(text), this);
        action->setCheckable(false);
        return action;
    };

    openFileAction = makeAction("Open...", "folium/fileopen");
    openFileAction->setShortcut(QKeySequence::Open);
    connect(openFileAction, &QAction::triggered, this, &TextReader::openFileDialog);
    fileMenu->addAction(openFileAction);

    openAction = makeAction("Open", "folium/fileopen");
    connect(openAction, &QAction::triggered, this, &TextReader::fileOpen);
    browseAction = makeAction("Browse...", "folder");
    connect(browseAction, &QAction::triggered, this, &TextReader::fileOpen);
    fileMenu->addAction(browseAction);

    recentMenu = fileMenu->addMenu(tr("Open Recent"));
    connect(recentMenu, &QMenu::aboutToShow, this, &TextReader::fillRecentMenu);

    libraryAction = makeAction("Library", "folium/bookmark_folder");
    libraryAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    connect(libraryAction, &QAction::triggered, this, &TextReader::showLibrary);
    fileMenu->addAction(libraryAction);
    fileMenu->addSeparator();

    backAction = makeAction("goBack", "back");  // connected to the view once it exists

    closeFileAction = makeAction("Close", "close");
    connect(closeFileAction, &QAction::triggered, this, &TextReader::fileNotOpenedSlot);

    settingsAction = makeAction("Settings", "SettingsIcon");
    connect(settingsAction, &QAction::triggered, this, &TextReader::settings);
    fileMenu->addAction(settingsAction);
    fileMenu->addSeparator();

    quitAction = makeAction("Quit", "close");
    quitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(quitAction, &QAction::triggered, this, &QWidget::close);
    fileMenu->addAction(quitAction);

    addMarkAction = makeAction("Add mark", "folium/bookmark_add");
    addMarkAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    connect(addMarkAction, &QAction::triggered, this, &TextReader::addMarkSlot);
    navigationMenu->addAction(addMarkAction);

    gotoMarkAction = makeAction("Goto mark", "folium/bookmark_folder");
    gotoMarkAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
    connect(gotoMarkAction, &QAction::triggered, this, &TextReader::gotoMarkSlot);
    navigationMenu->addAction(gotoMarkAction);

    saveMarksAction = makeAction("Save marks", "folium/filesave");
    saveMarksAction->setShortcut(QKeySequence::Save);
    connect(saveMarksAction, &QAction::triggered, this, &TextReader::saveBookmarks);
    navigationMenu->addAction(saveMarksAction);
    navigationMenu->addSeparator();

    closeMarksAction = makeAction("Close", "close");
    connect(closeMarksAction, &QAction::triggered, this, &TextReader::closeBookmark);

    contentsAction = makeAction("Table of Contents", "folium/contents");
    contentsAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    connect(contentsAction, &QAction::triggered, this, &TextReader::gotoContentsSlot);
    navigationMenu->addAction(contentsAction);

    buildContentsAction = makeAction("Build Contents", "folium/gear");
    connect(buildContentsAction, &QAction::triggered, this, &TextReader::generateContents);
    navigationMenu->addAction(buildContentsAction);

    closeContentsAction = makeAction("Close", "close");
    connect(closeContentsAction, &QAction::triggered, this, &TextReader::closeContents);

    closeSettingsAction = makeAction("Close", "close");
    connect(closeSettingsAction, &QAction::triggered, this, &TextReader::closeSettings);

    acceptSettingsAction = makeAction("OK", "OKButton");
    connect(acceptSettingsAction, &QAction::triggered, this, &TextReader::acceptSettings);

    closeLibraryAction = makeAction("Close", "close");
    connect(closeLibraryAction, &QAction::triggered, this, &TextReader::closeLibrary);

    helpMenu = new QMenu(this);
    keysAction = makeAction("Keys", "DocsIcon");
    keysAction->setShortcut(QKeySequence::HelpContents);
    connect(keysAction, &QAction::triggered, this, &TextReader::showKeys);
    helpMenu->addAction(keysAction);

    menuToolBar = new QToolBar(this);
    menuToolBar->setObjectName(QStringLiteral("menuToolBar"));
    menuToolBar->setMovable(false);
    addToolBar(menuToolBar);
    menuBar = new QMenuBar(menuToolBar);
    menuBar->setNativeMenuBar(false);  // it belongs in its tool bar, not in a desktop-wide bar
    menuBar->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    menuToolBar->addWidget(menuBar);

    addToolBarBreak();  // the menu bar's tool bar takes the whole width; the buttons go below
    actionToolBar = new QToolBar(this);
    actionToolBar->setObjectName(QStringLiteral("actionToolBar"));
    actionToolBar->setMovable(false);
    addToolBar(actionToolBar);
}

void TextReader::setMainMenu()
{
    actionToolBar->clear();
    actionToolBar->addAction(backAction);
    actionToolBar->addAction(openAction);
    actionToolBar->addAction(settingsAction);
    actionToolBar->addAction(addMarkAction);
    actionToolBar->addAction(gotoMarkAction);

    menuBar->clear();
    fileMenu->setTitle(QStringLiteral("File"));
    menuBar->addMenu(fileMenu);
    navigationMenu->setTitle(QStringLiteral("Navigation"));
    menuBar->addMenu(navigationMenu);
    helpMenu->setTitle(QStringLiteral("Help"));
    menuBar->addMenu(helpMenu);
}

void TextReader::setBookmarksMenu()
{
    menuBar->clear();  // also deletes the items this function made last time
    QAction *save = menuBar->addAction(QString());
    save->setIcon(QIcon(Resource::loadPixmap(QStringLiteral("folium/filesave"))));
    connect(save, &QAction::triggered, this, &TextReader::saveBookmarks);
    QAction *erase = menuBar->addAction(QString());
    erase->setIcon(QIcon(Resource::loadPixmap(QStringLiteral("folium/eraser"))));
    connect(erase, &QAction::triggered, bookmarkList, &Bookmarks::deleteSelected);

    actionToolBar->clear();
    actionToolBar->addAction(closeMarksAction);
}

void TextReader::setContentsMenu()
{
    menuBar->clear();
    actionToolBar->clear();
    actionToolBar->addAction(closeContentsAction);
}

void TextReader::setSettingsMenu()
{
    menuBar->clear();
    actionToolBar->clear();
    actionToolBar->addAction(closeSettingsAction);
    actionToolBar->addAction(acceptSettingsAction);
}

void TextReader::setFileOpenMenu()
{
    menuBar->clear();
    actionToolBar->clear();
    actionToolBar->addAction(closeFileAction);
}

void TextReader::setLibraryMenu()
{
    menuBar->clear();
    actionToolBar->clear();
    actionToolBar->addAction(closeLibraryAction);
}

void TextReader::showToolbar()
{
    menuToolBar->show();
}

void TextReader::hideToolbar()
{
    menuToolBar->hide();
}

// ---- Keys, full screen, closing ---------------------------------------------------------------

void TextReader::keyPressEvent(QKeyEvent *event)
{
    if (view->translationShown())
        return;  // the translation page owns the keys: taken, and nothing happens
    switch (event->key()) {
    case Qt::Key_R:
        // The settings page holds its own copy of the rotation, to be taken or dropped as a
        // whole: turning the page behind it would survive its "Close".
        if (centralWidget() == settingsDialog)
            break;
        rotateQuarterTurn();
        break;
    case Qt::Key_Space:
        toggleFullScreenSlot();
        break;
    case Qt::Key_Escape:
        if (centralWidget() == view && escapeFind())
            break;
        if (centralWidget() == bookmarkList || centralWidget() == contentsList || centralWidget() == libraryPage)
            returnToReading(centralWidget());
        break;
    case Qt::Key_F11:
        if (!menuBar->actions().isEmpty())
            menuBar->setActiveAction(menuBar->actions().first());
        break;
    default:
        event->ignore();
    }
}

void TextReader::toggleFullScreenSlot()
{
    if (!view->isVisible())
        return;
    if (fullScreen) {
        showToolbar();
        showNormal();
        showMaximized();
    } else {
        hideToolbar();
        showNormal();
        showFullScreen();
    }
    setPage(view);
    fullScreen = !fullScreen;
    view->setFocus();
}

void TextReader::focusOutEvent(QFocusEvent *event)
{
    QMainWindow::focusOutEvent(event);
    if (fullScreen)
        toggleFullScreenSlot();
}

void TextReader::closeEvent(QCloseEvent *event)
{
    saveSettings();
    notePlace();
    if (centralWidget() == view)
        event->accept();
    else
        event->ignore();  // back to reading mode first
}

void TextReader::dragEnterEvent(QDragEnterEvent *event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (!urls.isEmpty() && urls.first().isLocalFile())
        event->acceptProposedAction();
}

void TextReader::dropEvent(QDropEvent *event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty() || !urls.first().isLocalFile())
        return;
    event->acceptProposedAction();
    if (centralWidget() != view)
        returnToReading(centralWidget());
    openDocument(urls.first().toLocalFile());
}

// The welcome page covers the view exactly.
bool TextReader::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == view && event->type() == QEvent::Resize)
        welcomePage->setGeometry(view->rect());
    return QMainWindow::eventFilter(watched, event);
}

void TextReader::showKeys()
{
    auto *box = new QMessageBox(QMessageBox::NoIcon, tr("Keys"), keysText(), QMessageBox::Close, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}
