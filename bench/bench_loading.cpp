// Archive preparation against the system's own tools on the same files, Palm conversion and
// PalmDoc decompression speed, all with the size limit and a progress callback in place as the
// reader has them. Inputs are generated at start in a temporary folder.
#include "PalmBuilder.h"
#include "SourcePreparer.h"
#include "makedoc9.h"

#include <QByteArray>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <zip.h>
#include <zlib.h>

#include <cstdlib>
#include <vector>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr qint64 ArchiveText = 200 * 1000 * 1000;

QByteArray prose(qint64 size, quint32 seed)
{
    static const char *words[] = {"the ", "reader ", "turned ", "a ", "page ", "of ", "her ", "book, ", "and ",
                                  "outside ", "rain ", "fell ", "softly. ", "\n", "Chapter ", "twelve "};
    QRandomGenerator g(seed);
    QByteArray out;
    out.reserve(size + 16);
    while (out.size() < size)
        out.append(words[g.bounded(16)]);
    out.resize(size);
    return out;
}

struct Inputs
{
    QTemporaryDir dir;
    QString gz, zip, pdb, out;
    std::vector<QByteArray> records; // PalmDoc-compressed 4096-byte records
    qint64 palmOutput = 0;

    Inputs()
    {
        gz = dir.filePath("big.gz");
        zip = dir.filePath("big.zip");
        out = dir.filePath("reference.out");
        const QByteArray chunk = prose(8 << 20, 1);
        gzFile g = gzopen(QFile::encodeName(gz).constData(), "wb6");
        zipFile z = zipOpen64(QFile::encodeName(zip).constData(), APPEND_STATUS_CREATE);
        zip_fileinfo info{};
        zipOpenNewFileInZip64(z, "big.txt", &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED, 6, 0);
        for (qint64 done = 0; done < ArchiveText; done += chunk.size()) {
            const int n = int(qMin<qint64>(chunk.size(), ArchiveText - done));
            gzwrite(g, chunk.constData(), unsigned(n));
            zipWriteInFileInZip(z, chunk.constData(), unsigned(n));
        }
        gzclose(g);
        zipCloseFileInZip(z);
        zipClose(z, nullptr);

        const QByteArray text = prose(8 << 20, 2);
        for (int at = 0; at < text.size(); at += 4096)
            records.push_back(PalmBuilder::palmDocCompress(text.mid(at, 4096)));
        palmOutput = text.size();
        pdb = dir.filePath("book.pdb");
        QFile book(pdb);
        const QList<QByteArray> list(records.begin(), records.end());
        if (!book.open(QIODevice::WriteOnly)
            || book.write(PalmBuilder::database("TEXtREAd", QList<QByteArray>{PalmBuilder::palmDocHeader(2, uint32_t(text.size()),
                                                                                                        unsigned(list.size()))}
                                                             + list))
                < 0)
            qFatal("cannot write the Palm book");
    }
};

Inputs &inputs()
{
    static Inputs in;
    return in;
}

// What a progress dialog does with each report: keep the fraction, never stop.
bool progress(uint64_t done, uint64_t total)
{
    benchmark::DoNotOptimize(double(done) / double(total ? total : 1));
    return true;
}

void prepare(benchmark::State &state, const QString &path)
{
    SourcePreparer preparer(inputs().dir.path());
    for (auto _ : state) {
        const SourcePreparer::Result r = preparer.prepare(path, progress);
        if (!r.status.isOk())
            state.SkipWithError("preparation failed");
        preparer.release(r.textPath); // so that the next round unpacks again
    }
    state.SetBytesProcessed(state.iterations() * ArchiveText);
}

void command(benchmark::State &state, const char *tool, const QString &path)
{
    const QByteArray line = QByteArray(tool) + " '" + QFile::encodeName(path) + "' > '" + QFile::encodeName(inputs().out) + "'";
    for (auto _ : state) {
        if (std::system(line.constData()) != 0)
            state.SkipWithError("command failed");
    }
    state.SetBytesProcessed(state.iterations() * ArchiveText);
}

void BM_GzipPrepare(benchmark::State &state) { prepare(state, inputs().gz); }
void BM_GzipDcReference(benchmark::State &state) { command(state, "gzip -dc", inputs().gz); }
void BM_ZipPrepare(benchmark::State &state) { prepare(state, inputs().zip); }
void BM_UnzipPReference(benchmark::State &state) { command(state, "unzip -p", inputs().zip); }

// The whole conversion of a PalmDoc book, through descriptors, as a preparation runs it.
void BM_PalmConvert(benchmark::State &state)
{
    const int source = ::open(QFile::encodeName(inputs().pdb).constData(), O_RDONLY | O_CLOEXEC);
    const int text = ::open(QFile::encodeName(inputs().out).constData(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    for (auto _ : state) {
        if (::ftruncate(text, 0) != 0 || ::lseek(text, 0, SEEK_SET) != 0)
            state.SkipWithError("cannot reset the output");
        CopyMeter meter(CopyMeter::DefaultLimit, progress);
        bool plucker = false;
        if (!SourcePreparer::unpack(SourcePreparer::Kind::Palm, source, text, -1, meter, &plucker).isOk())
            state.SkipWithError("conversion failed");
    }
    ::close(text);
    ::close(source);
    state.SetBytesProcessed(state.iterations() * inputs().palmOutput);
}

void BM_PalmDocDecompress(benchmark::State &state)
{
    std::vector<unsigned char> out(32768);
    for (auto _ : state) {
        for (const QByteArray &r : inputs().records) {
            const unsigned n = makedoc9::Decompress(reinterpret_cast<const unsigned char *>(r.constData()), out.data(),
                                                    unsigned(r.size()), unsigned(out.size()));
            benchmark::DoNotOptimize(n);
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * inputs().palmOutput);
}

} // namespace

BENCHMARK(BM_GzipPrepare)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_GzipDcReference)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_ZipPrepare)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_UnzipPReference)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_PalmConvert)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PalmDocDecompress)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
