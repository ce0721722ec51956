// EPUB books: preparing a book of about 140 chapters the first time, opening it again from the
// prepared copy, each up to its first page laid out, against `unzip -p` of the same file in the
// same run. The book is generated at start in a temporary folder.
// MOBI books: preparing the HTML copy of a 5 MB MOBI (PalmDoc) against preparing the same text
// made into an EPUB, and Huffman/dictionary decoding in bytes of output a second.
// FB2 books: preparing a book of about 5 MB the first time, against a bare QXmlStreamReader pass
// over the same bytes.
#include "CopyMeter.h"
#include "Document.h"
#include "EpubBook.h"
#include "EpubBuilder.h"
#include "Fb2Builder.h"
#include "HuffCdic.h"
#include "MobiBook.h"
#include "MobiBuilder.h"
#include "TestFiles.h"
#include "LineFitter.h"
#include "SourcePreparer.h"
#include "WordFonts.h"

#include <QFile>
#include <QGuiApplication>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int Chapters = 140;

struct Book
{
    QTemporaryDir dir;
    QString path;
    qint64 size = 0;
    qint64 xhtml = 0;

    Book()
    {
        // Made-up words of two to nine letters: prose that compresses about as well as a novel.
        QRandomGenerator g(7);
        QList<QByteArray> words;
        for (int i = 0; i < 4000; ++i) {
            QByteArray word;
            for (int n = 2 + int(g.bounded(8)); n > 0; --n)
                word += char('a' + g.bounded(26));
            words.append(word);
        }
        EpubBuilder book;
        QList<EpubBuilder::Entry> contents;
        for (int c = 0; c < Chapters; ++c) {
            QByteArray body = "<h1 id=\"c\">Chapter " + QByteArray::number(c + 1) + "</h1>";
            for (int p = 0; p < 25; ++p) {
                body += "<p>";
                for (int w = 0; w < 120; ++w)
                    body += words[int(g.bounded(4000))] + (w % 17 == 3 ? " <i>softly</i> " : " ");
                body += "</p>\n";
            }
            const QByteArray href = "text/ch" + QByteArray::number(c) + ".xhtml";
            book.chapter(href, body);
            xhtml += EpubBuilder::xhtml(body).size();
            contents.append({"Chapter " + QByteArray::number(c + 1), href + "#c", 0});
        }
        book.contents(contents);
        path = dir.filePath(QStringLiteral("book.epub"));
        QFile file(path);
        const QByteArray bytes = book.build();
        size = bytes.size();
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            std::abort();
    }
};

Book &book()
{
    static Book b;
    return b;
}

// Sections of paragraphs with emphasis, a poem and a note link in each, and the notes.
struct Fb2Sample
{
    QTemporaryDir dir;
    QString path;
    QByteArray bytes;

