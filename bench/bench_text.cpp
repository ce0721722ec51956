// Decoding speed: the positioned reader's readChar in each mode (the line fitter's hot path).
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

} // namespace

BENCHMARK(BM_ReadChar_Utf8Ascii);
BENCHMARK(BM_ReadChar_Utf8Accented);
BENCHMARK(BM_ReadChar_Bytes);

int main(int argc, char **argv)
{
    QTemporaryDir dir;
    workDir = &dir;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
