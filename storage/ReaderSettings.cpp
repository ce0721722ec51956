#include "ReaderSettings.h"

#include "Config.h"

#include <QFont>
#include <QFontInfo>
#include <QStandardPaths>
#include <algorithm>
#include <climits>
#include <cmath>

bool ReaderSettings::operator==(const ReaderSettings &o) const
{
    return fontName == o.fontName && fontSize == o.fontSize && fontBold == o.fontBold && fontItalic == o.fontItalic
        && justifyLines == o.justifyLines && reparagraph == o.reparagraph && paragraphRegexp == o.paragraphRegexp
        && stripHtml == o.stripHtml && stripNewlinesInHtml == o.stripNewlinesInHtml && crConvert == o.crConvert
        && barVisible == o.barVisible && encodingName == o.encodingName && rotation == o.rotation
        && paragraphIndent == o.paragraphIndent && pageMargin == o.pageMargin && lineSpacing == o.lineSpacing
        && scrollDelay == o.scrollDelay && internalDictionary == o.internalDictionary
        && dictionaryPath == o.dictionaryPath && theme == o.theme && maxLineWidth == o.maxLineWidth
        && classicBar == o.classicBar && largestUnpacked == o.largestUnpacked;
}

bool ReaderSettings::needsReopening(const ReaderSettings &before) const
{
    // The decoding, and whether a plain document is read as HTML, are chosen when it is opened.
    return encodingName != before.encodingName || stripHtml != before.stripHtml
        || largestUnpacked != before.largestUnpacked;
}

void ReaderSettings::load(const Config &c)
{
    fontName = c.readEntry(QStringLiteral("Fontname"), QString());
    fontSize = c.readNumEntry(QStringLiteral("Fontsize"), -1);
    fontBold = c.readBoolEntry(QStringLiteral("Bold"), false);
    fontItalic = c.readBoolEntry(QStringLiteral("Italic"), false);
    justifyLines = c.readBoolEntry(QStringLiteral("Justify"), false);
    reparagraph = c.readBoolEntry(QStringLiteral("Reparagraph"), false);
    paragraphRegexp = c.readEntry(QStringLiteral("ParagraphRegexp"), QString());
    stripHtml = c.readBoolEntry(QStringLiteral("Striphtml"), false);
    stripNewlinesInHtml = c.readBoolEntry(QStringLiteral("StripNLinHtml"), false);
    crConvert = c.readBoolEntry(QStringLiteral("Crconvert"), false);
    barVisible = c.readBoolEntry(QStringLiteral("BarVisible"), false);
    encodingName = c.readEntry(QStringLiteral("Encoding"), QString());
    rotation = c.readNumEntry(QStringLiteral("Rotation"), -1);
    paragraphIndent = c.readNumEntry(QStringLiteral("Indent"), -1);
    pageMargin = c.readNumEntry(QStringLiteral("Margin"), -1);
    lineSpacing = c.readNumEntry(QStringLiteral("Spacing"), -1);
    scrollDelay = c.readNumEntry(QStringLiteral("Scroll"), -1);
    internalDictionary = c.readBoolEntry(QStringLiteral("InternalDictionary"), false);
    dictionaryPath = c.readEntry(QStringLiteral("DictionaryPath"), QString());
    const ReaderSettings fresh;
    theme = c.readEntry(QStringLiteral("Theme"), fresh.theme);
    maxLineWidth = c.readNumEntry(QStringLiteral("MaxLineWidth"), fresh.maxLineWidth);
    classicBar = c.readBoolEntry(QStringLiteral("ClassicBar"), fresh.classicBar);
    largestUnpacked = c.readNum64Entry(QStringLiteral("LargestUnpacked"), fresh.largestUnpacked);
}

