#include "TextReader.h"

#include "Bookmarks.h"
#include "Config.h"
#include "FileDialog.h"
#include "MyView.h"
#include "Resource.h"
#include "SettingsDlg.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>

namespace {

const QString SettingsName = QStringLiteral("Folium");
const QString SettingsGroup = QStringLiteral("Global");
const QString Caption = QStringLiteral("Folium");

} // namespace

TextReader::TextReader(QWidget *parent, const char *name, Qt::WindowFlags flags)
    : QMainWindow(parent, flags)
{
    if (name)
        setObjectName(QString::fromLatin1(name));
    setWindowTitle(Caption);

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

    loadSettings();
}

TextReader::~TextReader() = default;  // saving happens on close requests only

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

    openAction = makeAction("Open", "folium/fileopen");
    connect(openAction, &QAction::triggered, this, &TextReader::fileOpen);
    fileMenu->addAction(openAction);

    backAction = makeAction("goBack", "back");  // connected to the view once it exists

    closeFileAction = makeAction("Close", "close");
    connect(closeFileAction, &QAction::triggered, this, &TextReader::fileNotOpenedSlot);

    settingsAction = makeAction("Settings", "SettingsIcon");
    connect(settingsAction, &QAction::triggered, this, &TextReader::settings);
    fileMenu->addAction(settingsAction);

    addMarkAction = makeAction("Add mark", "folium/bookmark_add");
    connect(addMarkAction, &QAction::triggered, this, &TextReader::addMarkSlot);
    navigationMenu->addAction(addMarkAction);

    gotoMarkAction = makeAction("Goto mark", "folium/bookmark_folder");
    connect(gotoMarkAction, &QAction::triggered, this, &TextReader::gotoMarkSlot);
    navigationMenu->addAction(gotoMarkAction);

    saveMarksAction = makeAction("Save marks", "folium/filesave");
    connect(saveMarksAction, &QAction::triggered, this, &TextReader::saveBookmarks);
    navigationMenu->addAction(saveMarksAction);
    navigationMenu->addSeparator();

    closeMarksAction = makeAction("Close", "close");
    connect(closeMarksAction, &QAction::triggered, this, &TextReader::closeBookmark);

    contentsAction = makeAction("Table of Contents", "folium/contents");
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
        if (centralWidget() == bookmarkList || centralWidget() == contentsList)
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
    if (centralWidget() == view)
        event->accept();
    else
        event->ignore();  // back to reading mode first
}

// ---- Opening a document -----------------------------------------------------------------------

void TextReader::fileOpen()
{
    view->hide();
    setFileOpenMenu();
    setPage(fileChooser);
    fileChooser->setFolderList(folderPath);
    fileChooser->show();
    fileChooser->setFocus();
}

void TextReader::fileOpenedSlot()
{
    filePath = fileChooser->selectedPath;
    const QFileInfo info(filePath);
    baseName = info.baseName();
    folderPath = info.absolutePath();
    bookmarkList->loadBookmarks(bookmarkFile());
    contentsList->loadBookmarks(contentsFile());
    setWindowTitle(Caption + QStringLiteral(" - ") + baseName);
    returnToReading(fileChooser);
    Q_EMIT fileOpenSignal(fileChooser->selectedPath);
    showTitle();
}

void TextReader::fileNotOpenedSlot()
{
    returnToReading(fileChooser);
}

// ---- Settings ---------------------------------------------------------------------------------

void TextReader::rotateQuarterTurn()
{
    ReaderSettings settings = view->settings();
    settings.rotation -= 90;
    if (settings.rotation < -90)
        settings.rotation = 180;
    view->setSettings(settings);
    Q_EMIT settingsChanged();
}