    Fb2Sample()
    {
        QRandomGenerator g(11);
        QList<QByteArray> words;
        for (int i = 0; i < 4000; ++i) {
            QByteArray word;
            for (int n = 2 + int(g.bounded(8)); n > 0; --n)
                word += char('a' + g.bounded(26));
            words.append(word);
        }
        QByteArray text, notes;
        for (int s = 0; s < 250; ++s) {
            QByteArray content;
            for (int p = 0; p < 25; ++p) {
                content += "<p>";
                for (int w = 0; w < 120; ++w)
                    content +=
                        words[int(g.bounded(4000))] + (w % 17 == 3 ? " <emphasis>softly</emphasis> " : " ");
                content += "</p>\n";
            }
            const QByteArray n = QByteArray::number(s);
            content += "<poem><stanza><v>a line</v><v>and another</v></stanza></poem><p>noted<a l:href=\"#n" +
                       n + "\" type=\"note\">[" + n + "]</a></p>";
            text += Fb2Builder::section("Section " + n, content);
            notes += "<section id=\"n" + n + "\"><title><p>" + n + "</p></title><p>a note</p></section>";
        }
        bytes = Fb2Builder().title("Bench").author("A", "B").body(text).body(notes, "notes").build();
        path = dir.filePath(QStringLiteral("bench-tales.fb2"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            std::abort();
    }
};

Fb2Sample &fb2Book()
{
    static Fb2Sample b;
    return b;
}

// Opens the book as the view does and fits the lines of a first page.
void openToFirstPage(Document &document, benchmark::State &state, const QString &path = book().path)
{
    if (!document.open(path).isOk() || !document.isOpen())
        state.SkipWithError("the book did not open");
    document.setEncoding(QStringLiteral("UTF-8"));
    document.setReadAsHtml(false);
    static WordFonts fonts = [] {
        WordFonts f;
        f.setBase(QStringLiteral("DejaVu Serif"), 18);
        return f;
    }();
    LineFitter fitter(document, fonts);
    LineLayout layout;
    layout.spaceWidth = fonts.base().width(U' ');
    fitter.setLayout(layout);
    TextStyle style;
    bool paragraph = true;
    for (int line = 0; line < 40 && !document.reader().atEnd(); ++line) {
        fitter.readStringFit(720, paragraph, style);
        paragraph = fitter.nextLineNewParagraph();
    }
}

void BM_EpubFirstOpen(benchmark::State &state)
{
    for (auto _ : state) {
        state.PauseTiming();
        QDir(QStringLiteral("/tmp/folium")).removeRecursively();  // no copy to reuse
        state.ResumeTiming();
        Document document;
        openToFirstPage(document, state);
    }
    state.SetBytesProcessed(state.iterations() * book().size);
}

void BM_EpubOpenAgain(benchmark::State &state)
{
    {
        Document first;
        openToFirstPage(first, state);
    }
    for (auto _ : state) {
        Document document;
        openToFirstPage(document, state);
    }
}

void BM_UnzipPReference(benchmark::State &state)
{
    const QByteArray line = "unzip -p '" + QFile::encodeName(book().path) + "' > /dev/null";
    for (auto _ : state) {
        if (std::system(line.constData()) != 0)
            state.SkipWithError("unzip failed");
    }
    state.SetBytesProcessed(state.iterations() * book().size);
}

// One text of made-up prose in chapters, made into a MOBI (PalmDoc, 4096-byte records, the
// chapters split by page breaks) and into an EPUB (a chapter a file).
struct SameText
{
    QTemporaryDir dir;
    QString mobi, epub;
    qint64 mobiSize = 0, epubSize = 0, textSize = 0;

    SameText()
    {
        QRandomGenerator g(11);
        QList<QByteArray> words;
        for (int i = 0; i < 4000; ++i) {
            QByteArray word;
            for (int n = 2 + int(g.bounded(8)); n > 0; --n)
                word += char('a' + g.bounded(26));
            words.append(word);
        }
        QByteArray text = "<html><head><guide></guide></head><body>";
        EpubBuilder epubBook;
        for (int c = 0; c < 200; ++c) {
            QByteArray body = "<h1>Chapter " + QByteArray::number(c + 1) + "</h1>";
            for (int p = 0; p < 40; ++p) {
                body += "<p>";
                for (int w = 0; w < 120; ++w)
                    body += words[int(g.bounded(4000))] + (w % 17 == 3 ? " <i>softly</i> " : " ");
                body += "</p>\n";
            }
            text += body + "<mbp:pagebreak/>";
            epubBook.chapter("text/ch" + QByteArray::number(c) + ".xhtml", body);
        }
        text += "</body></html>";
        textSize = text.size();
        MobiBuilder::Book mobiBook;
        mobiBook.text = text;
        mobiBook.exth = {{100, "An Author"}, {503, "A Book"}};
        mobi = write("book.mobi", MobiBuilder::build(mobiBook), mobiSize);
        epub = write("book.epub", epubBook.build(), epubSize);
    }
    QString write(const char *name, const QByteArray &bytes, qint64 &size)
    {
        const QString path = dir.filePath(QString::fromLatin1(name));
        QFile file(path);
        size = bytes.size();
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            std::abort();
        return path;
    }
};

SameText &sameText()
{
    static SameText t;
    return t;
}

template<typename Convert>
void prepare(benchmark::State &state, const QString &path, qint64 size, Convert convert)
{
    const QString outPath = sameText().dir.filePath(QStringLiteral("copy.html"));
    for (auto _ : state) {
        const int source = ::open(QFile::encodeName(path).constData(), O_RDONLY);
        const int out = ::open(QFile::encodeName(outPath).constData(), O_RDWR | O_CREAT | O_TRUNC, 0600);
        CopyMeter meter;
        meter.start(uint64_t(size));
        BookInfo info;
        if (!convert(source, out, meter, info).isOk())
            state.SkipWithError("the book did not convert");
        ::close(source);
        ::close(out);
    }
    state.SetBytesProcessed(state.iterations() * sameText().textSize);
}

void BM_MobiPrepare(benchmark::State &state)
{
    prepare(state, sameText().mobi, sameText().mobiSize, MobiBook::convert);
}

void BM_EpubPrepareSameText(benchmark::State &state)
{
    prepare(state, sameText().epub, sameText().epubSize, EpubBook::convert);
}

void BM_HuffCdicDecode(benchmark::State &state)
{
    static const QList<QByteArray> records = [] {
        QList<QByteArray> r;
        const QByteArray text = sampleText(1 << 20, 5);
        for (int at = 0; at < text.size(); at += 4096)
            r.append(text.mid(at, 4096));
        return r;
    }();
    static const MobiBuilder::HuffCdicEncoded encoded = MobiBuilder::huffCdicCompress(records);
    qint64 produced = 0;
    QByteArray out;
    out.reserve(8192);
    for (auto _ : state) {
        HuffCdic decoder;
        if (!decoder.load(encoded.huff, encoded.cdics))
            state.SkipWithError("the dictionary did not load");
        for (const QByteArray &record : encoded.records) {
            out.clear();
            if (!decoder.decompress(record, out, 1 << 16))
                state.SkipWithError("a record did not decompress");
            produced += out.size();
        }
    }
    state.SetBytesProcessed(produced);
}

void BM_Fb2FirstOpen(benchmark::State &state)
{
    for (auto _ : state) {
        state.PauseTiming();
        QDir(QStringLiteral("/tmp/folium")).removeRecursively();
        state.ResumeTiming();
        Document document;
        openToFirstPage(document, state, fb2Book().path);
    }
    state.SetBytesProcessed(state.iterations() * fb2Book().bytes.size());
}

// The least any reading of the book costs: every token of the XML, nothing done with it.
void BM_Fb2XmlReference(benchmark::State &state)
{
    for (auto _ : state) {
        QXmlStreamReader xml(fb2Book().bytes);
        qint64 tokens = 0;
        while (!xml.atEnd()) {
            xml.readNext();
            ++tokens;
        }
        benchmark::DoNotOptimize(tokens);
    }
    state.SetBytesProcessed(state.iterations() * fb2Book().bytes.size());
}

} // namespace

BENCHMARK(BM_MobiPrepare)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EpubPrepareSameText)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_HuffCdicDecode)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EpubFirstOpen)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EpubOpenAgain)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_UnzipPReference)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Fb2FirstOpen)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Fb2XmlReference)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);  // fonts need it
    benchmark::Initialize(&argc, argv);
    std::fprintf(stderr, "book: %d chapters, %lld bytes, %lld bytes of XHTML\n", Chapters,
                 static_cast<long long>(book().size), static_cast<long long>(book().xhtml));
    std::fprintf(stderr, "same text: %lld bytes of HTML, MOBI %lld bytes, EPUB %lld bytes\n",
                 static_cast<long long>(sameText().textSize), static_cast<long long>(sameText().mobiSize),
                 static_cast<long long>(sameText().epubSize));
    std::fprintf(stderr, "FB2 book: %lld bytes\n", static_cast<long long>(fb2Book().bytes.size()));
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
