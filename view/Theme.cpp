#include "Theme.h"

Theme Theme::named(const QString &name)
{
    if (name == QLatin1String("Sepia"))
        return Theme{QColor(0xf4, 0xec, 0xd8), QColor(0x4b, 0x38, 0x28), QColor(0x1c, 0x4f, 0x8a),
                     QColor(0x2b, 0x3d, 0x6b), QColor(0xb0, 0x98, 0x70), QColor(0x7a, 0x66, 0x50)};
    if (name == QLatin1String("Night"))
        return Theme{QColor(0x1e, 0x1f, 0x22), QColor(0xcf, 0xcf, 0xc8), QColor(0x7f, 0xb0, 0xff),
                     QColor(0x9f, 0xb7, 0xe8), QColor(0x5a, 0x5a, 0x5e), QColor(0x9a, 0x9a, 0x9a)};
    return Theme{Qt::white, Qt::black, Qt::blue, Qt::darkBlue, QColor(0xa0, 0xa0, 0xa0), QColor(0x60, 0x60, 0x60)};
}

QColor Theme::wordColor(const QColor &stored) const
{
    if (!stored.isValid() || stored == QColor(Qt::black))
        return text;
    if (stored == QColor(Qt::blue))
        return link;
    if (stored == QColor(Qt::darkBlue))
        return recordLink;
    return stored;
}
