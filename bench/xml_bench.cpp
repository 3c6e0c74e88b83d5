// XML reading and writing throughput on generated documents, each beside a
// memcpy of the same bytes as the floor:
//   library5, library60  a media library of ~5 MB / ~60 MB: a dictionary of
//                        many ~25-key dictionaries of mixed types
//   numbers              a flat array of 1,000,000 integers and reals
//   data                 a dictionary of 64 KiB blobs, ~22 MB of base64
// Run: xml_bench --benchmark_min_time=2
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "docs.hpp"
#include "orvex/orvex.h"

namespace {

using namespace orvex_bench;

struct Doc {
    orvex_t tree = nullptr;
    std::string xml;
};

// Built once per name, on first use.
Doc &doc(const std::string &name) {
    static std::map<std::string, std::unique_ptr<Doc>> docs;
    auto &slot = docs[name];
    if (!slot) {
        slot = std::make_unique<Doc>();
        slot->tree = make_named(name);
        char *xml = nullptr;
        uint32_t len = 0;
        if (orvex_to_xml(slot->tree, &xml, &len) != ORVEX_ERR_SUCCESS)
            std::abort();
        slot->xml.assign(xml, len);
        std::free(xml);
    }
    return *slot;
}

void set_bytes(benchmark::State &state, const Doc &d) {
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(d.xml.size()));
    state.counters["MB"] = double(d.xml.size()) / 1e6;
}

void BM_Read(benchmark::State &state, const char *name) {
    Doc &d = doc(name);
    for (auto _ : state) {
        orvex_t root = nullptr;
        if (orvex_from_xml(d.xml.data(), uint32_t(d.xml.size()), &root) != ORVEX_ERR_SUCCESS)
            state.SkipWithError("document rejected");
        benchmark::DoNotOptimize(root);
        state.PauseTiming();
        orvex_free(root);
        state.ResumeTiming();
    }
    set_bytes(state, d);
}

void BM_Write(benchmark::State &state, const char *name) {
    Doc &d = doc(name);
    for (auto _ : state) {
        char *xml = nullptr;
        uint32_t len = 0;
        orvex_to_xml(d.tree, &xml, &len);
        benchmark::DoNotOptimize(xml);
        std::free(xml);
    }
    set_bytes(state, d);
}

void BM_Memcpy(benchmark::State &state, const char *name) {
    Doc &d = doc(name);
    std::vector<char> dst(d.xml.size());
    for (auto _ : state) {
        std::memcpy(dst.data(), d.xml.data(), d.xml.size());
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    set_bytes(state, d);
}

} // namespace

#define ORVEX_XML_BENCH(name)                                                                                \
    BENCHMARK_CAPTURE(BM_Memcpy, name, #name)->Unit(benchmark::kMillisecond);                                \
    BENCHMARK_CAPTURE(BM_Read, name, #name)->Unit(benchmark::kMillisecond);                                  \
    BENCHMARK_CAPTURE(BM_Write, name, #name)->Unit(benchmark::kMillisecond)

ORVEX_XML_BENCH(library5);
ORVEX_XML_BENCH(library60);
ORVEX_XML_BENCH(numbers);
ORVEX_XML_BENCH(data);

BENCHMARK_MAIN();
