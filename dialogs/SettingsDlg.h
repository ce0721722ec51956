#pragma once

#include <QString>
#include <QWidget>

// The settings page: the reader settings that reading itself does not change. The main window
// copies its values in before showing the page and takes them back after acceptance.
//
// For now this is an empty page that carries the values and the two signals, so that the
// window's settings mode works; the tabs and their controls are built later and fill
// acceptChanges().
class SettingsDlg : public QWidget
{
    Q_OBJECT

public:
    explicit SettingsDlg(QWidget *parent = nullptr, const char *name = nullptr);

    QString fontName;
    QString encodingName;
    QString rotationText;  // degrees, decimal text
    QString paragraphRegexp;
    QString dictionaryPath;
    int fontSize = 0;
    int pageMargin = 0;
    int lineSpacing = 0;
    int paragraphIndent = 0;
    int scrollDelay = 0;
    bool fontBold = false;
    bool fontItalic = false;
    bool justifyLines = false;
    bool reparagraph = false;
    bool barVisible = false;
    bool stripHtml = false;
    bool stripNewlinesInHtml = false;
    bool crConvert = false;
    bool internalDictionary = false;

    // Copies the controls into the value fields (no controls yet: the values stay as copied in).
    void acceptChanges();

Q_SIGNALS:
    void acceptSettings();
    void closeSettings();
};
