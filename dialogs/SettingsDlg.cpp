#include "SettingsDlg.h"

#include "Resource.h"
#include "toUnicode.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QScrollArea>
#include <QSet>
#include <QSpacerItem>
#include <QSpinBox>
#include <QTabWidget>
#include <QTextCodec>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace {

const QString UpName = QStringLiteral("..");
const QString Automatic = QStringLiteral("Automatic");
const QString RotationItems = QStringLiteral("0,-90,90,180");
const QString ParagraphItems = QStringLiteral("^\\s+|^\\s*$,^\\s*,^\\s,^\\s*$,^[\\s\\d],^\\d");
constexpr int LastCodecNumber = 2999;

// A tab page whose rows scroll when the window is too small to show them all; the rows keep
// their natural heights at the top and the space below them stays empty.
QVBoxLayout *addScrollingTab(QTabWidget *tabs, const QString &title)
{
    auto *area = new QScrollArea;
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    auto *page = new QWidget;
    auto *rows = new QVBoxLayout(page);
    area->setWidget(page);
    tabs->addTab(area, title);
    return rows;
}

QSpinBox *numberBox(int minimum, int maximum, int step)
{
    auto *box = new QSpinBox;
    box->setRange(minimum, maximum);
    box->setSingleStep(step);
    return box;
}

// A drop-down that cannot be typed into and that does not grow with its longest item, so that
// long font or codec names cannot push the page wider than a small window.
QComboBox *dropDown(int shownCharacters)
{
    auto *list = new QComboBox;
    list->setEditable(false);
    list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    list->setMinimumContentsLength(shownCharacters);
    return list;
}

// The first item whose text equals `value` exactly becomes current; the first item when none does.
void selectItem(QComboBox *list, const QString &value)
{
    const int index = list->findText(value, Qt::MatchExactly | Qt::MatchCaseSensitive);
    list->setCurrentIndex(index >= 0 ? index : 0);
}

} // namespace

SettingsDlg::SettingsDlg(QWidget *parent, const char *name)
    : QWidget(parent)
{
    if (name)
        setObjectName(QString::fromLatin1(name));

    tabs = new QTabWidget(this);
    buildDisplayTab();
    buildFormatTab();
    buildMiscTab();
    setFocusProxy(tabs);
    setFocusPolicy(Qt::StrongFocus);

    rotationList->addItems(RotationItems.split(QLatin1Char(',')));
    paragraphList->addItems(ParagraphItems.split(QLatin1Char(',')));

    // A choice by its row, not its text: the header row can name a folder that does not exist.
    connect(folderList, &QComboBox::activated, this, [this](int index) {
        if (index > 0)
            pathChanged(folderList->itemText(index));
    });
}

