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

#include "orvex/orvex.h"

namespace {

// Same generators as the XML benchmark, so the two sets of numbers compare.
orvex_t make_track(uint64_t i) {
    char buf[96];
    orvex_t t = orvex_new_dict();
    auto text = [&](const char *key, const char *fmt, uint64_t v) {
        std::snprintf(buf, sizeof buf, fmt, static_cast<unsigned long long>(v));
        orvex_dict_set_item(t, key, orvex_new_string(buf));
    };
    orvex_dict_set_item(t, "Track ID", orvex_new_uint(i));
    text("Name", "Song number %llu of the collection", i);
    text("Artist", "Artist %llu", i % 997);
    text("Album Artist", "Artist %llu", i % 997);
    text("Album", "Album %llu & friends", i % 3001);
    text("Genre", "Genre %llu", i % 17);
    orvex_dict_set_item(t, "Kind", orvex_new_string("MPEG audio file"));
    orvex_dict_set_item(t, "Size", orvex_new_uint(3000000 + i * 37));
    orvex_dict_set_item(t, "Total Time", orvex_new_uint(180000 + i % 120000));
    orvex_dict_set_item(t, "Disc Number", orvex_new_uint(1));
    orvex_dict_set_item(t, "Track Number", orvex_new_uint(i % 14 + 1));
    orvex_dict_set_item(t, "Year", orvex_new_uint(1960 + i % 60));
    orvex_dict_set_item(t, "Date Modified", orvex_new_unix_date(1262390400 + int64_t(i) * 61));
    orvex_dict_set_item(t, "Date Added", orvex_new_unix_date(1262390400 + int64_t(i) * 67));
    orvex_dict_set_item(t, "Bit Rate", orvex_new_uint(256));
    orvex_dict_set_item(t, "Sample Rate", orvex_new_uint(44100));
    orvex_dict_set_item(t, "Play Count", orvex_new_uint(i % 50));
    orvex_dict_set_item(t, "Skip Count", orvex_new_int(-int64_t(i % 3)));
    orvex_dict_set_item(t, "Volume Adjustment", orvex_new_real(double(i % 200) / 7.0 - 10.0));
    orvex_dict_set_item(t, "Loved", orvex_new_bool(i % 5 == 0));
    orvex_dict_set_item(t, "Compilation", orvex_new_bool(i % 11 == 0));
    text("Persistent ID", "%016llX", i * 0x9E3779B97F4A7C15ull);
    orvex_dict_set_item(t, "Track Type", orvex_new_string("File"));
    text("Location", "file:///Users/someone/Music/Artist%%20%llu/Track.mp3", i);
    char art[24];
    for (int k = 0; k < 24; ++k)
        art[k] = static_cast<char>((i * 31 + k * 7) & 0xFF);
    orvex_dict_set_item(t, "Artwork Hash", orvex_new_data(art, sizeof art));
    return t;
}

orvex_t make_library(size_t tracks) {
    orvex_t root = orvex_new_dict();
    orvex_dict_set_item(root, "Major Version", orvex_new_uint(1));
    orvex_dict_set_item(root, "Application Version", orvex_new_string("12.9.5.5"));
    orvex_dict_set_item(root, "Date", orvex_new_unix_date(1700000000));
    orvex_t all = orvex_new_dict();
    char key[24];
    for (size_t i = 0; i < tracks; ++i) {
        std::snprintf(key, sizeof key, "%zu", i + 1000);
        orvex_dict_set_item(all, key, make_track(i));
    }
    orvex_dict_set_item(root, "Tracks", all);
    return root;
}

orvex_t make_numbers(size_t n) {
    orvex_t a = orvex_new_array();
    uint64_t x = 88172645463325252ull;
    for (size_t i = 0; i < n; ++i) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        if (i % 2)
            orvex_array_append_item(a, orvex_new_real(double(x >> 11) / double(1ull << 40)));
        else
            orvex_array_append_item(a, orvex_new_int(int64_t(x % 2000000) - 1000000));
    }
    return a;
}

orvex_t make_data(size_t blobs, size_t size) {
    orvex_t d = orvex_new_dict();
    std::vector<char> bytes(size);
    char key[24];
    for (size_t b = 0; b < blobs; ++b) {
        for (size_t i = 0; i < size; ++i)
            bytes[i] = static_cast<char>((i * 131 + b * 7) ^ (i >> 5));
        std::snprintf(key, sizeof key, "blob %zu", b);
        orvex_dict_set_item(d, key, orvex_new_data(bytes.data(), size));
    }
    return d;
}

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
        if (name == "library5")
            slot->tree = make_library(3500);
        else if (name == "library60")
            slot->tree = make_library(41500);
        else if (name == "numbers")
            slot->tree = make_numbers(1000000);
        else
            slot->tree = make_data(256, 64 * 1024);
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
        state.counters["values/s"] = benchmark::Counter(double(state.iterations()) * double(d.values),
                                                        benchmark::Counter::kIsRate);
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

#define ORVEX_BIN_BENCH(name)                                                                      \
    BENCHMARK_CAPTURE(BM_Memcpy, name, #name)->Unit(benchmark::kMillisecond);                      \
    BENCHMARK_CAPTURE(BM_Read, name, #name)->Unit(benchmark::kMillisecond);                        \
    BENCHMARK_CAPTURE(BM_Write, name, #name)->Unit(benchmark::kMillisecond)

ORVEX_BIN_BENCH(library5);
ORVEX_BIN_BENCH(library60);
ORVEX_BIN_BENCH(numbers);
ORVEX_BIN_BENCH(data);

BENCHMARK_MAIN();
