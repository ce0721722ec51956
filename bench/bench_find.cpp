// Finding speed: a phrase that is not there searched for in 16 MB of prose (every byte is gone
// through), forward and backward, as plain UTF-8 text, as HTML dense with tags and as UTF-16.
#include "TextFinder.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

QTemporaryDir *workDir = nullptr;
constexpr int DocumentBytes = 16 << 20;

// Prose of random words; in HTML every few words sit in inline elements and paragraphs.
QString document(const QString &name, bool html, bool utf16)
{
    const QString path = workDir->filePath(name);
    if (QFile::exists(path))
        return path;
    QRandomGenerator rng(11);
    QByteArray text;
    text.reserve(DocumentBytes + 64);
    while (text.size() < DocumentBytes) {
        const int letters = 1 + rng.bounded(10);
        for (int i = 0; i < letters; ++i)
            text += char('a' + rng.bounded(26));
        if (html && rng.bounded(4) == 0)
            text += rng.bounded(2) ? " <b>bold</b> <i class=\"x\">it</i>" : "</p>\n<p>";
        text += rng.bounded(12) == 0 ? '\n' : ' ';
    }
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    if (utf16) {
        const QString wide = QString::fromLatin1(text);
        f.write(reinterpret_cast<const char *>(wide.utf16()), wide.size() * 2);
    } else {
        f.write(text);
    }
    return path;
}

void search(benchmark::State &state, const QString &path, const QString &encoding, bool backward)
{
    TextFinder finder;
    FindSource source;
    source.path = path;
    source.encoding = encoding;
    if (!finder.open(source).isOk()) {
        state.SkipWithError("cannot open");
        return;
    }
    finder.setQuery(FindQuery(QStringLiteral("Lantern Glowed"), {}));
    for (auto _ : state) {
        Hit hit;
        const auto result = backward ? finder.findBackward(finder.size(), 0, &hit)
                                     : finder.findForward(0, finder.size(), &hit);
        benchmark::DoNotOptimize(result);
    }
    state.SetBytesProcessed(state.iterations() * finder.size());
}

void BM_Find_Utf8Text(benchmark::State &state)
{
    search(state, document("prose.txt", false, false), QStringLiteral("UTF-8"), false);
}
void BM_Find_Utf8TextBackward(benchmark::State &state)
{
    search(state, document("prose.txt", false, false), QStringLiteral("UTF-8"), true);
}
void BM_Find_Html(benchmark::State &state)
{
    search(state, document("prose.html", true, false), QStringLiteral("UTF-8"), false);
}
void BM_Find_HtmlBackward(benchmark::State &state)
{
    search(state, document("prose.html", true, false), QStringLiteral("UTF-8"), true);
}
void BM_Find_Utf16Text(benchmark::State &state)
{
    search(state, document("prose16.txt", false, true), QStringLiteral("UTF-16LE"), false);
}

} // namespace

BENCHMARK(BM_Find_Utf8Text)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Find_Utf8TextBackward)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Find_Html)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Find_HtmlBackward)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Find_Utf16Text)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    QTemporaryDir dir;
    workDir = &dir;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
