// Decoding speed: the positioned reader's readChar in each mode (the line fitter's hot path),
// encoding detection over a full sample, and character reference lookups.
#include "EncodingDetector.h"
#include "HtmlEntities.h"
#include "PositionedReader.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextCodec>
#include <benchmark/benchmark.h>

namespace {

QTemporaryDir *workDir = nullptr;

// Prose of random words; `accented` puts one non-ASCII letter in about every fifth word.
QString proseFile(const QString &name, const char *codecName, bool accented)
{
    const QString path = workDir->filePath(name);
    if (QFile::exists(path))
        return path;
    QRandomGenerator rng(7);
    QString text;
    while (text.size() < (4 << 20)) {
        const int letters = 1 + rng.bounded(10);
        for (int i = 0; i < letters; ++i)
            text += QChar(u'a' + rng.bounded(26));
        if (accented && rng.bounded(5) == 0)
            text += QChar(0xE9);
        text += rng.bounded(12) == 0 ? QChar(u'\n') : QChar(u' ');
    }
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(QTextCodec::codecForName(codecName)->fromUnicode(text));
    return path;
}

void readAll(benchmark::State &state, const QString &path, PositionedReader::Mode mode)
{
    PositionedReader reader;
    reader.open(path);
    reader.setMode(mode);
    for (auto _ : state) {
        reader.seek(0);
        char32_t sum = 0;
        while (!reader.atEnd())
            sum += reader.readChar();
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(state.iterations() * reader.size());
}

void BM_ReadChar_Utf8Ascii(benchmark::State &state)
{
    readAll(state, proseFile("ascii.txt", "UTF-8", false), PositionedReader::Mode::Utf8);
}
void BM_ReadChar_Utf8Accented(benchmark::State &state)
{
    readAll(state, proseFile("accented-utf8.txt", "UTF-8", true), PositionedReader::Mode::Utf8);
}
void BM_ReadChar_Bytes(benchmark::State &state)
{
    readAll(state, proseFile("accented-latin1.txt", "ISO-8859-1", true), PositionedReader::Mode::Bytes);
}
void BM_ReadChar_Utf16LE(benchmark::State &state)
{
    readAll(state, proseFile("accented-utf16.txt", "UTF-16LE", true), PositionedReader::Mode::Utf16LE);
}

enum class Language { Russian, French, Japanese };

// A full detection sample of prose in `codec`, one paragraph over and over.
QByteArray sample(const char *codec, Language language)
{
    const QString paragraph =
        language == Language::Japanese
            ? QStringLiteral(
                  "秋になると、私たちの町ではよく雨が降り、通りは静かになります。人々は早めに家に帰り、"
                  "明かりをつけて窓辺で本を読みます。\n")
        : language == Language::French
            ? QStringLiteral(
                  "En automne, il pleut souvent dans notre ville et les rues deviennent silencieuses. Les "
                  "gens rentrent tôt à la maison et lisent près de la fenêtre.\n")
            : QStringLiteral(
                  "Осенью в нашем городе часто идут дожди, и улицы становятся тихими. Люди возвращаются "
                  "домой пораньше, зажигают лампы и читают книги у окна.\n");
    QByteArray bytes;
    while (bytes.size() < EncodingDetector::SampleSize)
        bytes += QTextCodec::codecForName(codec)->fromUnicode(paragraph);
    return bytes.left(EncodingDetector::SampleSize);
}

void detect(benchmark::State &state, const QByteArray &bytes, bool markup)
{
    EncodingDetector detector;
    for (auto _ : state)
        benchmark::DoNotOptimize(detector.detect(bytes, markup));
    state.SetBytesProcessed(state.iterations() * bytes.size());
}

void BM_Detect_Utf8(benchmark::State &state)
{
    detect(state, sample("UTF-8", Language::Russian), false);
}
void BM_Detect_Windows1251(benchmark::State &state)
{
    detect(state, sample("windows-1251", Language::Russian), false);
}
void BM_Detect_Windows1252(benchmark::State &state)
{
    detect(state, sample("windows-1252", Language::French), false);
}
void BM_Detect_Koi8rHtmlUndeclared(benchmark::State &state)
{
    detect(state, "<html><head><title>x</title></head><body>" + sample("KOI8-R", Language::Russian), true);
}
void BM_Detect_ShiftJis(benchmark::State &state)
{
    detect(state, sample("Shift_JIS", Language::Japanese), false);
}

void BM_HtmlEntityLookup(benchmark::State &state)
{
    const QString names[] = {QStringLiteral("nbsp"),     QStringLiteral("amp"),
                             QStringLiteral("mdash"),    QStringLiteral("CounterClockwiseContourIntegral"),
                             QStringLiteral("zwnj"),     QStringLiteral("eacute"),
                             QStringLiteral("notaname"), QStringLiteral("rsquo")};
    for (auto _ : state) {
        for (const QString &name : names) {
            char32_t first, second;
            benchmark::DoNotOptimize(lookupHtmlEntity(name, first, second));
        }
    }
    state.SetItemsProcessed(state.iterations() * qint64(std::size(names)));
}

} // namespace

BENCHMARK(BM_Detect_Utf8);
BENCHMARK(BM_Detect_Windows1251);
BENCHMARK(BM_Detect_Windows1252);
BENCHMARK(BM_Detect_Koi8rHtmlUndeclared);
BENCHMARK(BM_Detect_ShiftJis);
BENCHMARK(BM_HtmlEntityLookup);
BENCHMARK(BM_ReadChar_Utf8Ascii);
BENCHMARK(BM_ReadChar_Utf8Accented);
BENCHMARK(BM_ReadChar_Bytes);
BENCHMARK(BM_ReadChar_Utf16LE);

int main(int argc, char **argv)
{
    QTemporaryDir dir;
    workDir = &dir;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
