#pragma once

#include <QColor>
#include <QString>

class Config;

// Every reader setting the settings page edits, each with the value a new reader starts with.
// The settings file, the window, the settings page, the view and folium-render all pass this one
// value around; a new setting is one field here, its key in load()/save() and its control.
struct ReaderSettings
{
    QString fontName = QStringLiteral("unifont");  // family of the page font
    int fontSize = 12;                              // pixels: also the line height of the layout
    bool fontBold = true;
    bool fontItalic = false;
    bool justifyLines = true;
    bool reparagraph = true;  // paragraph breaks are decided by paragraphRegexp
    QString paragraphRegexp = QStringLiteral("^\\s+|^\\s*$");
    bool stripHtml = false;  // read every document with HTML tags and entities
    bool stripNewlinesInHtml = false;
    bool crConvert = false;  // a carriage return counts as a line feed
    bool barVisible = true;
    QString encodingName = QStringLiteral("UTF-8");
    double rotation = 0.0;     // degrees
    int paragraphIndent = 16;  // pixels
    int pageMargin = 4;        // pixels, left and right
    int lineSpacing = 3;       // pixels added to fontSize for the line pitch
    int scrollDelay = 200;     // milliseconds per one-pixel auto-scroll step
    bool internalDictionary = true;
    QString dictionaryPath = defaultDictionaryPath();
    // Added for the desktop; a settings file without these keys gets these values.
    QString theme = QStringLiteral("Day");  // "Day", "Sepia" or "Night"
    int maxLineWidth = 0;                    // longest line in em of the page font; 0: no limit
    bool classicBar = true;                  // the thin bar with a small page number
    qint64 largestUnpacked = 1024;           // MiB an archive may unpack to

    bool operator==(const ReaderSettings &other) const;
    bool operator!=(const ReaderSettings &other) const { return !(*this == other); }

    // Whether moving from `before` to these settings changes how the open document is decoded or
    // prepared, so that it must be opened again; any other change only lays the page out anew.
    bool needsReopening(const ReaderSettings &before) const;

    // Reads every setting from an existing settings file (group "Global" selected). A key the
    // file lacks reads as false, -1 or an empty text, as files written before expect.
    void load(const Config &config);
    void save(Config &config) const;

    // The rotation as the settings file and the settings page hold it: whole degrees, truncated
    // toward zero; values no int can hold (or not finite) are clamped or read as 0.
    int wholeDegrees() const;

    // $XDG_DATA_HOME/folium/dictionary.dic: where the dictionary is looked for until one is chosen.
    static QString defaultDictionaryPath();

    // What a first start on a desktop writes: a serif body font of 18 px, not bold, margins of 5% of
    // a window `windowWidth` wide (24 px at least), justified, the legible bar, lines of at most
    // 40 em, HTML line feeds as spaces and the encoding found by itself.
    static ReaderSettings desktopPreset(int windowWidth);
};

// Where reading stopped in the last document, kept in the same settings file.
struct ReadingPlace
{
    QString fileName;    // the document
    QString folderPath;  // its folder, where the file chooser starts
    qint64 position = -1;  // byte offset of the page on screen
    bool paragraph = false;  // that page starts a paragraph
    QColor penColor;
    bool bold = false;
    bool italic = false;
    bool underline = false;

    void load(const Config &config);
    void save(Config &config) const;
};
