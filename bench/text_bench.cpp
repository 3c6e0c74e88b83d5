// The text encodings side by side on the same generated trees: XML, JSON and
// OpenStep (typed) reading and writing, each beside a memcpy of the same
// bytes as the floor:
//   library5, library60  a media library of ~5 MB / ~60 MB of XML: a dictionary
//                        of many ~25-key dictionaries of mixed types
//   numbers              a flat array of 1,000,000 integers and reals
//   data                 a dictionary of 64 KiB blobs, ~22 MB of base64
// JSON is written lossy (dates and data as text), so it is read back as the
// same shape, not the same tree. MB/s is of each encoding's own bytes.
// Run: text_bench --benchmark_min_time=2 [--benchmark_filter=json]
#include <benchmark/benchmark.h>

#include <array>
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

enum Encoding { XML, JSON, OSTEP, ENCODINGS };

const orvex_format_t FORMATS[ENCODINGS] = {ORVEX_FORMAT_XML, ORVEX_FORMAT_JSON, ORVEX_FORMAT_OSTEP};

orvex_err_t write(orvex_t tree, Encoding e, char **text, uint32_t *len) {
    switch (e) {
    case XML:
        return orvex_to_xml(tree, text, len);
    case JSON:
        return orvex_to_json(tree, text, len, ORVEX_JSON_LOSSY);
    default:
        return orvex_to_openstep(tree, text, len, ORVEX_OSTEP_TYPED);
    }
}

struct Doc {
    orvex_t tree = nullptr;
    std::array<std::string, ENCODINGS> text;
};

// Built once per name, on first use, in every encoding.
Doc &doc(const std::string &name) {
    static std::map<std::string, std::unique_ptr<Doc>> docs;
    auto &slot = docs[name];
    if (!slot) {
        slot = std::make_unique<Doc>();
        slot->tree = make_named(name);
        for (int e = 0; e < ENCODINGS; ++e) {
            char *text = nullptr;
            uint32_t len = 0;
            if (write(slot->tree, Encoding(e), &text, &len) != ORVEX_ERR_SUCCESS)
                std::abort();
            slot->text[e].assign(text, len);
            std::free(text);
        }
    }
    return *slot;
}

void set_bytes(benchmark::State &state, const std::string &text) {
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
    state.counters["MB"] = double(text.size()) / 1e6;
}

void BM_Read(benchmark::State &state, const char *name, Encoding e) {
    const std::string &text = doc(name).text[e];
    for (auto _ : state) {
        orvex_t root = nullptr;
        if (orvex_parse(text.data(), text.size(), FORMATS[e], &root, nullptr, nullptr) != ORVEX_ERR_SUCCESS)
            state.SkipWithError("document rejected");
        benchmark::DoNotOptimize(root);
        state.PauseTiming();
        orvex_free(root);
        state.ResumeTiming();
    }
    set_bytes(state, text);
}

void BM_Write(benchmark::State &state, const char *name, Encoding e) {
    Doc &d = doc(name);
    for (auto _ : state) {
        char *text = nullptr;
        uint32_t len = 0;
        write(d.tree, e, &text, &len);
        benchmark::DoNotOptimize(text);
        std::free(text);
    }
    set_bytes(state, d.text[e]);
}

void BM_Memcpy(benchmark::State &state, const char *name, Encoding e) {
    const std::string &text = doc(name).text[e];
    std::vector<char> dst(text.size());
    for (auto _ : state) {
        std::memcpy(dst.data(), text.data(), text.size());
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    set_bytes(state, text);
}

} // namespace

#define ORVEX_TEXT_BENCH(name, enc, e)                                                                       \
    BENCHMARK_CAPTURE(BM_Memcpy, name##_##enc, #name, e)->Unit(benchmark::kMillisecond);                     \
    BENCHMARK_CAPTURE(BM_Read, name##_##enc, #name, e)->Unit(benchmark::kMillisecond);                       \
    BENCHMARK_CAPTURE(BM_Write, name##_##enc, #name, e)->Unit(benchmark::kMillisecond)

#define ORVEX_TEXT_BENCHES(name)                                                                             \
    ORVEX_TEXT_BENCH(name, xml, XML);                                                                        \
    ORVEX_TEXT_BENCH(name, json, JSON);                                                                      \
    ORVEX_TEXT_BENCH(name, ostep, OSTEP)

ORVEX_TEXT_BENCHES(library5);
ORVEX_TEXT_BENCHES(library60);
ORVEX_TEXT_BENCHES(numbers);
ORVEX_TEXT_BENCHES(data);

BENCHMARK_MAIN();
