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
#include <algorithm>
#include <climits>
#include <cmath>

namespace {

const QString SettingsName = QStringLiteral("Folium");
const QString SettingsGroup = QStringLiteral("Global");
const QString Caption = QStringLiteral("Folium");

// The rotation as the settings and the settings page hold it: whole degrees, truncated toward
// zero. Values outside int (a typed 1e300) are clamped, not left to undefined conversion.
int wholeDegrees(double rotation)
{
    if (!std::isfinite(rotation))
        return 0;
    return int(std::clamp(std::trunc(rotation), double(INT_MIN), double(INT_MAX)));
}

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
    view->backAction = backAction;
    backAction->setEnabled(false);
    view->rotation = 0.0;

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
    connect(this, &TextReader::settingsChanged, view, &MyView::resumeSlot);
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
    if (view->translationShown)
        return;  // the translation page owns the keys: taken, and nothing happens
    switch (event->key()) {
    case Qt::Key_R:
        // The settings page holds its own copy of the rotation, to be taken or dropped as a
        // whole: turning the page behind it would survive its "Close".
        if (centralWidget() == settingsDialog)
            break;
        view->rotation -= 90;
        if (view->rotation < -90)
            view->rotation = 180;
        Q_EMIT settingsChanged();
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
}

void TextReader::fileNotOpenedSlot()
{
    returnToReading(fileChooser);
}

// ---- Settings ---------------------------------------------------------------------------------

void TextReader::loadSettings()
{
    Config config(SettingsName, Config::User);
    if (!config.isValid())
        return;  // first run: the constructors' defaults stand
    config.setGroup(SettingsGroup);

    view->fontName = config.readEntry(QStringLiteral("Fontname"), QString());
    view->fontSize = config.readNumEntry(QStringLiteral("Fontsize"), -1);
    view->fontBold = config.readBoolEntry(QStringLiteral("Bold"), false);
    view->fontItalic = config.readBoolEntry(QStringLiteral("Italic"), false);
    view->justifyLines = config.readBoolEntry(QStringLiteral("Justify"), false);
    view->reparagraph = config.readBoolEntry(QStringLiteral("Reparagraph"), false);
    view->paragraphRegexp = config.readEntry(QStringLiteral("ParagraphRegexp"), QString());
    view->stripHtml = config.readBoolEntry(QStringLiteral("Striphtml"), false);
    view->stripNewlinesInHtml = config.readBoolEntry(QStringLiteral("StripNLinHtml"), false);
    view->crConvert = config.readBoolEntry(QStringLiteral("Crconvert"), false);
    view->barVisible = config.readBoolEntry(QStringLiteral("BarVisible"), false);
    view->encodingName = config.readEntry(QStringLiteral("Encoding"), QString());
    view->rotation = config.readNumEntry(QStringLiteral("Rotation"), -1);
    view->paragraphIndent = config.readNumEntry(QStringLiteral("Indent"), -1);
    view->pageMargin = config.readNumEntry(QStringLiteral("Margin"), -1);
    view->lineSpacing = config.readNumEntry(QStringLiteral("Spacing"), -1);
    view->scrollDelay = config.readNumEntry(QStringLiteral("Scroll"), -1);
    view->fileName = config.readEntry(QStringLiteral("File"), QString());
    folderPath = config.readEntry(QStringLiteral("Folderpath"), QString());

    filePath = view->fileName;
    baseName = QFileInfo(filePath).baseName();
    bookmarkList->loadBookmarks(bookmarkFile());
    contentsList->loadBookmarks(contentsFile());
    setWindowTitle(Caption + QStringLiteral(" - ") + baseName);

    // Positions are 64-bit here: a document past 2 GB keeps its page.
    view->pageStart.position = config.readNum64Entry(QStringLiteral("Position"), -1);
    view->pageStart.paragraph = config.readBoolEntry(QStringLiteral("Paragraph"), false);
    view->pageStart.penColor = QColor(config.readEntry(QStringLiteral("pagePenColor"), QString()));
    view->pageStart.bold = config.readBoolEntry(QStringLiteral("pageBold"), false);
    view->pageStart.italic = config.readBoolEntry(QStringLiteral("pageItalic"), false);
    view->pageStart.underline = config.readBoolEntry(QStringLiteral("pageUnderline"), false);
    view->internalDictionary = config.readBoolEntry(QStringLiteral("InternalDictionary"), false);
    view->dictionaryPath = config.readEntry(QStringLiteral("DictionaryPath"), QString());

    Q_EMIT resumeSignal();
}

void TextReader::saveSettings()
{
    Config config(SettingsName, Config::User);
    config.setGroup(SettingsGroup);

    config.writeEntry(QStringLiteral("Fontname"), view->fontName);
    config.writeEntry(QStringLiteral("Fontsize"), view->fontSize);
    config.writeEntry(QStringLiteral("Bold"), view->fontBold);
    config.writeEntry(QStringLiteral("Italic"), view->fontItalic);
    config.writeEntry(QStringLiteral("Justify"), view->justifyLines);
    config.writeEntry(QStringLiteral("Reparagraph"), view->reparagraph);
    config.writeEntry(QStringLiteral("ParagraphRegexp"), view->paragraphRegexp);
    config.writeEntry(QStringLiteral("Striphtml"), view->stripHtml);
    config.writeEntry(QStringLiteral("StripNLinHtml"), view->stripNewlinesInHtml);
    config.writeEntry(QStringLiteral("Crconvert"), view->crConvert);
    config.writeEntry(QStringLiteral("BarVisible"), view->barVisible);
    config.writeEntry(QStringLiteral("Encoding"), view->encodingName);
    config.writeEntry(QStringLiteral("Rotation"), wholeDegrees(view->rotation));
    config.writeEntry(QStringLiteral("Indent"), view->paragraphIndent);
    config.writeEntry(QStringLiteral("Margin"), view->pageMargin);
    config.writeEntry(QStringLiteral("Spacing"), view->lineSpacing);
    config.writeEntry(QStringLiteral("Scroll"), view->scrollDelay);
    config.writeEntry(QStringLiteral("File"), view->fileName);
    config.writeEntry(QStringLiteral("Folderpath"), folderPath);
    config.writeEntry(QStringLiteral("Position"), qint64(view->pageStart.position));
    config.writeEntry(QStringLiteral("Paragraph"), view->pageStart.paragraph);
    config.writeEntry(QStringLiteral("pagePenColor"), view->pageStart.penColor.name());
    config.writeEntry(QStringLiteral("pageBold"), view->pageStart.bold);
    config.writeEntry(QStringLiteral("pageItalic"), view->pageStart.italic);
    config.writeEntry(QStringLiteral("pageUnderline"), view->pageStart.underline);
    config.writeEntry(QStringLiteral("InternalDictionary"), view->internalDictionary);
    config.writeEntry(QStringLiteral("DictionaryPath"), view->dictionaryPath);
}

void TextReader::settings()
{
    settingsDialog->fontName = view->fontName;
    settingsDialog->fontSize = view->fontSize;
    settingsDialog->fontBold = view->fontBold;
    settingsDialog->fontItalic = view->fontItalic;
    settingsDialog->justifyLines = view->justifyLines;
    settingsDialog->reparagraph = view->reparagraph;
    settingsDialog->paragraphRegexp = view->paragraphRegexp;
    settingsDialog->stripHtml = view->stripHtml;
    settingsDialog->stripNewlinesInHtml = view->stripNewlinesInHtml;
    settingsDialog->crConvert = view->crConvert;
    settingsDialog->barVisible = view->barVisible;
    settingsDialog->encodingName = view->encodingName;
    settingsDialog->rotationText = QString::number(wholeDegrees(view->rotation));
    settingsDialog->paragraphIndent = view->paragraphIndent;
    settingsDialog->pageMargin = view->pageMargin;
    settingsDialog->lineSpacing = view->lineSpacing;
    settingsDialog->scrollDelay = view->scrollDelay;
    settingsDialog->internalDictionary = view->internalDictionary;
    settingsDialog->dictionaryPath = view->dictionaryPath;

    view->hide();
    setSettingsMenu();
    setPage(settingsDialog);
    settingsDialog->show();
    settingsDialog->setFocus();
}

void TextReader::acceptSettings()
{
    settingsDialog->acceptChanges();

    view->fontName = settingsDialog->fontName;
    view->fontSize = settingsDialog->fontSize;
    view->fontBold = settingsDialog->fontBold;
    view->fontItalic = settingsDialog->fontItalic;
    view->justifyLines = settingsDialog->justifyLines;
    view->reparagraph = settingsDialog->reparagraph;
    view->paragraphRegexp = settingsDialog->paragraphRegexp;
    view->stripHtml = settingsDialog->stripHtml;
    view->stripNewlinesInHtml = settingsDialog->stripNewlinesInHtml;
    view->crConvert = settingsDialog->crConvert;
    view->barVisible = settingsDialog->barVisible;
    view->encodingName = settingsDialog->encodingName;
    bool ok = false;
    const double rotation = settingsDialog->rotationText.trimmed().toDouble(&ok);
    view->rotation = ok && std::isfinite(rotation) ? rotation : 0.0;  // "inf" is no angle either
    view->paragraphIndent = settingsDialog->paragraphIndent;
    view->pageMargin = settingsDialog->pageMargin;
    view->lineSpacing = settingsDialog->lineSpacing;
    view->scrollDelay = settingsDialog->scrollDelay;
    view->internalDictionary = settingsDialog->internalDictionary;
    view->dictionaryPath = settingsDialog->dictionaryPath;

    Q_EMIT settingsChanged();
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
    bookmarkList->fontName = view->fontName;
    bookmarkList->show();
    bookmarkList->setFocus();
}

void TextReader::gotoContentsSlot()
{
    view->hide();
    setContentsMenu();
    setPage(contentsList);
    contentsList->fontName = view->fontName;
    contentsList->show();
    contentsList->setFocus();
}

void TextReader::addMarkSlot()
{
    if (view->documentOpen)
        bookmarkList->addBookmark(view->getBookmarkName(), view->pageStart.position,
                                  view->getPageNumber(), view->pageStart.paragraph);
    view->setFocus();  // the list takes the mark; it reaches the file only through "Save marks"
}

void TextReader::gotBookmark()
{
    returnToReading(bookmarkList);
    if (bookmarkList->hasSelection) {
        view->pageStart.position = bookmarkList->selectedPosition;
        view->pageStart.paragraph = bookmarkList->selectedParagraph;
        Q_EMIT resumeSignal();
    }
}

void TextReader::gotContents()
{
    returnToReading(contentsList);
    if (contentsList->hasSelection) {
        view->pageStart.position = contentsList->selectedPosition;
        view->pageStart.paragraph = contentsList->selectedParagraph;
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
