// Opening documents: the reader's own chooser, the desktop's file dialog, the recent list, the
// library, a drop or the command line all end in openDocument(), which brings the book back at
// its place and keeps that place while it is read.
#include "TextReader.h"

#include "Bookmarks.h"
#include "ContentsScanner.h"
#include "FileDialog.h"
#include "LibraryPage.h"
#include "MyView.h"
#include "Notice.h"
#include "WelcomePage.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>

void TextReader::fileOpen()
{
    view->hide();
    setFileOpenMenu();
    setPage(fileChooser);
    fileChooser->setFolderList(folderPath);
    fileChooser->show();
    fileChooser->setFocus();
}

void TextReader::openFileDialog()
{
    const QString path = QFileDialog::getOpenFileName(
        this, tr("Open a book"), folderPath,
        tr("Books (*.txt *.text *.html *.htm *.xhtml *.xht *.epub *.mobi *.azw *.azw3 *.prc *.pdb *.fb2 *.zip *.gz);;"
           "All files (*)"));
    if (!path.isEmpty())
        openDocument(path);
}

void TextReader::fileOpenedSlot()
{
    returnToReading(fileChooser);
    openDocument(fileChooser->selectedPath);
}

void TextReader::fileNotOpenedSlot()
{
    returnToReading(fileChooser);
}

// The window's side of a new current document: its companion lists and its name.
void TextReader::takeDocument(const QString &path)
{
    filePath = path;
    const QFileInfo info(filePath);
    baseName = info.baseName();
    folderPath = info.absolutePath();
    bookmarkList->loadBookmarks(bookmarkFile());
    contentsList->loadBookmarks(contentsFile());
    setWindowTitle(caption(baseName));
}

void TextReader::openDocument(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isFile()) {
        m_notice->say(tr("%1 is not a file that can be read").arg(path));
        return;
    }
    notePlace();  // where the book left behind was
    const QString absolute = info.absoluteFilePath();
    takeDocument(absolute);
    const std::optional<BookRecord> place = m_places.arrive(absolute);
    if (place && (place->position > 0 || !place->encoding.isEmpty())) {
        if (!place->encoding.isEmpty() && place->encoding != view->settings().encodingName) {
            ReaderSettings settings = view->settings();
            settings.encodingName = place->encoding;  // the encoding this book was read in
            view->setSettings(settings);
        }
        PageStart start;
        start.position = place->position;
        start.paragraph = place->paragraph;
        start.penColor = place->penColor.isEmpty() ? QColor(Qt::black) : QColor(place->penColor);
        start.bold = place->bold;
        start.italic = place->italic;
        start.underline = place->underline;
        view->setFileName(absolute);
        view->setPageStart(start);
        Q_EMIT resumeSignal();
    } else {
        Q_EMIT fileOpenSignal(absolute);
    }
    m_recent.add(absolute);
    m_recent.save();
    showBookContents();
    showTitle();
    updateWelcome();
    notePlace();  // the library knows the book from now on, also if the reader is killed
}

// A book's own contents fill the contents list until a contents file is built for it.
void TextReader::showBookContents()
{
    if (!QFileInfo::exists(contentsFile()) && view->documentOpen() && !view->document().book().contents.isEmpty())
        contentsList->setRecords(bookContents(view->document()));
}

// Notes the page on screen as the place of the book being read.
void TextReader::notePlace()
{
    m_placeTimer.stop();
    if (!view->documentOpen())
        return;
    m_places.note(view->pageStart(), view->document().size(), view->documentTitle(), view->documentAuthor(),
                  view->settings().encodingName);
}

void TextReader::fillRecentMenu()
{
    recentMenu->clear();
    for (const QString &path : m_recent.paths()) {
        QAction *entry = recentMenu->addAction(QFileInfo(path).fileName());
        entry->setToolTip(path);
        connect(entry, &QAction::triggered, this, [this, path] { openDocument(path); });
    }
    if (!m_recent.paths().isEmpty())
        recentMenu->addSeparator();
    QAction *clear = recentMenu->addAction(tr("Clear"));
    clear->setEnabled(!m_recent.paths().isEmpty());
    connect(clear, &QAction::triggered, this, [this] {
        m_recent.clear();
        m_recent.save();
        updateWelcome();
    });
}

void TextReader::updateWelcome()
{
    welcomePage->setRecent(m_recent.paths());
    welcomePage->setGeometry(view->rect());
    welcomePage->setVisible(!view->documentOpen());
}

void TextReader::showLibrary()
{
    notePlace();
    view->hide();
    setLibraryMenu();
    setPage(libraryPage);
    libraryPage->fill(m_places.store());
    libraryPage->show();
    libraryPage->setFocus();
}

void TextReader::closeLibrary()
{
    returnToReading(libraryPage);
}
