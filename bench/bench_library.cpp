// The library's cost when a book is opened, in an empty library and in one of 10,000 books:
//   find        find() of the stored book (by path), and of a book never seen (path, then content)
//   remember    remember() of the place, one transaction each, as on every page kept
//   open book   fingerprintOf() a 1 MB file + find() + remember(): what opening a book adds
//   list        books() with and without a filter, for the library window
#include "LibraryStore.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>

#include <benchmark/benchmark.h>

#include <map>
#include <memory>

namespace {

// A library of `others` made-up books plus one real file, built once per size.
struct Library
{
    QTemporaryDir dir;
    LibraryStore store;
    BookRecord book;  // the real file, stored

    explicit Library(int others)
    {
        store.open(dir.filePath(QStringLiteral("library.sqlite")));
        for (int i = 0; i < others; ++i) {
            BookRecord r;
            r.path = QStringLiteral("/home/reader/books/shelf%1/book-%2.txt").arg(i % 40).arg(i);
            r.size = 100000 + i;
            r.fingerprint = QCryptographicHash::hash(QByteArray::number(i), QCryptographicHash::Sha1);
            r.title = QStringLiteral("Title number %1").arg(i);
            r.author = QStringLiteral("Author %1").arg(i % 500);
            r.position = i * 17;
            r.lastRead = QDateTime::fromMSecsSinceEpoch(1700000000000 + qint64(i) * 60000, QTimeZone::utc());
            store.remember(r);
        }
        QFile file(dir.filePath(QStringLiteral("book.txt")));
        file.open(QIODevice::WriteOnly);
        const QByteArray line = "It was the best of times, it was the worst of times.\n";
        for (int i = 0; i < (1 << 20) / line.size(); ++i)
            file.write(line);
        file.close();
        book.path = file.fileName();
        book.fingerprint = LibraryStore::fingerprintOf(book.path, &book.size);
        book.title = QStringLiteral("A Tale");
        store.remember(book, &book.id);
    }
};

Library &library(int others)
{
    static std::map<int, std::unique_ptr<Library>> made;
    auto &slot = made[others];
    if (!slot)
        slot = std::make_unique<Library>(others);
    return *slot;
}

void BM_FindStored(benchmark::State &state)
{
    Library &lib = library(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(lib.store.find(lib.book.path, lib.book.size, lib.book.fingerprint));
}

void BM_FindUnknown(benchmark::State &state)
{
    Library &lib = library(int(state.range(0)));
    const QByteArray unknown = QCryptographicHash::hash("never stored", QCryptographicHash::Sha1);
    for (auto _ : state)
        benchmark::DoNotOptimize(lib.store.find(QStringLiteral("/nowhere/new.txt"), 4321, unknown));
}

void BM_Remember(benchmark::State &state)
{
    Library &lib = library(int(state.range(0)));
    BookRecord place = lib.book;
    for (auto _ : state) {
        ++place.position;
        place.lastRead = QDateTime();
        benchmark::DoNotOptimize(lib.store.remember(place));
    }
}

void BM_OpenBook(benchmark::State &state)
{
    Library &lib = library(int(state.range(0)));
    for (auto _ : state) {
        qint64 size = 0;
        const QByteArray fingerprint = LibraryStore::fingerprintOf(lib.book.path, &size);
        auto found = lib.store.find(lib.book.path, size, fingerprint);
        benchmark::DoNotOptimize(lib.store.remember(*found));
    }
}

void BM_List(benchmark::State &state)
{
    Library &lib = library(int(state.range(0)));
    const QString filter = state.range(1) ? QStringLiteral("author 42") : QString();
    for (auto _ : state)
        benchmark::DoNotOptimize(lib.store.books(filter));
}

} // namespace

BENCHMARK(BM_FindStored)->Arg(0)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FindUnknown)->Arg(0)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Remember)->Arg(0)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OpenBook)->Arg(0)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_List)->Args({10000, 0})->Args({10000, 1})->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
