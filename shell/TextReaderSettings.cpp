// The settings file: read once at start (a first start writes a desktop preset), written on every
// close request; the settings page edits a copy of the view's settings.
#include "TextReader.h"

#include "Bookmarks.h"
#include "Config.h"
#include "MyView.h"
#include "SettingsDlg.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>

namespace {
const QString SettingsName = QStringLiteral("Folium");
const QString SettingsGroup = QStringLiteral("Global");
} // namespace

void TextReader::rotateQuarterTurn()
{
    ReaderSettings settings = view->settings();
    settings.rotation -= 90;
    if (settings.rotation < -90)
        settings.rotation = 180;
    view->setSettings(settings);
    Q_EMIT settingsChanged();
}

// No settings file at all: a preset made for a desktop, written at once so that it is chosen once.
void TextReader::firstStart()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    const int width = screen ? screen->availableGeometry().width() : this->width();
    view->setSettings(ReaderSettings::desktopPreset(width));
    view->pickupSettings();
    saveSettings();
}

void TextReader::loadSettings()
{
    Config config(SettingsName, Config::User);
    if (!config.isValid()) {
        firstStart();
        if (!m_startDocument.isEmpty())
            openDocument(m_startDocument);
        return;
    }
    config.setGroup(SettingsGroup);

    ReaderSettings settings;
    settings.load(config);
    ReadingPlace place;
    place.load(config);
    view->setSettings(settings);
    folderPath = place.folderPath;
    if (!m_startDocument.isEmpty()) {
        // A document named on the command line instead of the last one.
        view->pickupSettings();
        openDocument(m_startDocument);
        return;
    }
    view->setFileName(place.fileName);
    filePath = place.fileName;
    baseName = QFileInfo(filePath).baseName();
    bookmarkList->loadBookmarks(bookmarkFile());
    contentsList->loadBookmarks(contentsFile());
    setWindowTitle(caption(baseName));

    PageStart start = view->pageStart();
    start.position = place.position;
    start.paragraph = place.paragraph;
    start.penColor = place.penColor;
    start.bold = place.bold;
    start.italic = place.italic;
    start.underline = place.underline;
    view->setPageStart(start);
    Q_EMIT resumeSignal();
    showBookContents();
    showTitle();
    if (view->documentOpen()) {
        m_places.arrive(QFileInfo(filePath).absoluteFilePath());
        m_recent.add(filePath);
    }
}

// A document that names itself (an HTML title, a book's title and author) is called so in the
// caption; any other by its base name.
void TextReader::showTitle()
{
    const QString title = view->documentTitle();
    const QString author = view->documentAuthor();
    if (!title.isEmpty())
        setWindowTitle(caption(author.isEmpty() ? title : title + QStringLiteral(" \u2014 ") + author));
}

void TextReader::saveSettings()
{
    Config config(SettingsName, Config::User);
    config.setGroup(SettingsGroup);
    view->settings().save(config);
    const PageStart &start = view->pageStart();
    ReadingPlace place;
    place.fileName = view->fileName();
    place.folderPath = folderPath;
    place.position = start.position;
    place.paragraph = start.paragraph;
    place.penColor = start.penColor;
    place.bold = start.bold;
    place.italic = start.italic;
    place.underline = start.underline;
    place.save(config);
}

void TextReader::settings()
{
    settingsDialog->setValues(view->settings());
    settingsDialog->setDetectedEncoding(view->documentOpen() && view->settings().encodingName == Document::Automatic
                                            ? view->document().encodingShown()
                                            : QString());
    view->hide();
    setSettingsMenu();
    setPage(settingsDialog);
    settingsDialog->show();
    settingsDialog->setFocus();
}

void TextReader::acceptSettings()
{
    settingsDialog->acceptChanges();
    view->applySettings(settingsDialog->values());
    closeSettings();
}

void TextReader::closeSettings()
{
    returnToReading(settingsDialog);
}