void SettingsDlg::buildDisplayTab()
{
    QVBoxLayout *rows = addScrollingTab(tabs, QStringLiteral("Display"));

    auto *fontRow = new QHBoxLayout;
    auto *nameColumn = new QVBoxLayout;
    nameColumn->addWidget(new QLabel(QStringLiteral("Font Name")));
    fontList = dropDown(10);
    nameColumn->addWidget(fontList);
    fontRow->addLayout(nameColumn, 1);
    auto *sizeColumn = new QVBoxLayout;
    sizeColumn->addWidget(new QLabel(QStringLiteral("Font Size")));
    fontSizeBox = numberBox(8, 24, 1);
    sizeColumn->addWidget(fontSizeBox);
    fontRow->addLayout(sizeColumn);
    auto *styleColumn = new QVBoxLayout;
    // An empty spacer over the boxes; one that stretched would make the whole row tall.
    styleColumn->addItem(new QSpacerItem(0, 0, QSizePolicy::Minimum, QSizePolicy::Minimum));
    boldCheck = new QCheckBox(QStringLiteral("Bold"));
    styleColumn->addWidget(boldCheck);
    italicCheck = new QCheckBox(QStringLiteral("Italic"));
    styleColumn->addWidget(italicCheck);
    fontRow->addLayout(styleColumn);
    rows->addLayout(fontRow);

    auto *rotationRow = new QHBoxLayout;
    rotationRow->addWidget(new QLabel(QStringLiteral("Rotation")));
    rotationList = dropDown(4);
    rotationRow->addWidget(rotationList);
    justifyCheck = new QCheckBox(QStringLiteral("Justify"));
    rotationRow->addWidget(justifyCheck);
    rotationRow->addStretch();
    rows->addLayout(rotationRow);

    auto *sizesRow = new QHBoxLayout;
    auto *sizes = new QGridLayout;
    indentBox = numberBox(0, 40, 1);
    marginBox = numberBox(0, 400, 1);  // a desktop's wide margins too
    spacingBox = numberBox(1, 10, 1);
    sizes->addWidget(new QLabel(QStringLiteral("Indents")), 0, 0);
    sizes->addWidget(indentBox, 0, 1);
    sizes->addWidget(new QLabel(QStringLiteral("Margins")), 1, 0);
    sizes->addWidget(marginBox, 1, 1);
    sizes->addWidget(new QLabel(QStringLiteral("Spacing")), 2, 0);
    sizes->addWidget(spacingBox, 2, 1);
    sizesRow->addLayout(sizes);
    sizesRow->addStretch();
    rows->addLayout(sizesRow);

    auto *lookRow = new QGridLayout;
    themeList = dropDown(6);
    themeList->addItems({QStringLiteral("Day"), QStringLiteral("Sepia"), QStringLiteral("Night")});
    lookRow->addWidget(new QLabel(QStringLiteral("Theme")), 0, 0);
    lookRow->addWidget(themeList, 0, 1);
    lineWidthBox = numberBox(0, 400, 5);
    lineWidthBox->setSpecialValueText(QStringLiteral("no limit"));
    lineWidthBox->setSuffix(QStringLiteral(" em"));
    lookRow->addWidget(new QLabel(QStringLiteral("Maximum line width")), 1, 0);
    lookRow->addWidget(lineWidthBox, 1, 1);
    lookRow->setColumnStretch(2, 1);
    rows->addLayout(lookRow);

    auto *barRow = new QHBoxLayout;
    auto *barColumn = new QVBoxLayout;
    barCheck = new QCheckBox(QStringLiteral("Show progress bar"));
    barColumn->addWidget(barCheck);
    classicBarCheck = new QCheckBox(QStringLiteral("Small page number (classic bar)"));
    barColumn->addWidget(classicBarCheck);
    auto *scrollRow = new QHBoxLayout;
    scrollRow->addWidget(new QLabel(QStringLiteral("Scroll delay")));
    scrollBox = numberBox(5, 1000, 5);
    scrollRow->addWidget(scrollBox);
    barColumn->addLayout(scrollRow);
    barRow->addLayout(barColumn);
    barRow->addStretch();
    rows->addLayout(barRow);

    rows->addStretch();
}

void SettingsDlg::buildFormatTab()
{
    QVBoxLayout *rows = addScrollingTab(tabs, QStringLiteral("Format"));

    auto *encodingRow = new QHBoxLayout;
    encodingRow->addWidget(new QLabel(QStringLiteral("Encoding")));
    encodingList = dropDown(14);
    encodingRow->addWidget(encodingList);
    encodingRow->addStretch();
    rows->addLayout(encodingRow);

    auto *paragraphRow = new QHBoxLayout;
    reparagraphCheck = new QCheckBox(QStringLiteral("Reparagraph"));
    paragraphRow->addWidget(reparagraphCheck);
    paragraphRow->addWidget(new QLabel(QStringLiteral("at RegExp:")));
    paragraphList = dropDown(8);
    paragraphRow->addWidget(paragraphList);
    paragraphRow->addStretch();
    rows->addLayout(paragraphRow);

    auto *htmlRow = new QHBoxLayout;
    stripHtmlCheck = new QCheckBox(QStringLiteral("Strip HTML"));
    htmlRow->addWidget(stripHtmlCheck);
    stripNewlinesCheck = new QCheckBox(QStringLiteral("Strip NL/CR from HTML"));
    htmlRow->addWidget(stripNewlinesCheck);
    htmlRow->addStretch();
    rows->addLayout(htmlRow);

    crConvertCheck = new QCheckBox(QStringLiteral("Convert CR to NL"));
    rows->addWidget(crConvertCheck);

    rows->addStretch();
}

