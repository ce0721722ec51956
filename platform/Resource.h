#pragma once

#include <QPixmap>
#include <QString>

// Named application images, e.g. "folium/fileopen" or "folder".
class Resource
{
public:
    // The desktop icon theme's image when the name has a standard counterpart there, else the
    // bundled image ":/icons/<name>.png"; a null pixmap for an unknown name.
    static QPixmap loadPixmap(const QString &name);

    // The bundled image only, ignoring the desktop theme.
    static QPixmap loadBundledPixmap(const QString &name);

    static constexpr int IconSize = 24;  // pixels, width and height of the bundled images
};
