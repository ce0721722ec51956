#include "SourcePreparer.h"
#include "PluckerIndex.h"

#include <QFileInfo>

// Archive extraction and Palm conversion are not built yet: every such document fails to open.
struct SourcePreparer::Private
{
};

SourcePreparer::SourcePreparer() : d(new Private) {}
SourcePreparer::~SourcePreparer() { delete d; }

SourcePreparer::Kind SourcePreparer::kindOf(const QString &documentPath)
{
    const QString name = QFileInfo(documentPath).fileName();
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    const QString ext = dot < 0 ? QString() : name.mid(dot + 1).toLower();
    if (ext == QLatin1String("zip"))
        return Kind::Zip;
    if (ext == QLatin1String("gz"))
        return Kind::Gzip;
    if (ext == QLatin1String("pdb") || ext == QLatin1String("prc"))
        return Kind::Palm;
    return Kind::Plain;
}

SourcePreparer::Result SourcePreparer::prepare(const QString &) { return {}; }
void SourcePreparer::release(const QString &) {}
QString SourcePreparer::folder() const { return QStringLiteral("/tmp/folium"); }

QVector<PluckerIndexEntry> loadPluckerIndex(const QString &) { return {}; }