void SettingsDlg::buildMiscTab()
{
    QVBoxLayout *rows = addScrollingTab(tabs, QStringLiteral("Misc"));

    dictionaryCheck = new QCheckBox(QStringLiteral("Built-in dictionary"));
    rows->addWidget(dictionaryCheck);
    auto *pathRow = new QHBoxLayout;
    pathRow->addWidget(new QLabel(QStringLiteral("Path:")));
    pathEdit = new QLineEdit;
    pathRow->addWidget(pathEdit, 1);
    rows->addLayout(pathRow);
    folderList = dropDown(16);
    folderList->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    rows->addWidget(folderList);

    auto *unpackRow = new QHBoxLayout;
    unpackRow->addWidget(new QLabel(QStringLiteral("Largest unpacked document")));
    unpackedBox = numberBox(1, 65536, 64);
    unpackedBox->setSuffix(QStringLiteral(" MiB"));
    unpackRow->addWidget(unpackedBox);
    unpackRow->addStretch();
    rows->addLayout(unpackRow);

    rows->addStretch();
}

QStringList SettingsDlg::encodingNames()
{
    toUnicode builtIn;
    QSet<QString> seen;
    QString names;
    // The platform answers several numbers with one codec (aliases); each codec is named once.
    for (int mib = 0; mib <= LastCodecNumber; ++mib) {
        const QTextCodec *codec = QTextCodec::codecForMib(mib);
        if (!codec)
            continue;
        const QString name = QString::fromLatin1(codec->name());
        builtIn.setCodec(name);
        if (builtIn.index() >= 0 || seen.contains(name))
            continue;  // a built-in code page is listed among the built-in names
        seen.insert(name);
        names += name + QLatin1Char(',');
    }
    names += toUnicode::getCodecList();
    return QStringList{Automatic} + names.split(QLatin1Char(','), Qt::KeepEmptyParts);
}

void SettingsDlg::setDetectedEncoding(const QString &shown)
{
    fillSystemLists();
    encodingList->setItemText(0, shown.isEmpty() ? Automatic : Automatic + QStringLiteral(" (") + shown + QLatin1Char(')'));
}

void SettingsDlg::acceptChanges()
{
    // Text typed into a number box counts even when the box still has the focus.
    for (QSpinBox *box : {fontSizeBox, indentBox, marginBox, spacingBox, scrollBox, lineWidthBox, unpackedBox})
        box->interpretText();

    ReaderSettings &v = m_values;
    v.fontName = fontList->currentText();
    // The first entry reads "Automatic (koi8-r)" once a document's encoding was found.
    v.encodingName = encodingList->currentIndex() == 0 ? Automatic : encodingList->currentText();
    bool ok = false;
    const double rotation = rotationList->currentText().trimmed().toDouble(&ok);
    v.rotation = ok && std::isfinite(rotation) ? rotation : 0.0;  // "inf" is no angle either
    v.paragraphRegexp = paragraphList->currentText();
    v.dictionaryPath = pathEdit->text();
    v.fontSize = fontSizeBox->value();
    v.pageMargin = marginBox->value();
    v.lineSpacing = spacingBox->value();
    v.paragraphIndent = indentBox->value();
    v.scrollDelay = scrollBox->value();
    v.fontBold = boldCheck->isChecked();
    v.fontItalic = italicCheck->isChecked();
    v.justifyLines = justifyCheck->isChecked();
    v.reparagraph = reparagraphCheck->isChecked();
    v.barVisible = barCheck->isChecked();
    v.stripHtml = stripHtmlCheck->isChecked();
    v.stripNewlinesInHtml = stripNewlinesCheck->isChecked();
    v.crConvert = crConvertCheck->isChecked();
    v.internalDictionary = dictionaryCheck->isChecked();
    v.theme = themeList->currentText();
    v.maxLineWidth = lineWidthBox->value();
    v.classicBar = classicBarCheck->isChecked();
    v.largestUnpacked = unpackedBox->value();
}

// The font and encoding lists are asked of the system when the page is first shown: asking
// for every codec number costs about 100 ms, too much to spend on every start of the reader.
void SettingsDlg::fillSystemLists()
{
    if (m_systemListed)
        return;
    m_systemListed = true;
    fontList->addItems(QFontDatabase::families());
    encodingList->addItems(encodingNames());
}

