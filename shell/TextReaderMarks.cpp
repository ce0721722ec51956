// The bookmark and contents commands: the lists beside the document, a mark added for the page
// on screen (saved at once, so none is lost), and the contents built from the document.
#include "TextReader.h"

#include "Bookmarks.h"
#include "MyView.h"
#include "Notice.h"

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
    if (view->documentOpen()) {
        const QString name = view->getBookmarkName();
        bookmarkList->addBookmark(name, view->pageStart().position, view->getPageNumber(),
                                  view->pageStart().paragraph);
        // Written at once, so a mark is never lost; "Save marks" stays for those used to it.
        if (bookmarkList->saveBookmarks(bookmarkFile()))
            m_notice->say(tr("Added mark: %1").arg(name.trimmed()));
        else
            m_notice->say(tr("Added mark: %1, but %2 cannot be written").arg(name.trimmed(), bookmarkFile()), 6000);
    }
    view->setFocus();
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
