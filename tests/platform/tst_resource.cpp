// Application images: each name in use gives an image at the icon size, unknown names nothing.
#include "Resource.h"

#include <QIcon>
#include <QTest>

class tst_Resource : public QObject
{
    Q_OBJECT

private slots:
    void images()
    {
        QIcon::setThemeName("none"); // bundled images only, whatever the machine has installed
        for (const char *name : {"folium/fileopen", "back", "folium/filesave", "folium/bookmark_add",
                                 "folium/bookmark_folder", "folium/contents", "folium/gear", "folium/eraser",
                                 "close", "SettingsIcon", "OKButton", "folder", "DocsIcon"}) {
            const QImage image = Resource::loadPixmap(name).toImage().convertToFormat(QImage::Format_ARGB32);
            QCOMPARE(image.size(), QSize(Resource::IconSize, Resource::IconSize));
            QVERIFY2(image != image.copy(0, 0, 1, 1).scaled(image.size()), name); // not of one colour
        }
        for (const char *name : {"", "folium/nosuchicon", "Folium/fileopen", "close.png", "folium/../close"})
            QVERIFY2(Resource::loadPixmap(name).isNull(), name);
    }
};

QTEST_MAIN(tst_Resource)
#include "tst_resource.moc"
