// Fuzz target: text, HTML and Plucker books laid out by the reading view, paged forward to the
// end and then back one page at a time. Every page worked out backwards must be the page paging
// forward showed: it starts where that one started and ends where the next one starts.
// Plucker headings make some lines taller. A page that ends where the next begins may then hold
// one more line than paging forward put on it (the line before it is shorter than the one that
// did not fit), and either is a right page: for Plucker the page found may start earlier.
// The first byte chooses the kind (bits 0-1: text, HTML, Plucker, text), the paragraph and
// line-end settings (bits 2-4), the encoding (bits 5-6) and whether every document is read as HTML
// (bit 7). For Plucker the rest is the text of one record, its paragraphs separated by 0x1E bytes.
#include "FuzzInput.h"
#include "MyView.h"
#include "PalmBuilder.h"
#include "UserMessages.h"
#include "toUnicode.h"

#include <QApplication>
#include <QFile>
#include <QMainWindow>
#include <QTemporaryDir>
#include <cstdio>

namespace {

constexpr size_t MaxInput = 64 * 1024;
constexpr int MaxPages = 150;  // bounds a run when every page holds a line or two
constexpr unsigned char ParagraphSeparator = 0x1E;

// One application and one view, of fixed size, made on the first input and kept.
struct Reader
{
    QTemporaryDir folder;
    QMainWindow window;
    MyView *view = new MyView(&window, "view");
};

Reader &reader()
{
    static Reader *made = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "markup_fitter";
        static char *argv[] = {name, nullptr};
        new QApplication(argc, argv);
        setWarningSink([](QWidget *, const QString &, const QString &) {});
        auto *r = new Reader;
        r->window.setCentralWidget(r->view);
        r->view->setFixedSize(300, 213);  // 13 lines of 15 px
        check(r->folder.isValid());
        return r;
    }();
    return *made;
}

QByteArray pluckerBook(const QByteArray &text)
{
    using namespace PalmBuilder;
    return pluckerDocument(2, {pluckerTextRecord(2, text.split(char(ParagraphSeparator)), Packing::Raw)});
}

ReaderSettings settingsFor(unsigned char selector, bool plucker)
{
    ReaderSettings s;
    s.fontName = QStringLiteral("DejaVu Sans");
    s.fontSize = 12;
    s.fontBold = false;
    s.reparagraph = selector & 4;
    s.crConvert = selector & 8;
    s.stripNewlinesInHtml = selector & 16;
    s.stripHtml = selector & 128;
    static const QString codePage = toUnicode::getCodecList().section(QLatin1Char(','), 0, 0);
    const QString encodings[] = {QStringLiteral("UTF-8"), codePage, QStringLiteral("UTF-16LE"),
                                 QStringLiteral("Automatic")};
    // Plucker codes are bytes: a book is read in UTF-8 or a code page.
    s.encodingName = encodings[(selector >> 5 & 3) % (plucker ? 2 : 4)];
    return s;
}

// Stops as a crash, saying where forward and backward paging part.
void agree(bool same, const char *what, int page, qint64 forward, qint64 found)
{
    if (same)
        return;
    std::fprintf(stderr, "markup_fitter: %s of page %d: forward %lld, backward %lld\n", what, page,
                 static_cast<long long>(forward), static_cast<long long>(found));
    __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0 || size > MaxInput)
        return 0;
    Reader &r = reader();
    const unsigned char selector = data[0];
    const int kind = selector & 3;
    const QByteArray text(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    static const char *const names[] = {"book.txt", "book.html", "book.pdb", "book.txt"};
    const QString path = r.folder.filePath(QString::fromLatin1(names[kind]));
    QFile file(path);
    check(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    check(file.write(kind == 2 ? pluckerBook(text) : text) >= 0);
    file.close();

    MyView &view = *r.view;
    view.setSettings(settingsFor(selector, kind == 2));
    view.pickupSettings();
    view.fileOpen(path);
    if (!view.documentOpen())
        return 0;
    QList<PageStart> starts{view.pageStart()};
    QList<qint64> ends{view.document().position()};
    while (!view.atEnd() && starts.size() < MaxPages) {
        view.nextPage();
        check(view.pageStart().position == ends.last());
        starts << view.pageStart();
        ends << view.document().position();
        check(ends.last() > starts.last().position);  // every page moves on
    }
    for (int i = int(starts.size()) - 1; i > 0; --i) {
        view.showPageAt(starts[i]);
        agree(view.document().position() == ends[i], "end when shown again", i, ends[i], view.document().position());
        view.previousPage();
        const qint64 found = view.pageStart().position;
        agree(found == starts[i - 1].position || (kind == 2 && found < starts[i - 1].position), "start", i - 1,
              starts[i - 1].position, found);
        agree(view.document().position() == ends[i - 1], "end found backwards", i - 1, ends[i - 1], view.document().position());
    }
    return 0;
}
