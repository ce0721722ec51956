#pragma once

#include "Status.h"

#include <QString>

// Turns archives (zip, gzip) and Palm databases (pdb, prc) into plain files that the view
// can read, inside a temporary folder private to the user. It remembers what it prepared so
// that only those files are ever deleted.
class SourcePreparer
{
public:
    enum class Kind { Zip, Gzip, Palm, Plain };

    struct Result
    {
        Status status;     // why the document could not be prepared, with the message to show
        QString textPath;  // the prepared file to read
        QString rimPath;   // Plucker paragraph index, empty for everything else
        bool plucker = false;
    };

    SourcePreparer(); // prepared files go into "/tmp/folium"
    // Prepared files go into folderRoot + "/folium" instead (tests use a folder of their own).
    explicit SourcePreparer(const QString &folderRoot);
    ~SourcePreparer();
    SourcePreparer(const SourcePreparer &) = delete;
    SourcePreparer &operator=(const SourcePreparer &) = delete;

    // By the text after the last "." of the file name, lower-cased: "zip", "gz", "pdb"/"prc".
    static Kind kindOf(const QString &documentPath);

    // Prepares a Zip, Gzip or Palm document; the status says why it cannot be read. A zip or gzip
    // copy left complete by an earlier preparation of the very same file (path, size,
    // modification time) is reused; Palm databases are converted afresh every time. A failed
    // preparation leaves nothing in the folder that would later be taken as complete.
    Result prepare(const QString &documentPath);

    // Deletes `path` if, and only if, this preparer made it. Called when the view stops reading it.
    void release(const QString &path);

    // The private folder prepared files go into: root + "/folium" when it is, or can be made,
    // a directory of this user with mode 0700 and not a symbolic link; otherwise a fresh
    // private root + "/folium-XXXXXX", removed again with this object. Empty if neither works.
    QString folder() const;

private:
    struct Private;
    Private *d;
};
