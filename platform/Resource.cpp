#include "Resource.h"

#include <QHash>
#include <QIcon>

static void initIconResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(icons);  // the library is static: keep its resources linked in
        return true;
    }();
    Q_UNUSED(done);
}

namespace {

// Our image names that have a counterpart in the freedesktop icon naming scheme.
QString themeName(const QString &name)
{
    static const QHash<QString, QString> names{
        {QStringLiteral("folium/fileopen"), QStringLiteral("document-open")},
        {QStringLiteral("folium/filesave"), QStringLiteral("document-save")},
        {QStringLiteral("folium/bookmark_add"), QStringLiteral("bookmark-new")},
        {QStringLiteral("folium/eraser"), QStringLiteral("edit-delete")},
        {QStringLiteral("back"), QStringLiteral("go-previous")},
        {QStringLiteral("close"), QStringLiteral("window-close")},
        {QStringLiteral("SettingsIcon"), QStringLiteral("preferences-system")},
        {QStringLiteral("OKButton"), QStringLiteral("dialog-ok")},
        {QStringLiteral("folder"), QStringLiteral("folder")},
        {QStringLiteral("DocsIcon"), QStringLiteral("text-x-generic")},
    };
    return names.value(name);
}

} // namespace

QPixmap Resource::loadBundledPixmap(const QString &name)
{
    initIconResources();
    if (name.isEmpty() || name.contains(QLatin1String("..")))
        return QPixmap();
    return QPixmap(QStringLiteral(":/icons/") + name + QStringLiteral(".png"));
}

QPixmap Resource::loadPixmap(const QString &name)
{
    const QPixmap bundled = loadBundledPixmap(name);
    if (bundled.isNull())
        return bundled;  // not one of ours: no theme look-up either
    const QString theme = themeName(name);
    if (!theme.isEmpty() && QIcon::hasThemeIcon(theme)) {
        const QPixmap themed = QIcon::fromTheme(theme).pixmap(QSize(IconSize, IconSize));
        if (!themed.isNull())
            return themed;
    }
    return bundled;
}