void TextReader::loadSettings()
{
    Config config(SettingsName, Config::User);
    if (!config.isValid())
        return;  // first run: the constructors' defaults stand
    config.setGroup(SettingsGroup);

    ReaderSettings settings;
    settings.load(config);
    ReadingPlace place;
    place.load(config);
    view->setSettings(settings);
    view->setFileName(place.fileName);
    folderPath = place.folderPath;

    filePath = place.fileName;
    baseName = QFileInfo(filePath).baseName();
    bookmarkList->loadBookmarks(bookmarkFile());
    contentsList->loadBookmarks(contentsFile());
    setWindowTitle(Caption + QStringLiteral(" - ") + baseName);

    PageStart start = view->pageStart();
    start.position = place.position;
    start.paragraph = place.paragraph;
    start.penColor = place.penColor;
    start.bold = place.bold;
    start.italic = place.italic;
    start.underline = place.underline;
    view->setPageStart(start);
    Q_EMIT resumeSignal();
    showTitle();
}

// A document that names itself (an HTML title) is called so in the caption; any other by its
// base name.
void TextReader::showTitle()
{
    const QString title = view->documentTitle();
    if (!title.isEmpty())
        setWindowTitle(Caption + QStringLiteral(" - ") + title);
}

void TextReader::saveSettings()
{
    Config config(SettingsName, Config::User);
    config.setGroup(SettingsGroup);
    view->settings().save(config);
    const PageStart &start = view->pageStart();
    ReadingPlace place;
    place.fileName = view->fileName();
    place.folderPath = folderPath;
    place.position = start.position;
    place.paragraph = start.paragraph;
    place.penColor = start.penColor;
    place.bold = start.bold;
    place.italic = start.italic;
    place.underline = start.underline;
    place.save(config);
}

void TextReader::settings()
{
    settingsDialog->setValues(view->settings());
    settingsDialog->setDetectedEncoding(view->documentOpen() && view->settings().encodingName == Document::Automatic
                                            ? view->document().encodingShown()
                                            : QString());
    view->hide();
    setSettingsMenu();
    setPage(settingsDialog);
    settingsDialog->show();
    settingsDialog->setFocus();
}

void TextReader::acceptSettings()
{
    settingsDialog->acceptChanges();
    view->applySettings(settingsDialog->values());
    closeSettings();
}

void TextReader::closeSettings()
{
    returnToReading(settingsDialog);
}

// ---- Bookmarks and contents -------------------------------------------------------------------

void TextReader::gotoMarkSlot()
{
    view->hide();
    setBookmarksMenu();
    setPage(bookmarkList);
    bookmarkList->fontName = view->settings().fontName;
    bookmarkList->show();
    bookmarkList->setFocus();
}

void TextReader::gotoContentsSlot()
{
    view->hide();
    setContentsMenu();
    setPage(contentsList);
    contentsList->fontName = view->settings().fontName;
    contentsList->show();
    contentsList->setFocus();
}

void TextReader::addMarkSlot()
{
    if (view->documentOpen())
        bookmarkList->addBookmark(view->getBookmarkName(), view->pageStart().position, view->getPageNumber(),
                                  view->pageStart().paragraph);
    view->setFocus();  // the list takes the mark; it reaches the file only through "Save marks"
}

void TextReader::gotBookmark()
{
    returnToReading(bookmarkList);
    if (bookmarkList->hasSelection) {
        PageStart start = view->pageStart();
        start.position = bookmarkList->selectedPosition;
        start.paragraph = bookmarkList->selectedParagraph;
        view->setPageStart(start);
        Q_EMIT resumeSignal();
    }
}

void TextReader::gotContents()
{
    returnToReading(contentsList);
    if (contentsList->hasSelection) {
        PageStart start = view->pageStart();
        start.position = contentsList->selectedPosition;
        start.paragraph = contentsList->selectedParagraph;
        view->setPageStart(start);
        Q_EMIT resumeSignal();
    }
}

void TextReader::closeBookmark()
{
    returnToReading(bookmarkList);
}

void TextReader::closeContents()
{
    returnToReading(contentsList);
}

void TextReader::saveBookmarks()
{
    bookmarkList->saveBookmarks(bookmarkFile());
}

void TextReader::generateContents()
{
    view->generateContents(contentsFile());
    contentsList->loadBookmarks(contentsFile());
}