void ReaderSettings::save(Config &c) const
{
    c.writeEntry(QStringLiteral("Fontname"), fontName);
    c.writeEntry(QStringLiteral("Fontsize"), fontSize);
    c.writeEntry(QStringLiteral("Bold"), fontBold);
    c.writeEntry(QStringLiteral("Italic"), fontItalic);
    c.writeEntry(QStringLiteral("Justify"), justifyLines);
    c.writeEntry(QStringLiteral("Reparagraph"), reparagraph);
    c.writeEntry(QStringLiteral("ParagraphRegexp"), paragraphRegexp);
    c.writeEntry(QStringLiteral("Striphtml"), stripHtml);
    c.writeEntry(QStringLiteral("StripNLinHtml"), stripNewlinesInHtml);
    c.writeEntry(QStringLiteral("Crconvert"), crConvert);
    c.writeEntry(QStringLiteral("BarVisible"), barVisible);
    c.writeEntry(QStringLiteral("Encoding"), encodingName);
    c.writeEntry(QStringLiteral("Rotation"), wholeDegrees());
    c.writeEntry(QStringLiteral("Indent"), paragraphIndent);
    c.writeEntry(QStringLiteral("Margin"), pageMargin);
    c.writeEntry(QStringLiteral("Spacing"), lineSpacing);
    c.writeEntry(QStringLiteral("Scroll"), scrollDelay);
    c.writeEntry(QStringLiteral("InternalDictionary"), internalDictionary);
    c.writeEntry(QStringLiteral("DictionaryPath"), dictionaryPath);
    c.writeEntry(QStringLiteral("Theme"), theme);
    c.writeEntry(QStringLiteral("MaxLineWidth"), maxLineWidth);
    c.writeEntry(QStringLiteral("ClassicBar"), classicBar);
    c.writeEntry(QStringLiteral("LargestUnpacked"), largestUnpacked);
}

int ReaderSettings::wholeDegrees() const
{
    if (!std::isfinite(rotation))
        return 0;
    return int(std::clamp(std::trunc(rotation), double(INT_MIN), double(INT_MAX)));
}

ReaderSettings ReaderSettings::desktopPreset(int windowWidth)
{
    ReaderSettings s;
    // The family the system gives for "serif" (DejaVu Serif, Liberation Serif, ...), by name, so
    // that the settings page can show it.
    QFont serif(QStringLiteral("serif"));
    serif.setStyleHint(QFont::Serif);
    s.fontName = QFontInfo(serif).family();
    s.fontSize = 18;
    s.fontBold = false;
    s.pageMargin = std::max(24, windowWidth / 20);
    s.paragraphIndent = 24;
    s.lineSpacing = 8;
    s.justifyLines = true;
    s.barVisible = true;
    s.classicBar = false;
    s.maxLineWidth = 40;
    s.stripNewlinesInHtml = true;
    s.encodingName = QStringLiteral("Automatic");
    return s;
}

QString ReaderSettings::defaultDictionaryPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
         + QStringLiteral("/folium/dictionary.dic");
}

void ReadingPlace::load(const Config &c)
{
    fileName = c.readEntry(QStringLiteral("File"), QString());
    folderPath = c.readEntry(QStringLiteral("Folderpath"), QString());
    // 64-bit: a document past 2 GB keeps its page.
    position = c.readNum64Entry(QStringLiteral("Position"), -1);
    paragraph = c.readBoolEntry(QStringLiteral("Paragraph"), false);
    penColor = QColor(c.readEntry(QStringLiteral("pagePenColor"), QString()));
    bold = c.readBoolEntry(QStringLiteral("pageBold"), false);
    italic = c.readBoolEntry(QStringLiteral("pageItalic"), false);
    underline = c.readBoolEntry(QStringLiteral("pageUnderline"), false);
}

void ReadingPlace::save(Config &c) const
{
    c.writeEntry(QStringLiteral("File"), fileName);
    c.writeEntry(QStringLiteral("Folderpath"), folderPath);
    c.writeEntry(QStringLiteral("Position"), position);
    c.writeEntry(QStringLiteral("Paragraph"), paragraph);
    c.writeEntry(QStringLiteral("pagePenColor"), penColor.name());
    c.writeEntry(QStringLiteral("pageBold"), bold);
    c.writeEntry(QStringLiteral("pageItalic"), italic);
    c.writeEntry(QStringLiteral("pageUnderline"), underline);
}
