// Opening a document: preparing its source, choosing the decoding and resetting the
// per-document state.
#include "MyView.h"

#include "SourcePreparer.h"
#include "UserMessages.h"
#include "toUnicode.h"

#include <QAction>
#include <QFileInfo>
#include <QTextCodec>

namespace {
const QString WarningCaption = QStringLiteral("Warining!");

QString extensionOf(const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot + 1).toLower();
}
} // namespace

void MyView::fileOpen(const QString &path)
{
    lineNewParagraph = true;
    makeStream(path);
    printPage();
}

void MyView::resumeSlot()
{
    makeStream(fileName);
    pageHistory[pageIndex] = pageStart;
    pickupSettings();
}

void MyView::releaseSource()
{
    if (!documentOpen)
        return;
    const QString readPath = file.fileName();
    file.close();
    documentOpen = false;
    // Only copies the reader made itself are deleted, never a document the user opened.
    m_preparer->release(readPath);
}

void MyView::makeStream(const QString &path)
{
    clearPaper();
    if (!QFileInfo::exists(path))
        return;
    releaseSource();
    fileName = path;

    linkBackCount = 0;
    if (backAction)
        backAction->setEnabled(false);
    pluckerIndex.clear();
    sourceKind = 0;
    lineStartStyle = TextStyle{};
    lineStartStyle.bold = fontBold;
    lineStartStyle.italic = fontItalic;
    htmlDocument = stripHtml;
    QString readPath = path;

    const QString extension = extensionOf(path);
    switch (SourcePreparer::kindOf(path)) {
    case SourcePreparer::Kind::Zip:
    case SourcePreparer::Kind::Gzip:
    case SourcePreparer::Kind::Palm: {
        const SourcePreparer::Result prepared = m_preparer->prepare(path);
        if (!prepared.status.isOk()) {
            showWarning(this, WarningCaption, QString::fromStdString(prepared.status.message()));
            return;
        }
        if (prepared.plucker) {
            sourceKind = 2;
            loadPluckerIndex(prepared.rimPath, pluckerIndex);  // without it links are not followed
        }
        readPath = prepared.textPath;
        break;
    }
    case SourcePreparer::Kind::Plain:
        if (extension == QLatin1String("html") || extension == QLatin1String("htm")) {
            htmlDocument = true;
            sourceKind = 1;
        }
        break;
    }

    if (!file.open(readPath).isOk())
        return;
    documentOpen = true;
    fileSize = file.size();
    virtualPageCount = fileSize / NominalPageBytes;
    setEncoding();
}

void MyView::setEncoding()
{
    if (encodingName == QLatin1String("UTF-8")) {
        file.setMode(PositionedReader::Mode::Utf8);
        return;
    }
    file.setMode(PositionedReader::Mode::Bytes);
    if (decoder->index() == -1) {
        // An encoding that is neither a built-in table nor a known codec reads as Latin-1.
        if (QTextCodec *codec = QTextCodec::codecForName(encodingName.toLatin1()))
            file.setCodec(codec);
    }
}
