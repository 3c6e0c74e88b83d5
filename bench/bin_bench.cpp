// Binary reading and writing throughput on generated documents, each beside a
// memcpy of the same bytes as the floor. The documents are those of the XML
// benchmark, encoded in binary:
//   library5, library60  a media library of ~5 MB / ~60 MB of XML: a dictionary
//                        of many ~25-key dictionaries of mixed types
//   numbers              a flat array of 1,000,000 integers and reals
//   data                 a dictionary of 256 blobs of 64 KiB
// Besides bytes per second, "values/s" counts the values (every node; keys
// are not values) read or written per second.
// Run: bin_bench --benchmark_min_time=2
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

// Nodes in the tree, iteratively.
uint64_t count_values(orvex_t root) {
    uint64_t n = 0;
    std::vector<orvex_t> stack{root};
    while (!stack.empty()) {
        orvex_t t = stack.back();
        stack.pop_back();
        ++n;
        orvex_type type = orvex_get_node_type(t);
        if (type == ORVEX_ARRAY) {
            for (uint32_t i = 0; i < orvex_array_get_size(t); ++i)
                stack.push_back(orvex_array_get_item(t, i));
        } else if (type == ORVEX_DICT) {
            orvex_dict_iter it = nullptr;
            orvex_dict_new_iter(t, &it);
            for (;;) {
                orvex_t v = nullptr;
                orvex_dict_next_item(t, it, nullptr, &v);
                if (!v)
                    break;
                stack.push_back(v);
            }
            std::free(it);
        }
    }
    return n;
}

struct Doc {
    orvex_t tree = nullptr;
    std::string bin;
    uint64_t values = 0;
};

// Built once per name, on first use.
Doc &doc(const std::string &name) {
    static std::map<std::string, std::unique_ptr<Doc>> docs;
    auto &slot = docs[name];
    if (!slot) {
        slot = std::make_unique<Doc>();
        slot->tree = make_named(name);
        char *bin = nullptr;
        uint32_t len = 0;
        if (orvex_to_bin(slot->tree, &bin, &len) != ORVEX_ERR_SUCCESS)
            std::abort();
        slot->bin.assign(bin, len);
        std::free(bin);
        slot->values = count_values(slot->tree);
    }
    return *slot;
}

void set_counters(benchmark::State &state, const Doc &d, bool values) {
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(d.bin.size()));
    state.counters["MB"] = double(d.bin.size()) / 1e6;
    if (values)
        state.counters["values/s"] =
            benchmark::Counter(double(state.iterations()) * double(d.values), benchmark::Counter::kIsRate);
}

void BM_Read(benchmark::State &state, const char *name) {
    Doc &d = doc(name);
    for (auto _ : state) {
        orvex_t root = nullptr;
        if (orvex_from_bin(d.bin.data(), uint32_t(d.bin.size()), &root) != ORVEX_ERR_SUCCESS)
            state.SkipWithError("document rejected");
        benchmark::DoNotOptimize(root);
        state.PauseTiming();
        orvex_free(root);
        state.ResumeTiming();
    }
    set_counters(state, d, true);
}

void BM_Write(benchmark::State &state, const char *name) {
    Doc &d = doc(name);
    for (auto _ : state) {
        char *bin = nullptr;
        uint32_t len = 0;
        orvex_to_bin(d.tree, &bin, &len);
        benchmark::DoNotOptimize(bin);
        std::free(bin);
    }
    set_counters(state, d, true);
}

void BM_Memcpy(benchmark::State &state, const char *name) {
    Doc &d = doc(name);
    std::vector<char> dst(d.bin.size());
    for (auto _ : state) {
        std::memcpy(dst.data(), d.bin.data(), d.bin.size());
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    set_counters(state, d, false);
}

} // namespace

#define ORVEX_BIN_BENCH(name)                                                                                \
    BENCHMARK_CAPTURE(BM_Memcpy, name, #name)->Unit(benchmark::kMillisecond);                                \
    BENCHMARK_CAPTURE(BM_Read, name, #name)->Unit(benchmark::kMillisecond);                                  \
    BENCHMARK_CAPTURE(BM_Write, name, #name)->Unit(benchmark::kMillisecond)

ORVEX_BIN_BENCH(library5);
ORVEX_BIN_BENCH(library60);
ORVEX_BIN_BENCH(numbers);
ORVEX_BIN_BENCH(data);

BENCHMARK_MAIN();
