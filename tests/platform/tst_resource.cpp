#include <QDir>
#include <QIcon>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

#include "Resource.h"

class tst_Resource : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void bundledIcons_data();
    void bundledIcons();
    void unknownNames_data();
    void unknownNames();
    void themePreferred_data();
    void themePreferred();

private:
    void useTheme(const QString &name);

    QTemporaryDir m_themes;
};

// Every image name the program asks for.
static const char *const IconNames[] = {
    "folium/fileopen", "folium/filesave", "folium/bookmark_add", "folium/bookmark_folder",
    "folium/contents", "folium/gear",     "folium/eraser",       "back",
    "close",           "SettingsIcon",    "OKButton",            "folder",
    "DocsIcon",
};

static const QColor ThemeColour(255, 0, 255);

// A theme of our own with two of the standard names, so the tests do not depend on what the
// machine has installed.
void tst_Resource::initTestCase()
{
    QVERIFY(m_themes.isValid());
    const QString dir = m_themes.path() + QStringLiteral("/plain/24x24/actions");
    QVERIFY(QDir().mkpath(dir));
    QFile index(m_themes.path() + QStringLiteral("/plain/index.theme"));
    QVERIFY(index.open(QIODevice::WriteOnly));
    index.write("[Icon Theme]\nName=plain\nDirectories=24x24/actions\n\n"
                "[24x24/actions]\nSize=24\nType=Fixed\n");
    index.close();
    QImage image(24, 24, QImage::Format_ARGB32);
    image.fill(ThemeColour);
    QVERIFY(image.save(dir + QStringLiteral("/document-open.png")));
    QVERIFY(image.save(dir + QStringLiteral("/go-previous.png")));

    QIcon::setThemeSearchPaths({m_themes.path()});
    QIcon::setFallbackSearchPaths({});
    useTheme(QStringLiteral("none"));
}

void tst_Resource::useTheme(const QString &name)
{
    QIcon::setThemeName(name);
    QIcon::setFallbackThemeName(name);
}

void tst_Resource::bundledIcons_data()
{
    QTest::addColumn<QString>("name");
    for (const char *name : IconNames)
        QTest::newRow(name) << QString::fromLatin1(name);
}

// Each bundled image exists at the icon size and shows something: it has both covered and
// transparent pixels.
void tst_Resource::bundledIcons()
{
    QFETCH(QString, name);

    const QPixmap pixmap = Resource::loadPixmap(name);
    QVERIFY(!pixmap.isNull());
    QCOMPARE(pixmap.size(), QSize(Resource::IconSize, Resource::IconSize));
    const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    int covered = 0, clear = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            qAlpha(image.pixel(x, y)) > 128 ? ++covered : ++clear;
    }
    QVERIFY2(covered > 20, qPrintable(QString::number(covered)));
    QVERIFY2(clear > 20, qPrintable(QString::number(clear)));
}

void tst_Resource::unknownNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("empty") << QString();
    QTest::newRow("unknown") << QStringLiteral("nosuchicon");
    QTest::newRow("unknown in folder") << QStringLiteral("folium/nosuchicon");
    QTest::newRow("other case") << QStringLiteral("Folium/fileopen");
    QTest::newRow("with extension") << QStringLiteral("close.png");
    QTest::newRow("climbing out") << QStringLiteral("folium/../close");
    QTest::newRow("folder only") << QStringLiteral("folium");
}

void tst_Resource::unknownNames()
{
    QFETCH(QString, name);
    QVERIFY(Resource::loadPixmap(name).isNull());
    useTheme(QStringLiteral("plain"));
    const bool themed = Resource::loadPixmap(name).isNull();
    useTheme(QStringLiteral("none"));
    QVERIFY(themed);
}

// With a theme that has some of the standard names, those come from the theme and the others
// stay bundled.
void tst_Resource::themePreferred_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("fromTheme");
    QTest::newRow("open: in theme") << QStringLiteral("folium/fileopen") << true;
    QTest::newRow("back: in theme") << QStringLiteral("back") << true;
    QTest::newRow("save: not in theme") << QStringLiteral("folium/filesave") << false;
    QTest::newRow("gear: no standard name") << QStringLiteral("folium/gear") << false;
}

void tst_Resource::themePreferred()
{
    QFETCH(QString, name);
    QFETCH(bool, fromTheme);

    useTheme(QStringLiteral("plain"));
    const QImage image = Resource::loadPixmap(name).toImage();
    useTheme(QStringLiteral("none"));

    const QImage bundled = Resource::loadBundledPixmap(name).toImage();
    QVERIFY(!image.isNull());
    QCOMPARE(image.pixelColor(12, 12) == ThemeColour && image.pixelColor(0, 0) == ThemeColour,
             fromTheme);
    if (!fromTheme)
        QCOMPARE(image.convertToFormat(QImage::Format_ARGB32),
                 bundled.convertToFormat(QImage::Format_ARGB32));
}

QTEST_MAIN(tst_Resource)
#include "tst_resource.moc"
