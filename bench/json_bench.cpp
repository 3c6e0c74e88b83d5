// JSON reading and writing throughput on the documents of xml_bench, each
// beside a memcpy of the same bytes as the floor. Dates and data have no JSON
// form, so the trees are written with ORVEX_JSON_LOSSY (dates as ISO 8601
// text, data as base64 text) and read back with those as strings. Compare
// MB/s with xml_bench on the same names.
// Run: json_bench --benchmark_min_time=2
#include <benchmark/benchmark.h>

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
    std::string json;
};

// Built once per name, on first use.
Doc &doc(const std::string &name) {
    static std::map<std::string, std::unique_ptr<Doc>> docs;
    auto &slot = docs[name];
    if (!slot) {
        slot = std::make_unique<Doc>();
        slot->tree = make_named(name);
        char *json = nullptr;
        uint32_t len = 0;
        if (orvex_to_json(slot->tree, &json, &len, ORVEX_JSON_LOSSY) != ORVEX_ERR_SUCCESS)
            std::abort();
        slot->json.assign(json, len);
        std::free(json);
    }
    return *slot;
}

void set_bytes(benchmark::State &state, const Doc &d) {
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(d.json.size()));
    state.counters["MB"] = double(d.json.size()) / 1e6;
}

void BM_Read(benchmark::State &state, const char *name) {
    Doc &d = doc(name);
    for (auto _ : state) {
        orvex_t root = nullptr;
        if (orvex_from_json(d.json.data(), uint32_t(d.json.size()), &root) != ORVEX_ERR_SUCCESS)
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
        char *json = nullptr;
        uint32_t len = 0;
        orvex_to_json(d.tree, &json, &len, ORVEX_JSON_LOSSY);
        benchmark::DoNotOptimize(json);
        std::free(json);
    }
    set_bytes(state, d);
}

void BM_Memcpy(benchmark::State &state, const char *name) {
    Doc &d = doc(name);
    std::vector<char> dst(d.json.size());
    for (auto _ : state) {
        std::memcpy(dst.data(), d.json.data(), d.json.size());
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    set_bytes(state, d);
}

} // namespace

#define ORVEX_JSON_BENCH(name)                                                                               \
    BENCHMARK_CAPTURE(BM_Memcpy, name, #name)->Unit(benchmark::kMillisecond);                                \
    BENCHMARK_CAPTURE(BM_Read, name, #name)->Unit(benchmark::kMillisecond);                                  \
    BENCHMARK_CAPTURE(BM_Write, name, #name)->Unit(benchmark::kMillisecond)

ORVEX_JSON_BENCH(library5);
ORVEX_JSON_BENCH(library60);
ORVEX_JSON_BENCH(numbers);
ORVEX_JSON_BENCH(data);

BENCHMARK_MAIN();
