#include "RecentDocuments.h"

#include "Config.h"

#include <QFileInfo>

namespace {
const QString Group = QStringLiteral("Recent");
QString key(int i) { return QStringLiteral("Document%1").arg(i + 1); }
} // namespace

void RecentDocuments::load()
{
    m_paths.clear();
    Config config(QStringLiteral("Folium"), Config::User);
    if (!config.isValid())
        return;
    config.setGroup(Group);
    for (int i = 0; i < Capacity; ++i) {
        const QString path = config.readEntry(key(i));
        if (!path.isEmpty() && !m_paths.contains(path))
            m_paths << path;
    }
}

void RecentDocuments::save() const
{
    Config config(QStringLiteral("Folium"), Config::User);
    config.setGroup(Group);
    for (int i = 0; i < Capacity; ++i)
        config.writeEntry(key(i), m_paths.value(i));
}

void RecentDocuments::add(const QString &path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    m_paths.removeAll(absolute);
    m_paths.prepend(absolute);
    while (m_paths.size() > Capacity)
        m_paths.removeLast();
}
