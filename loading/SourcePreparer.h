#pragma once

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
        bool ok = false;
        QString textPath;  // the prepared file to read
        QString rimPath;   // Plucker paragraph index, empty for everything else
        bool plucker = false;
    };

    SourcePreparer();
    ~SourcePreparer();
    SourcePreparer(const SourcePreparer &) = delete;
    SourcePreparer &operator=(const SourcePreparer &) = delete;

    // By the text after the last "." of the file name, lower-cased: "zip", "gz", "pdb"/"prc".
    static Kind kindOf(const QString &documentPath);

    // Prepares a Zip, Gzip or Palm document; ok is false when it cannot be read.
    Result prepare(const QString &documentPath);

    // Deletes `path` if, and only if, this preparer made it. Called when the view stops reading it.
    void release(const QString &path);

    // The private folder prepared files go into ("/tmp/folium" when that is safe to use).
    QString folder() const;

private:
    struct Private;
    Private *d;
};
