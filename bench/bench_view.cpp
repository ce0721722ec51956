// Layout speed of the reading view: fitting lines against QTextLayout, a whole page, and opening
// a very large document in the middle.
#include "MyView.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMainWindow>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextLayout>
#include <benchmark/benchmark.h>
#include <functional>
#include <sys/resource.h>

namespace {

QTemporaryDir *workDir = nullptr;

// Ordinary prose: words of 1 to 12 letters, paragraphs of 20 to 120 words, each starting with an
// indented line.
QString makeText(const QString &name, qint64 bytes)
{
    const QString path = workDir->filePath(name);
    if (QFile::exists(path))
        return path;
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    QRandomGenerator rng(11);
    QByteArray chunk;
    qint64 written = 0;
    while (written < bytes) {
        chunk.clear();
        while (chunk.size() < (1 << 20)) {
            chunk += "  ";
            const int words = 20 + rng.bounded(100);
            for (int w = 0; w < words; ++w) {
                const int len = 1 + rng.bounded(12);
                for (int k = 0; k < len; ++k)
                    chunk += char('a' + rng.bounded(26));
                chunk += (w % 11 == 10) ? '\n' : ' ';
            }
            chunk += ".\n";
        }
        const qint64 n = std::min<qint64>(chunk.size(), bytes - written);
        f.write(chunk.constData(), n);
        written += n;
    }
    return path;
}

// HTML as real pages are written, dense with markup: every few words a tag pair or a character
// reference, paragraphs as p elements.
QString makeDenseHtml(const QString &name, qint64 bytes)
{
    const QString path = workDir->filePath(name);
    if (QFile::exists(path))
        return path;
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write("<html><head><title>Dense</title></head><body>\n");
    QRandomGenerator rng(13);
    static const char *const pieces[] = {"<b>", "</b>", "&amp;", "&eacute;", "&#8212;", "<i>", "</i>", "&rsquo;"};
    QByteArray chunk;
    qint64 written = 0;
    while (written < bytes) {
        chunk.clear();
        while (chunk.size() < (1 << 20)) {
            chunk += "<p>";
            const int words = 20 + rng.bounded(100);
            for (int w = 0; w < words; ++w) {
                if (w % 4 == 3)
                    chunk += pieces[rng.bounded(8)];
                const int len = 1 + rng.bounded(12);
                for (int k = 0; k < len; ++k)
                    chunk += char('a' + rng.bounded(26));
                chunk += (w % 11 == 10) ? '\n' : ' ';
            }
            chunk += ".</p>\n";
        }
        const qint64 n = std::min<qint64>(chunk.size(), bytes - written);
        f.write(chunk.constData(), n);
        written += n;
    }
    return path;
}

struct Reader
{
    QMainWindow window;
    MyView *view;
    Reader(int width, int height)
    {
        view = new MyView(&window, "view");
        window.setCentralWidget(view);
        view->setFixedSize(width, height);
        ReaderSettings s = view->settings();
        s.fontName = QStringLiteral("DejaVu Sans");
        s.fontSize = 12;
        s.fontBold = false;
        view->setSettings(s);
        view->pickupSettings();
    }
};

void BM_FitLines_readStringFit(benchmark::State &state)
{
    const QString path = makeText(QStringLiteral("20mb.txt"), 20 << 20);
    Document document;
    document.open(path);
    document.setEncoding(QStringLiteral("UTF-8"));
    WordFonts fonts;
    fonts.setBaseStyle(false, false);
    fonts.setBase(QStringLiteral("DejaVu Sans"), 12);
    LineFitter fitter(document, fonts);
    LineLayout layout;
    layout.spaceWidth = fonts.base().width(U' ');
    fitter.setLayout(layout);
    qint64 lines = 0;
    for (auto _ : state) {
        document.reader().seek(0);
        bool paragraph = true;
        TextStyle style;
        while (!document.reader().atEnd()) {
            fitter.readStringFit(600, paragraph, style);
            paragraph = fitter.nextLineNewParagraph();
            ++lines;
        }
    }
    state.SetItemsProcessed(lines);
    state.counters["lines"] = double(lines) / double(state.iterations());
}

// The fitter over the dense HTML document: tags, references and paragraph breaks on every line.
void BM_FitLines_DenseHtml(benchmark::State &state)
{
    const QString path = makeDenseHtml(QStringLiteral("20mb-dense.html"), 20 << 20);
    Document document;
    document.open(path);
    document.setEncoding(QStringLiteral("UTF-8"));
    document.setReadAsHtml(true);
    WordFonts fonts;
    fonts.setBaseStyle(false, false);
    fonts.setBase(QStringLiteral("DejaVu Sans"), 12);
    LineFitter fitter(document, fonts);
    LineLayout layout;
    layout.spaceWidth = fonts.base().width(U' ');
    fitter.setLayout(layout);
    qint64 lines = 0;
    for (auto _ : state) {
        document.reader().seek(0);
        bool paragraph = true;
        TextStyle style;
        while (!document.reader().atEnd()) {
            fitter.readStringFit(600, paragraph, style);
            paragraph = fitter.nextLineNewParagraph();
            ++lines;
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * (20 << 20));
    state.counters["lines"] = double(lines) / double(state.iterations());
}

// The same text, paragraph by paragraph, broken into lines of the same width by QTextLayout.
void BM_FitLines_QTextLayout(benchmark::State &state)
{
    const QString path = makeText(QStringLiteral("20mb.txt"), 20 << 20);
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    const QString text = QString::fromUtf8(f.readAll());
    const QStringList paragraphs = text.split(QStringLiteral("\n  "));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(12);
    const qreal width = 600 - 2 * 4;
    qint64 lines = 0;
    for (auto _ : state) {
        for (const QString &paragraph : paragraphs) {
            QTextLayout layout(paragraph, font);
            QTextOption option;
            option.setWrapMode(QTextOption::WordWrap);
            layout.setTextOption(option);
            layout.beginLayout();
            for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
                line.setLineWidth(width);
                ++lines;
            }
            layout.endLayout();
        }
    }
    state.SetItemsProcessed(lines);
    state.counters["lines"] = double(lines) / double(state.iterations());
}

void BM_WholePage(benchmark::State &state)
{
    const QString path = makeText(QStringLiteral("20mb.txt"), 20 << 20);
    Reader r(600, 800);
    r.view->fileOpen(path);
    for (auto _ : state) {
        if (r.view->document().position() > (10 << 20))
            r.view->showPageAt(PageStart{});
        r.view->nextPage();
    }
}

void BM_Open200MBAtMiddle(benchmark::State &state)
{
    const QString path = makeText(QStringLiteral("200mb.txt"), 200 << 20);
    Reader r(600, 800);
    for (auto _ : state) {
        r.view->setFileName(path);
        PageStart start;
        start.position = QFile(path).size() / 2;
        r.view->setPageStart(start);
        r.view->resumeSlot();
        benchmark::DoNotOptimize(r.view->pageWords().count());
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_MB"] = double(usage.ru_maxrss) / 1024.0;
}

// A file made once from the first `bytes` of the generated prose, changed by `edit`.
QString deriveText(const QString &name, qint64 bytes, const std::function<void(QByteArray &)> &edit)
{
    const QString path = workDir->filePath(name);
    if (QFile::exists(path))
        return path;
    QFile source(makeText(QStringLiteral("20mb.txt"), 20 << 20));
    source.open(QIODevice::ReadOnly);
    QByteArray text = source.read(bytes);
    edit(text);
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(text);
    return path;
}

// A text with no paragraph marks at all: every line feed joins lines, so the backward search
// runs to its reach limit.
QString makeUnmarkedText(const QString &name, qint64 bytes)
{
    return deriveText(name, bytes, [](QByteArray &text) { text.replace("\n  ", "\nx "); });
}

// Paragraphs as p tags, each holding a tag, and a name anchor every 20 paragraphs.
QString makeHtml(const QString &name, qint64 bytes)
{
    return deriveText(name, bytes, [](QByteArray &text) {
        int chapter = 0;
        for (qsizetype at = text.indexOf(".\n  "); at >= 0; at = text.indexOf(".\n  ", at + 40)) {
            const QByteArray tag = (++chapter % 20 == 0) ? "<p><a name=\"c" + QByteArray::number(chapter) + "\">Chapter "
                                                              + QByteArray::number(chapter) + "</a> "
                                                        : QByteArray("<p><i>x</i> ");
            text.replace(at + 2, 2, tag);
        }
    });
}

// Pages back with an empty ring, from page starts spread over the text.
void pageBack(benchmark::State &state, const QString &path)
{
    Reader r(600, 800);
    r.view->fileOpen(path);
    QRandomGenerator rng(3);
    for (auto _ : state) {
        state.PauseTiming();
        PageStart start;
        start.position = rng.bounded(r.view->document().size() - 100000) + 50000;
        r.view->showPageAt(start);  // a page start as a jump would leave it
        state.ResumeTiming();
        r.view->previousPage();
    }
}
void BM_ComputedPreviousPage(benchmark::State &state) { pageBack(state, makeText(QStringLiteral("20mb.txt"), 20 << 20)); }
void BM_ComputedPreviousPage_NoParagraphMarks(benchmark::State &state)
{
    pageBack(state, makeUnmarkedText(QStringLiteral("unmarked.txt"), 4 << 20));
}

// Building contents against one plain read of the same file through the positioned reader.
void contents(benchmark::State &state, const QString &path)
{
    Reader r(600, 800);
    r.view->fileOpen(path);
    const QString out = workDir->filePath(QStringLiteral("out.cnt"));
    for (auto _ : state)
        r.view->generateContents(out);
    state.SetBytesProcessed(state.iterations() * r.view->document().size());
}
void readOnce(benchmark::State &state, const QString &path)
{
    PositionedReader reader;
    reader.open(path);
    reader.setMode(PositionedReader::Mode::Utf8);
    for (auto _ : state) {
        reader.seek(0);
        char32_t sum = 0;
        while (!reader.atEnd())
            sum += reader.readChar();
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(state.iterations() * reader.size());
}
void BM_Contents_Plain(benchmark::State &state) { contents(state, makeText(QStringLiteral("20mb.txt"), 20 << 20)); }
void BM_Contents_Html(benchmark::State &state) { contents(state, makeHtml(QStringLiteral("20mb.html"), 20 << 20)); }
void BM_ReadOnce_Plain(benchmark::State &state) { readOnce(state, makeText(QStringLiteral("20mb.txt"), 20 << 20)); }
void BM_ReadOnce_Html(benchmark::State &state) { readOnce(state, makeHtml(QStringLiteral("20mb.html"), 20 << 20)); }

} // namespace

BENCHMARK(BM_ComputedPreviousPage)->Unit(benchmark::kMillisecond)->Iterations(50)->Repetitions(3)->ReportAggregatesOnly(true);
BENCHMARK(BM_ComputedPreviousPage_NoParagraphMarks)->Unit(benchmark::kMillisecond)->Iterations(20)->Repetitions(3)->ReportAggregatesOnly(true);
BENCHMARK(BM_Contents_Plain)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_ReadOnce_Plain)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_Contents_Html)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_ReadOnce_Html)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_FitLines_readStringFit)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_FitLines_DenseHtml)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_FitLines_QTextLayout)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_WholePage)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_Open200MBAtMiddle)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    workDir = &dir;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