void SettingsDlg::fillControls()
{
    fillSystemLists();
    const ReaderSettings &v = m_values;
    // The font in use is shown even when the system does not list it, so OK changes nothing.
    if (!v.fontName.isEmpty() && fontList->findText(v.fontName, Qt::MatchExactly | Qt::MatchCaseSensitive) < 0)
        fontList->insertItem(0, v.fontName);
    selectItem(fontList, v.fontName);
    selectItem(themeList, v.theme);
    lineWidthBox->setValue(v.maxLineWidth);
    classicBarCheck->setChecked(v.classicBar);
    unpackedBox->setValue(int(std::clamp<qint64>(v.largestUnpacked, 1, 65536)));
    if (v.encodingName == Automatic)
        encodingList->setCurrentIndex(0);
    else
        selectItem(encodingList, v.encodingName);
    selectItem(rotationList, QString::number(v.wholeDegrees()));
    selectItem(paragraphList, v.paragraphRegexp);

    fontSizeBox->setValue(v.fontSize);
    marginBox->setValue(v.pageMargin);
    spacingBox->setValue(v.lineSpacing);
    indentBox->setValue(v.paragraphIndent);
    scrollBox->setValue(v.scrollDelay);
    boldCheck->setChecked(v.fontBold);
    italicCheck->setChecked(v.fontItalic);
    justifyCheck->setChecked(v.justifyLines);
    reparagraphCheck->setChecked(v.reparagraph);
    barCheck->setChecked(v.barVisible);
    stripHtmlCheck->setChecked(v.stripHtml);
    stripNewlinesCheck->setChecked(v.stripNewlinesInHtml);
    crConvertCheck->setChecked(v.crConvert);
    dictionaryCheck->setChecked(v.internalDictionary);
    pathEdit->setText(v.dictionaryPath);

    // No stored path: browse from home rather than from a nameless folder.
    setFolderList(v.dictionaryPath.isEmpty() ? QDir::homePath() : QFileInfo(v.dictionaryPath).absolutePath());
}

void SettingsDlg::setFolderList(const QString &folder)
{
    const QIcon folderIcon(Resource::loadPixmap(QStringLiteral("folder")));
    const QIcon fileIcon(Resource::loadPixmap(QStringLiteral("DocsIcon")));

    folderList->clear();
    folderList->addItem(folderIcon, folder);
    folderList->addItem(folderIcon, UpName);

    QDir dir(!folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QDir::homePath());
    currentFolder = dir.absolutePath();
    dir.setFilter(QDir::Dirs | QDir::Files | QDir::Drives);
    dir.setSorting(QDir::DirsFirst | QDir::IgnoreCase | QDir::Name);

    static const QRegularExpression dictionaryName(QStringLiteral("\\.dic$"));
    const QFileInfoList entries = dir.entryInfoList();
    for (const QFileInfo &entry : entries) {
        const QString name = entry.fileName();
        if (name == QLatin1String(".") || name == UpName)
            continue;
        if (name == QLatin1String("NotAvailable"))
            folderList->addItem(UpName);
        else if (entry.isDir())
            folderList->addItem(folderIcon, name);
        else if (dictionaryName.match(name).hasMatch())
            folderList->addItem(fileIcon, name);
    }
}

void SettingsDlg::pathChanged(const QString &text)
{
    // The header row names the listed folder, or the missing one whose place home took.
    if (text == currentFolder || (folderList->count() > 0 && text == folderList->itemText(0)))
        return;
    const QString prefix = currentFolder.endsWith(QLatin1Char('/')) ? currentFolder
                                                                     : currentFolder + QLatin1Char('/');
    if (QFileInfo(prefix + text).isDir()) {
        QDir dir(currentFolder);
        if (text == UpName)
            dir.cdUp();
        else
            dir.cd(text);
        setFolderList(dir.absolutePath());
    } else {
        pathEdit->setText(prefix + text);
    }
}

void SettingsDlg::dictBrowse()
{
}

void SettingsDlg::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // A window brought back from the task bar shows its pages again: keep the user's edits then.
    if (!event->spontaneous())
        fillControls();
    tabs->setGeometry(rect());
}

void SettingsDlg::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    tabs->setGeometry(rect());
}

void SettingsDlg::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        Q_EMIT closeSettings();
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:  // a keypad's OK
    case Qt::Key_F33:
        Q_EMIT acceptSettings();
        break;
    default:
        event->ignore();
    }
}
