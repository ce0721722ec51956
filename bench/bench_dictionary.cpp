// Lookup, entry decoding and opening of a compressed dictionary, each beside a baseline
// measured in the same run:
//   lookup   findEntry + getSense of random existing words   vs std::lower_bound over all
//            canonical words held in memory
//   decode   SHCM decode of senses                            vs zlib uncompress of the same
//            senses compressed one by one
//   open     Dictionary::create
#include "dictionary.h"
#include "shcm.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr size_t GeneratedEntries = 150000;
constexpr size_t DecodeSenses = 100000; // senses used by the decoding benchmarks

std::string makeDictionary()
{
    if (const char *p = std::getenv("FOLIUM_BENCH_DICT"))
        return p;
    const std::string plain = "/tmp/folium-bench-plain.fdict", out = "/tmp/folium-bench.fdict";
    if (access(out.c_str(), R_OK) == 0)
        return out;
    std::mt19937 rng(42);
    const char *syll[] = {"ka", "te", "ro", "mi", "sun", "der", "lo", "pra", "ne", "vi", "ost", "ang"};
    std::string data, header = "id=generated\nmax-entry-length=4000\n";
    for (size_t i = 0; i < GeneratedEntries; ++i) {
        std::string w;
        for (int k = 0, n = 2 + int(rng() % 4); k < n; ++k)
            w += syll[rng() % 12];
        w += std::to_string(i);
        std::string s = w + " /pron/\n";
        for (int k = 0, n = 3 + int(rng() % 30); k < n; ++k)
            s += std::string(syll[rng() % 12]) + (rng() % 5 ? " " : ", ");
        data += w + "\n" + s + std::string(1, '\0');
    }
    FILE *f = std::fopen(plain.c_str(), "wb");
    std::fwrite(header.data(), 1, header.size(), f);
    std::fputc(0, f);
    std::fwrite(data.data(), 1, data.size(), f);
    std::fclose(f);
    std::unique_ptr<Dictionary> d(Dictionary::create(plain.c_str()));
    d->xerox(out, "shcm", true);
    std::remove(plain.c_str());
    return out;
}

struct Fixture {
    std::string path;
    std::vector<std::string> words;     // in file order
    std::vector<std::string> canon;     // sorted, for the in-memory baseline
    std::vector<std::string> senses;    // decoded, first DecodeSenses
    Fixture()
    {
        path = makeDictionary();
        std::unique_ptr<DictImpl> d(static_cast<DictImpl *>(Dictionary::create(path.c_str())));
        if (!d->getError().empty() || !d->firstEntry())
            return;
        do {
            words.push_back(d->getWord());
            canon.push_back(d->canonizeWord(d->getWord()));
            if (senses.size() < DecodeSenses)
                senses.push_back(d->getSense());
        } while (d->nextEntry());
        std::sort(canon.begin(), canon.end());
    }
};

Fixture &fixture()
{
    static Fixture f;
    return f;
}

void BM_DictLookup(benchmark::State &state)
{
    Fixture &f = fixture();
    std::unique_ptr<Dictionary> d(Dictionary::create(f.path.c_str()));
    std::mt19937 rng(1);
    size_t exact = 0;
    for (auto _ : state) {
        const std::string &w = f.words[rng() % f.words.size()];
        bool prefix;
        exact += d->findEntry(w, prefix);
        benchmark::DoNotOptimize(d->getSense());
    }
    state.counters["entries"] = double(f.words.size());
    state.counters["exact"] = benchmark::Counter(double(exact), benchmark::Counter::kAvgIterations);
}

void BM_LowerBoundInMemory(benchmark::State &state)
{
    Fixture &f = fixture();
    std::unique_ptr<DictImpl> d(static_cast<DictImpl *>(Dictionary::create(f.path.c_str())));
    std::mt19937 rng(1);
    for (auto _ : state) {
        // The same canonical form of the query as the engine computes, then the search.
        std::string c = d->canonizeWord(f.words[rng() % f.words.size()]);
        benchmark::DoNotOptimize(std::lower_bound(f.canon.begin(), f.canon.end(), c));
    }
}

struct Encoded {
    std::unique_ptr<SHCM> dec;
    std::vector<std::string> huff, zlib;
    std::vector<size_t> sizes;
    size_t total = 0;
    Encoded()
    {
        Fixture &f = fixture();
        std::unique_ptr<SHCM> enc(SHCM::create());
        enc->startPreEncode();
        for (const auto &s : f.senses)
            enc->preencode(s);
        std::string tree = enc->endPreEncode();
        dec.reset(SHCM::create());
        dec->startDecode(tree);
        for (const auto &s : f.senses) {
            huff.push_back(enc->encode(s));
            uLongf n = compressBound(uLong(s.size()));
            std::string z(n, '\0');
            compress2(reinterpret_cast<Bytef *>(&z[0]), &n, reinterpret_cast<const Bytef *>(s.data()), uLong(s.size()), Z_BEST_COMPRESSION);
            z.resize(n);
            zlib.push_back(z);
            sizes.push_back(s.size());
            total += s.size();
        }
    }
};

Encoded &encoded()
{
    static Encoded e;
    return e;
}

void BM_ShcmDecode(benchmark::State &state)
{
    Encoded &e = encoded();
    for (auto _ : state)
        for (const auto &h : e.huff)
            benchmark::DoNotOptimize(e.dec->decode(h));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(e.total));
    size_t stored = 0;
    for (const auto &h : e.huff)
        stored += h.size();
    state.counters["ratio"] = double(stored) / double(e.total);
}

void BM_ZlibUncompress(benchmark::State &state)
{
    Encoded &e = encoded();
    std::string out;
    for (auto _ : state) {
        for (size_t i = 0; i < e.zlib.size(); ++i) {
            out.resize(e.sizes[i]);
            uLongf n = uLongf(out.size());
            uncompress(reinterpret_cast<Bytef *>(&out[0]), &n, reinterpret_cast<const Bytef *>(e.zlib[i].data()), uLong(e.zlib[i].size()));
            benchmark::DoNotOptimize(out.data());
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(e.total));
    size_t stored = 0;
    for (const auto &z : e.zlib)
        stored += z.size();
    state.counters["ratio"] = double(stored) / double(e.total);
}

void BM_DictionaryCreate(benchmark::State &state)
{
    Fixture &f = fixture();
    for (auto _ : state) {
        std::unique_ptr<Dictionary> d(Dictionary::create(f.path.c_str()));
        benchmark::DoNotOptimize(d->getName());
    }
}

} // namespace

BENCHMARK(BM_DictLookup)->Repetitions(9)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LowerBoundInMemory)->Repetitions(9)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ShcmDecode)->Repetitions(3)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibUncompress)->Repetitions(3)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DictionaryCreate)->Repetitions(9)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
