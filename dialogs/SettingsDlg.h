#pragma once

#include "ReaderSettings.h"

#include <QString>
#include <QStringList>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;
class QTabWidget;

// The settings page: the reader settings that reading itself does not change, on three tabs
// ("Display", "Format", "Misc") with a small browser for the dictionary file. The main window
// hands it the values before showing it; the page fills its controls from them when shown, and
// acceptChanges() copies the controls back. The page never touches the view or the settings
// file itself.
class SettingsDlg : public QWidget
{
    Q_OBJECT

public:
    explicit SettingsDlg(QWidget *parent = nullptr, const char *name = nullptr);

    // The values the page edits: set before it is shown, read after acceptChanges().
    const ReaderSettings &values() const { return m_values; }
    void setValues(const ReaderSettings &values) { m_values = values; }

    // Controls. Every list is a drop-down that cannot be typed into.
    QTabWidget *tabs = nullptr;
    QComboBox *fontList = nullptr;
    QSpinBox *fontSizeBox = nullptr;     // 8..24
    QCheckBox *boldCheck = nullptr;
    QCheckBox *italicCheck = nullptr;
    QComboBox *rotationList = nullptr;   // 0, -90, 90, 180
    QCheckBox *justifyCheck = nullptr;
    QSpinBox *indentBox = nullptr;       // 0..40
    QSpinBox *marginBox = nullptr;       // 0..400
    QSpinBox *spacingBox = nullptr;      // 1..10
    QCheckBox *barCheck = nullptr;
    QCheckBox *classicBarCheck = nullptr;
    QComboBox *themeList = nullptr;      // Day, Sepia, Night
    QSpinBox *lineWidthBox = nullptr;    // 0 (no limit)..400 em
    QSpinBox *unpackedBox = nullptr;     // 1..65536 MiB
    QSpinBox *scrollBox = nullptr;       // 5..1000 in steps of 5
    QComboBox *encodingList = nullptr;
    QCheckBox *reparagraphCheck = nullptr;
    QComboBox *paragraphList = nullptr;
    QCheckBox *stripHtmlCheck = nullptr;
    QCheckBox *stripNewlinesCheck = nullptr;
    QCheckBox *crConvertCheck = nullptr;
    QCheckBox *dictionaryCheck = nullptr;
    QLineEdit *pathEdit = nullptr;       // the dictionary file
    QComboBox *folderList = nullptr;     // the listed folder, "..", its folders and .dic files
    QString currentFolder;               // absolute path of the folder folderList lists

    // The encoding list: "Automatic", the platform's codec names by registry number 0..2999, each
    // once and none that is also a built-in code page, then the built-in code pages in table order.
    static QStringList encodingNames();

    // Copies every control into the values. A rotation that does not read as a number is 0.
    void acceptChanges();

    // What "Automatic" found for the document open, shown as "Automatic (windows-1251)"; empty
    // when nothing is open.
    void setDetectedEncoding(const QString &shown);

    // Lists `folder` (or the home folder when it does not exist) below two header items: the
    // folder as passed and "..".
    void setFolderList(const QString &folder);

Q_SIGNALS:
    void acceptSettings();
    void closeSettings();

public Q_SLOTS:
    // A choice in the folder list: a folder is entered, a dictionary file goes to the path line.
    void pathChanged(const QString &text);
    void dictBrowse();

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void buildDisplayTab();
    void buildFormatTab();
    void buildMiscTab();
    void fillSystemLists();
    void fillControls();

    ReaderSettings m_values;
    bool m_systemListed = false;  // the font and encoding lists are filled
};
