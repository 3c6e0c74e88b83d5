// OpenStep text reading and writing beside XML on the same generated trees,
// in MB/s of each encoding's own document. The OpenStep document is written
// with ORVEX_OSTEP_TYPED, so it holds the same values as the XML one.
//   library5  a media library of ~5 MB of XML (see docs.hpp)
//   numbers   a flat array of 1,000,000 integers and reals
// Run: ostep_bench --benchmark_min_time=2
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "docs.hpp"
#include "orvex/orvex.h"

namespace {

using namespace orvex_bench;

struct Doc {
    orvex_t tree = nullptr;
    std::string xml, ostep;
};

Doc &doc(const std::string &name) {
    static std::map<std::string, std::unique_ptr<Doc>> docs;
    auto &slot = docs[name];
    if (!slot) {
        slot = std::make_unique<Doc>();
        slot->tree = make_named(name);
        char *text = nullptr;
        uint32_t len = 0;
        if (orvex_to_xml(slot->tree, &text, &len) != ORVEX_ERR_SUCCESS)
            std::abort();
        slot->xml.assign(text, len);
        std::free(text);
        if (orvex_to_openstep(slot->tree, &text, &len, ORVEX_OSTEP_TYPED) != ORVEX_ERR_SUCCESS)
            std::abort();
        slot->ostep.assign(text, len);
        std::free(text);
    }
    return *slot;
}

const std::string &text_of(Doc &d, orvex_format_t f) { return f == ORVEX_FORMAT_XML ? d.xml : d.ostep; }

void set_bytes(benchmark::State &state, const std::string &text) {
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
    state.counters["MB"] = double(text.size()) / 1e6;
}

void BM_Read(benchmark::State &state, const char *name, orvex_format_t f) {
    Doc &d = doc(name);
    const std::string &text = text_of(d, f);
    for (auto _ : state) {
        orvex_t root = nullptr;
        if (orvex_parse(text.data(), text.size(), f, &root, nullptr, nullptr) != ORVEX_ERR_SUCCESS)
            state.SkipWithError("document rejected");
        benchmark::DoNotOptimize(root);
        state.PauseTiming();
        orvex_free(root);
        state.ResumeTiming();
    }
    set_bytes(state, text);
}

void BM_Write(benchmark::State &state, const char *name, orvex_format_t f) {
    Doc &d = doc(name);
    for (auto _ : state) {
        char *text = nullptr;
        uint32_t len = 0;
        if (f == ORVEX_FORMAT_XML)
            orvex_to_xml(d.tree, &text, &len);
        else
            orvex_to_openstep(d.tree, &text, &len, ORVEX_OSTEP_TYPED);
        benchmark::DoNotOptimize(text);
        std::free(text);
    }
    set_bytes(state, text_of(d, f));
}

} // namespace

#define ORVEX_OSTEP_BENCH(name)                                                                              \
    BENCHMARK_CAPTURE(BM_Read, name##_xml, #name, ORVEX_FORMAT_XML)->Unit(benchmark::kMillisecond);          \
    BENCHMARK_CAPTURE(BM_Read, name##_ostep, #name, ORVEX_FORMAT_OSTEP)->Unit(benchmark::kMillisecond);      \
    BENCHMARK_CAPTURE(BM_Write, name##_xml, #name, ORVEX_FORMAT_XML)->Unit(benchmark::kMillisecond);         \
    BENCHMARK_CAPTURE(BM_Write, name##_ostep, #name, ORVEX_FORMAT_OSTEP)->Unit(benchmark::kMillisecond)

ORVEX_OSTEP_BENCH(library5);
ORVEX_OSTEP_BENCH(numbers);

BENCHMARK_MAIN();
