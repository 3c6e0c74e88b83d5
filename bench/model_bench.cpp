// Object-model readers and writers beside the store's own, on the same
// documents in the same run, and the heap the wrapper tree adds.
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <time.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "docs.hpp"
#include "orvex/orvex++.h"

using namespace Orvex;

namespace {

std::vector<char> read_sample(const char *name) {
    std::string path(__FILE__);
    path = path.substr(0, path.rfind('/')) + "/../tests/data/" + name;
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Doc {
    std::string xml;
    std::vector<char> bin;
};

const Doc &doc(int which) {
    static Doc docs[2];
    static bool ready = false;
    if (!ready) {
        const std::vector<char> x = read_sample("library.xml");
        docs[0].xml.assign(x.begin(), x.end());
        docs[0].bin = read_sample("library.bin");
        orvex_t big = orvex_bench::make_library(3500); // the ~5 MB library of the codec benchmarks
        char *buf = nullptr;
        uint32_t len = 0;
        orvex_to_xml(big, &buf, &len);
        docs[1].xml.assign(buf, len);
        free(buf);
        orvex_to_bin(big, &buf, &len);
        docs[1].bin.assign(buf, buf + len);
        free(buf);
        orvex_free(big);
        ready = true;
    }
    return docs[which];
}

double cpu_seconds() {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// Runs `read` timed and `release` untimed, so a read is measured without the
// teardown of what it built. Process CPU time: the machine is shared.
template <class Read, class Release> void timed_read(benchmark::State &state, Read read, Release release) {
    for (auto _ : state) {
        const double start = cpu_seconds();
        auto result = read();
        const double stop = cpu_seconds();
        benchmark::DoNotOptimize(result);
        state.SetIterationTime(stop - start);
        release(result);
    }
}

void label(benchmark::State &state, size_t bytes) {
    state.SetLabel(state.range(0) == 0 ? "library.xml/.bin sample" : "3500-track library (~5 MB XML)");
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}

void BM_StoreFromXml(benchmark::State &state) {
    const Doc &d = doc(int(state.range(0)));
    timed_read(
        state,
        [&] {
            orvex_t root = nullptr;
            orvex_from_xml(d.xml.data(), uint32_t(d.xml.size()), &root);
            return root;
        },
        orvex_free);
    label(state, d.xml.size());
}

void BM_ModelFromXml(benchmark::State &state) {
    const Doc &d = doc(int(state.range(0)));
    timed_read(
        state, [&] { return Structure::FromXml(d.xml); }, [](Structure *s) { delete s; });
    label(state, d.xml.size());
}

void BM_StoreFromBin(benchmark::State &state) {
    const Doc &d = doc(int(state.range(0)));
    timed_read(
        state,
        [&] {
            orvex_t root = nullptr;
            orvex_from_bin(d.bin.data(), uint32_t(d.bin.size()), &root);
            return root;
        },
        orvex_free);
    label(state, d.bin.size());
}

void BM_ModelFromBin(benchmark::State &state) {
    const Doc &d = doc(int(state.range(0)));
    timed_read(
        state, [&] { return Structure::FromBin(d.bin); }, [](Structure *s) { delete s; });
    label(state, d.bin.size());
}

void BM_StoreToXml(benchmark::State &state) {
    std::unique_ptr<Structure> s(Structure::FromBin(doc(int(state.range(0))).bin));
    for (auto _ : state) {
        char *buf = nullptr;
        uint32_t len = 0;
        orvex_to_xml(s->GetOrvex(), &buf, &len);
        benchmark::DoNotOptimize(buf);
        free(buf);
    }
    label(state, doc(int(state.range(0))).xml.size());
}

void BM_ModelToXml(benchmark::State &state) {
    std::unique_ptr<Structure> s(Structure::FromBin(doc(int(state.range(0))).bin));
    for (auto _ : state)
        benchmark::DoNotOptimize(s->ToXml());
    label(state, doc(int(state.range(0))).xml.size());
}

void BM_StoreToBin(benchmark::State &state) {
    std::unique_ptr<Structure> s(Structure::FromBin(doc(int(state.range(0))).bin));
    for (auto _ : state) {
        char *buf = nullptr;
        uint32_t len = 0;
        orvex_to_bin(s->GetOrvex(), &buf, &len);
        benchmark::DoNotOptimize(buf);
        free(buf);
    }
    label(state, doc(int(state.range(0))).bin.size());
}

void BM_ModelToBin(benchmark::State &state) {
    std::unique_ptr<Structure> s(Structure::FromBin(doc(int(state.range(0))).bin));
    for (auto _ : state)
        benchmark::DoNotOptimize(s->ToBin());
    label(state, doc(int(state.range(0))).bin.size());
}

// Teardown of a parsed document: the store tree alone, and with its wrappers.
void BM_StoreFree(benchmark::State &state) {
    const Doc &d = doc(int(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        orvex_t root = nullptr;
        orvex_from_bin(d.bin.data(), uint32_t(d.bin.size()), &root);
        state.ResumeTiming();
        orvex_free(root);
    }
    label(state, d.bin.size());
}

void BM_ModelFree(benchmark::State &state) {
    const Doc &d = doc(int(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        Structure *s = Structure::FromBin(d.bin);
        state.ResumeTiming();
        delete s;
    }
    label(state, d.bin.size());
}

size_t heap_in_use() { return mallinfo2().uordblks; }

// Heap that wrapping adds per child, beyond the store tree itself.
void wrapper_bytes(benchmark::State &state, orvex_t (*make)(int)) {
    const int n = int(state.range(0));
    double per_child = 0;
    for (auto _ : state) {
        orvex_t store = make(n);
        const size_t before = heap_in_use();
        Node *wrapped = Node::FromOrvex(store, nullptr);
        per_child = double(heap_in_use() - before) / n;
        delete wrapped;
    }
    state.counters["wrapper_bytes_per_child"] = per_child;
}

orvex_t make_array(int n) {
    orvex_t a = orvex_new_array();
    for (int i = 0; i < n; ++i)
        orvex_array_append_item(a, orvex_new_uint(i));
    return a;
}

orvex_t make_dict(int n) {
    orvex_t d = orvex_new_dict();
    char key[32];
    for (int i = 0; i < n; ++i) {
        std::snprintf(key, sizeof key, "key %d", i);
        orvex_dict_set_item(d, key, orvex_new_uint(i));
    }
    return d;
}

orvex_t make_dict_long_keys(int n) {
    orvex_t d = orvex_new_dict();
    char key[48];
    for (int i = 0; i < n; ++i) {
        std::snprintf(key, sizeof key, "a longer dictionary key %d", i);
        orvex_dict_set_item(d, key, orvex_new_uint(i));
    }
    return d;
}

void BM_WrapperHeapArray(benchmark::State &state) { wrapper_bytes(state, make_array); }
void BM_WrapperHeapDict(benchmark::State &state) { wrapper_bytes(state, make_dict); }
void BM_WrapperHeapDictLongKeys(benchmark::State &state) { wrapper_bytes(state, make_dict_long_keys); }

} // namespace

// Appending grows the mirror geometrically: the cost per item stays flat.
void BM_ModelArrayAppend(benchmark::State &state) {
    const Integer item(int64_t(7));
    for (auto _ : state) {
        Array a;
        for (int64_t i = 0; i < state.range(0); ++i)
            a.Append(item);
        benchmark::DoNotOptimize(a.size());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

BENCHMARK(BM_ModelArrayAppend)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StoreFromXml)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ModelFromXml)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StoreFromBin)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ModelFromBin)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StoreToXml)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ModelToXml)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StoreToBin)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ModelToBin)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StoreFree)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ModelFree)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WrapperHeapArray)->Arg(100000)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WrapperHeapDict)->Arg(100000)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WrapperHeapDictLongKeys)->Arg(100000)->Iterations(3)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
