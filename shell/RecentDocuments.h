#pragma once

#include <QStringList>

// The documents opened last, newest first, at most Capacity of them, kept in the settings file
// (group "Recent", beside the reader's "Global" group).
class RecentDocuments
{
public:
    static constexpr int Capacity = 10;

    void load();
    void save() const;
    // `path` becomes the newest; a path already listed moves to the front.
    void add(const QString &path);
    void clear() { m_paths.clear(); }
    const QStringList &paths() const { return m_paths; }

private:
    QStringList m_paths;
};
