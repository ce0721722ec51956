#pragma once

#include "BookInfo.h"
#include "CopyMeter.h"
#include "Status.h"

#include <QString>

// Turns archives (zip, gzip), Palm databases (pdb, prc) and EPUB books into files that the view
// can read, inside a temporary folder private to the user: the text itself, or one HTML document
// for a book. It remembers what it prepared so that only those files are ever deleted.
//
// Threads: nothing here touches the GUI, so prepare may run on a worker thread. One preparer is
// used by one thread at a time; the static functions may be called from any thread.
class SourcePreparer
{
public:
    enum class Kind { Zip, Gzip, Palm, Epub, Mobi, Fb2, Fb2Zip, Plain };

    struct Result
    {
        Status status;     // why the document could not be prepared, with the message to show
        QString textPath;  // the prepared file to read
        QString rimPath;   // Plucker paragraph index, empty for everything else
        bool plucker = false;
        bool book = false;  // an e-book prepared as one HTML document (UTF-8), described by `info`
        BookInfo info;
        // The name the text has inside its packing: a zip's first file ("book/index.html"), a
        // gzip file's name without ".gz"; empty for Palm books.
        QString innerName;
    };

    SourcePreparer(); // prepared files go into "/tmp/folium"
    // Prepared files go into folderRoot + "/folium" instead (tests use a folder of their own).
    explicit SourcePreparer(const QString &folderRoot);
    ~SourcePreparer();
    SourcePreparer(const SourcePreparer &) = delete;
    SourcePreparer &operator=(const SourcePreparer &) = delete;

    // By the text after the last "." of the file name, lower-cased: "zip", "gz", "pdb"/"prc",
    // "epub", "mobi"/"azw"/"azw3", "fb2"; "fb2.zip" is Fb2Zip.
    static Kind kindOf(const QString &documentPath);
    // The kind told by the name, refined by the content of the file open on `fd`: a zip that holds
    // an EPUB book, or whose first file is a FictionBook; a Palm database that is a MOBI book.
    static Kind refineKind(Kind byName, int fd);
    // The e-books, prepared as one HTML document with a description.
    static bool isBook(Kind kind) { return kind == Kind::Epub || kind == Kind::Mobi || kind == Kind::Fb2 || kind == Kind::Fb2Zip; }

    // The largest prepared copy, in bytes; CopyMeter::DefaultLimit (1 GiB) until set. A preparation
    // that would write more stops and fails with TooLarge.
    void setMaxCopySize(quint64 bytes);
    quint64 maxCopySize() const;

    // Prepares a Zip, Gzip or Palm document; the status says why it cannot be read. A copy left
    // complete by an earlier preparation of the very same file (path, device, inode, size,
    // modification time) is reused, with a Plucker document's paragraph index. `progress` hears
    // how far through the source the work is and may stop it (Cancelled). A failed or cancelled
    // preparation deletes its partial copy and leaves nothing that would later be taken as complete.
    Result prepare(const QString &documentPath, const PrepareProgress &progress = {});

    // Deletes `path` if, and only if, this preparer made it. Called when the view stops reading it.
    void release(const QString &path);

    // The private folder prepared files go into: root + "/folium" when it is, or can be made,
    // a directory of this user with mode 0700 and not a symbolic link; otherwise a fresh
    // private root + "/folium-XXXXXX", removed again with this object. Empty if neither works.
    QString folder() const;

    // Deletes the partial copies (".part-*") in folderRoot + "/folium" that no live process is
    // writing: a preparer holds an exclusive flock on each part from its creation until it is
    // renamed into place. Only regular files of this user are deleted; links are never followed.
    // Returns how many went. Meant for once at start, before anything is prepared.
    static int removeAbandonedParts(const QString &folderRoot = QStringLiteral("/tmp"));

    // Opens a document for preparing: only a regular file, and never blocking on the way. On
    // failure *fd is -1 and the status says why (NotFound, NotRegularFile, Unreadable).
    static Status openSource(const QString &documentPath, int *fd);

    // The conversion alone, between descriptors the caller opened: `sourceFd` (from openSource),
    // `textFd` and `companionFd` (-1: none) are written from their current position. The
    // companion of a Palm book is its paragraph index, of an EPUB book its BookInfo text.
    // *companion tells whether one was written (a Plucker book or an e-book). On failure the
    // outputs hold a partial copy for the caller to delete.
    static Status unpack(Kind kind, int sourceFd, int textFd, int companionFd, CopyMeter &meter, bool *companion);

private:
    struct Private;
    Private *d;
};
