// Application images: every bundled one is there at the icon size, unknown names give nothing,
// and a theme's image is preferred only where it has the standard name.
#include <QDir>
#include <QIcon>
#include <QTemporaryDir>
#include <QTest>
#include "Resource.h"

class tst_Resource : public QObject
{
    Q_OBJECT

    QTemporaryDir m_themes;

private slots:
    void images()
    {
        // A theme of our own with two of the standard names, independent of the machine's.
        const QString dir = m_themes.path() + "/plain/24x24/actions";
        QFile index(m_themes.path() + "/plain/index.theme");
        QVERIFY(QDir().mkpath(dir) && index.open(QIODevice::WriteOnly));
        index.write("[Icon Theme]\nName=plain\nDirectories=24x24/actions\n\n[24x24/actions]\nSize=24\nType=Fixed\n");
        index.close();
        QImage magenta(24, 24, QImage::Format_ARGB32);
        magenta.fill(Qt::magenta);
        QVERIFY(magenta.save(dir + "/document-open.png") && magenta.save(dir + "/go-previous.png"));
        QIcon::setThemeSearchPaths({m_themes.path()});
        QIcon::setFallbackSearchPaths({});
        QIcon::setThemeName("plain");
        for (const QString name : {"folium/fileopen", "back", "folium/filesave", "folium/bookmark_add", "folium/bookmark_folder",
                                   "folium/contents", "folium/gear", "folium/eraser", "close", "SettingsIcon", "OKButton",
                                   "folder", "DocsIcon"}) {
            const QImage image = Resource::loadPixmap(name).toImage().convertToFormat(QImage::Format_ARGB32);
            const QImage bundled = Resource::loadBundledPixmap(name).toImage().convertToFormat(QImage::Format_ARGB32);
            QCOMPARE(image, name == "back" || name == "folium/fileopen" ? magenta : bundled);
            QCOMPARE(bundled.size(), QSize(Resource::IconSize, Resource::IconSize));
            QVERIFY2(bundled != bundled.copy(0, 0, 1, 1).scaled(bundled.size()), qPrintable(name)); // not of one colour
        }
        for (const char *name : {"", "folium/nosuchicon", "Folium/fileopen", "close.png", "folium/../close", "folium"})
            QVERIFY2(Resource::loadPixmap(name).isNull(), name);
    }
};

QTEST_MAIN(tst_Resource)
#include "tst_resource.moc"
