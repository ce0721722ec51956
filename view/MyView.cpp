#include "MyView.h"
#include "BackgroundPreparation.h"

#include "BookmarkFile.h"
#include "ContentsScanner.h"
#include "UserMessages.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QMainWindow>
#include <QPainter>
#include <QPointer>
#include <QProgressBar>
#include <QResizeEvent>
#include <algorithm>

namespace {
const QString WarningCaption = QStringLiteral("Warining!");
} // namespace

MyView::MyView(QMainWindow *parent, const char *name)
    : QWidget(parent), m_fitter(m_document, m_fonts), m_mainWindow(parent)
{
    if (name)
        setObjectName(QString::fromLatin1(name));
    m_document.setEncoding(m_settings.encodingName);
    m_barFont = QFont(QStringLiteral("helvetica"));
    m_barFont.setPixelSize(8);
    m_barFont.setWeight(QFont::Normal);
    // Until the settings are picked up, pages are laid out in a 12-pixel bold sans font.
    m_fonts.setBaseStyle(true, false);
    m_fonts.setBase(QStringLiteral("verdana"), 12);
    m_settings.fontSize = m_fonts.baseSize();
    LineLayout layout;
    layout.spaceWidth = m_fonts.base().width(U' ');
    m_fitter.setLayout(layout);
    m_pageCount.forget();
    m_penX = m_settings.pageMargin;

    connect(this, &MyView::pickupSettingsSignal, this, &MyView::pickupSettings);
    connect(this, &MyView::resizePixmap, this, &MyView::resizePixmapSlot);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    clearPaper();
}

MyView::~MyView() = default;

// ---- Settings -----------------------------------------------------------------------------------

void MyView::pickupSettings()
{
    m_lineStartStyle.bold = m_settings.fontBold;
    m_lineStartStyle.italic = m_settings.fontItalic;

    m_fonts.setBaseStyle(m_settings.fontBold, m_settings.fontItalic);
    m_fonts.setBase(m_settings.fontName, m_settings.fontSize);
    m_settings.fontSize = m_fonts.baseSize();  // the size the platform really gave
    m_theme = Theme::named(m_settings.theme);
    m_barHeight = m_settings.classicBar ? 6 : std::max(22, m_settings.fontSize + 4);
    LineLayout layout;
    layout.pageMargin = m_settings.pageMargin;
    layout.paragraphIndent = m_settings.paragraphIndent;
    layout.spaceWidth = m_fonts.base().width(U' ');
    m_descent = m_fonts.base().metrics().descent();
    layout.reparagraph = m_settings.reparagraph;
    layout.crConvert = m_settings.crConvert;
    layout.stripNewlinesInHtml = m_settings.stripNewlinesInHtml;
    layout.paragraphRegexp = m_settings.paragraphRegexp;
    m_fitter.setLayout(layout);
    m_translation.forgetDictionary();  // the next lookup opens dictionaryPath afresh

    // The relayout below starts from pageStart; laying out from the history first would draw the
    // same page twice.
    m_skipRelayout = documentOpen();
    Q_EMIT resizePixmap();
    m_skipRelayout = false;

    if (documentOpen()) {
        setEncoding();
        m_pages.forget();
        if (m_document.kind() != SourceKind::Plucker) {
            m_pageStart.bold = m_settings.fontBold;
            m_pageStart.italic = m_settings.fontItalic;
        }
        restoreFrom(m_pageStart);
        printPage();
    }
}

void MyView::applySettings(const ReaderSettings &settings)
{
    const bool reopen = settings.needsReopening(m_settings);
    m_settings = settings;
    if (reopen) {
        resumeSlot();
        return;
    }
    m_pages.setCurrent(m_pageStart);
    pickupSettings();
}

// ---- The paper and the screen -------------------------------------------------------------------

void MyView::restoreFrom(const PageStart &start)
{
    m_document.reader().seek(start.position);
    m_lineNewParagraph = start.paragraph;
    m_lineStartStyle = start.style();
}

void MyView::resizePixmapSlot()
{
    if (m_scroller.scrolling()) {
        // The scroll loop owns the paper until it ends; it lays the page out at the new size.
        m_scroller.noteResize();
        return;
    }
    const int w = std::max(1, width());
    const int h = std::max(1, height());
    const double rotation = m_settings.rotation;
    if (rotation == 0.0 || rotation == 180.0)
        m_paper = QPixmap(w, h);
    else
        m_paper = QPixmap(h, w);
    m_barPixmap = QPixmap(m_paper.width(), m_barHeight);
    applyMargins();
    m_pageCount.forget();
    m_rotation.reset();
    m_rotation.rotate(rotation);
    clearPaper();
    if (documentOpen() && !m_skipRelayout) {
        restoreFrom(m_pages.current());
        if (m_translation.isShown())
            intTranslate(m_translation.word());
        else
            printPage();
    } else {
        showIt();
    }
}

void MyView::applyMargins()
{
    m_margin = m_settings.pageMargin;
    if (m_settings.maxLineWidth > 0) {
        const qint64 longest = qint64(m_settings.maxLineWidth) * m_settings.fontSize;
        m_margin = int(std::max<qint64>(m_margin, (m_paper.width() - longest) / 2));
    }
    m_fitter.setPageMargin(m_margin);
}

void MyView::resizeEvent(QResizeEvent *)
{
    scrollOff();
    Q_EMIT resizePixmap();
}

void MyView::clearPaper()
{
    if (!m_paper.isNull())
        m_paper.fill(m_theme.paper);
    m_penY = linePitch();
}

void MyView::showIt()
{
    if (m_settings.rotation != 0.0 && !m_paper.isNull())
        m_rotatedPaper = m_paper.transformed(m_rotation);
    update();
}

void MyView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), m_theme.paper);
    if (m_scroller.scrolling() && !m_scroller.screen().isNull())
        painter.drawPixmap(0, 0, m_scroller.screen());
    else
        painter.drawPixmap(0, 0, m_settings.rotation == 0.0 ? m_paper : m_rotatedPaper);
}

// ---- Opening a document -------------------------------------------------------------------------

void MyView::fileOpen(const QString &path)
{
    m_lineNewParagraph = true;
    makeStream(path);
    printPage();
}

void MyView::resumeSlot()
{
    makeStream(m_fileName);
    m_pages.setCurrent(m_pageStart);
    pickupSettings();
}

void MyView::makeStream(const QString &path)
{
    if (m_preparing) {  // a second open, from a timer or a message, while the first one works
        showWarning(this, WarningCaption, tr("Another document is still being opened."));
        return;
    }
    clearPaper();
    if (!QFileInfo::exists(path))
        return;  // a document already open stays open at its place
    m_fileName = path;
    m_pageCount.forget();
    m_anchors.clear();
    m_links.clear();
    if (m_backAction)
        m_backAction->setEnabled(false);
    m_lineStartStyle = TextStyle{};
    m_lineStartStyle.bold = m_settings.fontBold;
    m_lineStartStyle.italic = m_settings.fontItalic;

    const Status status = openDocument(path);
    if (!status.isOk()) {
        if (status.code() != Status::Code::Cancelled)  // the user knows: they pressed Cancel
            showWarning(this, WarningCaption, QString::fromStdString(status.message()));
        return;
    }
    m_document.setReadAsHtml(m_settings.stripHtml);
    if (documentOpen())
        setEncoding();
}

Status MyView::openDocument(const QString &path)
{
    if (!Document::needsPreparing(path))
        return m_document.open(path);
    m_preparing = true;
    // MiB from the settings file, bounded so that the shift cannot overflow.
    const quint64 largestMiB = quint64(std::clamp<qint64>(m_settings.largestUnpacked, 1, qint64(1) << 30));
    m_document.setLargestCopy(largestMiB << 20);
    const SourcePreparer::Result prepared = BackgroundPreparation::run(
        this, tr("Opening %1...").arg(QFileInfo(path).fileName()),
        [this, &path](const PrepareProgress &progress) { return m_document.prepare(path, progress); });
    m_preparing = false;
    return m_document.open(path, &prepared);
}

void MyView::setEncoding()
{
    m_document.setEncoding(m_settings.encodingName);
}

// ---- Bookmark names and contents ----------------------------------------------------------------

QString MyView::getBookmarkName()
{
    if (!documentOpen())
        return QString();
    PositionedReader &file = m_document.reader();
    const qint64 remembered = file.pos();
    file.seek(m_pageStart.position);
    QString title;
    char32_t previous = 0;
    int spaces = 0;
    for (int i = 0; i < 199 && !file.atEnd(); ++i) {
        char32_t c = m_document.readDecodedChar();
        if (c == U'\r' && m_settings.crConvert)
            c = U'\n';
        if (c == U'\n') {
            previous = c;  // dropped, without a space in its place
            continue;
        }
        if (c == U' ' && previous == U' ')
            continue;
        previous = c;
        if (c <= 0xFFFF) {
            title.append(QChar(char16_t(c)));
        } else {
            title.append(QChar(QChar::highSurrogate(c)));
            title.append(QChar(QChar::lowSurrogate(c)));
        }
        if (c == U' ' && ++spaces == 6)
            break;
    }
    file.seek(remembered);
    return title;
}

qint64 MyView::getPageNumber() const
{
    return m_document.pageNumberOf(m_pages.current().position);
}

void MyView::generateContents(const QString &path)
{
    if (!documentOpen())
        return;
    const QSize size = this->size();
    PositionedReader &file = m_document.reader();
    const qint64 remembered = file.pos();

    QProgressBar *progress = nullptr;
    if (m_mainWindow) {
        progress = new QProgressBar(m_mainWindow);
        progress->setRange(0, 100);
        progress->setGeometry(0, m_mainWindow->height() - 20, width(), 20);
        progress->setTextVisible(true);
        progress->show();
        progress->raise();
    }
    resize(size.width(), std::max(1, size.height() - 20));

    BookmarkFileWriter writer(path);
    if (writer.isOpen()) {
        if (progress)
            progress->setValue(0);
        QApplication::processEvents();
        const QPointer<MyView> alive(this);
        ContentsScanner(m_document).scan(writer, [&](int percent) {
            if (progress)
                progress->setValue(percent);
            // Events may lay the page out again (the window resizes the view, say): the scan
            // keeps its own place.
            QApplication::processEvents();
            return !alive.isNull();
        });
        if (!alive)
            return;
        writer.commit();
    }

    file.seek(remembered);
    delete progress;
    resize(size);
    setFocus();
}
