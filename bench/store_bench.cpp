// The node store's value tree: creation, containers, copy, and memory cost.
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "orvex/orvex.h"

namespace {

// Builds an array of `n` mixed scalars (ints, reals, bools, short strings).
orvex_t mixed_array(size_t n) {
    orvex_t a = orvex_new_array();
    for (size_t i = 0; i < n; ++i) {
        orvex_t v;
        switch (i & 3) {
        case 0:
            v = orvex_new_uint(i);
            break;
        case 1:
            v = orvex_new_real(double(i) * 0.5);
            break;
        case 2:
            v = orvex_new_bool(i & 4);
            break;
        default:
            v = orvex_new_string("short text");
            break;
        }
        orvex_array_append_item(a, v);
    }
    return a;
}

std::vector<std::string> make_keys(size_t n) {
    std::vector<std::string> keys;
    keys.reserve(n);
    for (size_t i = 0; i < n; ++i)
        keys.push_back("Key " + std::to_string(i));
    return keys;
}

size_t heap_in_use() { return mallinfo2().uordblks; }

void BM_ScalarCreateFree(benchmark::State &state) {
    for (auto _ : state) {
        orvex_t n = orvex_new_uint(42);
        benchmark::DoNotOptimize(n);
        orvex_free(n);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ScalarCreateFree);

void BM_MixedTreeBuildFree(benchmark::State &state) {
    const size_t n = size_t(state.range(0));
    for (auto _ : state) {
        orvex_t a = mixed_array(n);
        orvex_free(a);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(n));
}
BENCHMARK(BM_MixedTreeBuildFree)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_ArrayAppend(benchmark::State &state) {
    const size_t n = size_t(state.range(0));
    std::vector<orvex_t> items(n);
    for (auto _ : state) {
        state.PauseTiming();
        orvex_t a = orvex_new_array();
        for (auto &it : items)
            it = orvex_new_uint(7);
        state.ResumeTiming();
        for (orvex_t it : items)
            orvex_array_append_item(a, it);
        state.PauseTiming();
        orvex_free(a);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(n));
}
BENCHMARK(BM_ArrayAppend)->Arg(100000);

void BM_DictSet(benchmark::State &state) {
    const auto keys = make_keys(size_t(state.range(0)));
    for (auto _ : state) {
        orvex_t d = orvex_new_dict();
        for (const auto &k : keys)
            orvex_dict_set_item(d, k.c_str(), orvex_new_uint(1));
        orvex_free(d);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(keys.size()));
}
BENCHMARK(BM_DictSet)->Arg(10)->Arg(1000)->Arg(100000);

void BM_DictGet(benchmark::State &state) {
    const auto keys = make_keys(size_t(state.range(0)));
    orvex_t d = orvex_new_dict();
    for (const auto &k : keys)
        orvex_dict_set_item(d, k.c_str(), orvex_new_uint(1));
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(orvex_dict_get_item(d, keys[i].c_str()));
        if (++i == keys.size())
            i = 0;
    }
    state.SetItemsProcessed(state.iterations());
    orvex_free(d);
}
BENCHMARK(BM_DictGet)->Arg(10)->Arg(1000)->Arg(100000);

// Churn: a dictionary of `n` keys where one key is removed and set again,
// `n` times per iteration. Removed entries leave slots behind, so this shows
// whether reclaiming them stays amortised O(1): time per pair should not grow with n.
void BM_DictChurn(benchmark::State &state) {
    const auto keys = make_keys(size_t(state.range(0)));
    orvex_t d = orvex_new_dict();
    for (const auto &k : keys)
        orvex_dict_set_item(d, k.c_str(), orvex_new_uint(1));
    size_t i = 0;
    for (auto _ : state) {
        for (size_t j = 0; j < keys.size(); ++j) {
            const char *k = keys[i].c_str();
            orvex_dict_remove_item(d, k);
            orvex_dict_set_item(d, k, orvex_new_uint(2));
            if (++i == keys.size())
                i = 0;
        }
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(keys.size()));
    orvex_free(d);
}
BENCHMARK(BM_DictChurn)->Arg(1000)->Arg(4000)->Arg(16000)->Arg(64000)->Unit(benchmark::kMillisecond);

// The fixed key hash the store once used, as anyone could compute it.
uint32_t published_hash(const char *key, size_t len) {
    uint64_t h = 0x9E3779B97F4A7C15ull ^ (len * 0xC2B2AE3D27D4EB4Full);
    uint64_t tail = 0; // keys here are 8 bytes: one block, no tail
    std::memcpy(&tail, key, 8);
    h = (h ^ tail) * 0xBF58476D1CE4E5B9ull;
    h ^= h >> 29;
    h *= 0x94D049BB133111EBull;
    h ^= h >> 32;
    h *= 0xBF58476D1CE4E5B9ull;
    h ^= h >> 29;
    return static_cast<uint32_t>(h);
}

// Keys a document's author could pick so that a fixed hash piles them into
// one probe run; with the per-process seed they cost what any keys cost.
void BM_DictCollidingKeys(benchmark::State &state) {
    const size_t n = size_t(state.range(0));
    std::vector<std::string> keys;
    for (uint64_t i = 0; keys.size() < n; ++i) {
        char k[8];
        for (int b = 0; b < 8; ++b)
            k[b] = char('a' + ((i >> (4 * b)) & 15));
        if ((published_hash(k, 8) & 131071u) < 512)
            keys.emplace_back(k, 8);
    }
    for (auto _ : state) {
        orvex_t d = orvex_new_dict();
        for (size_t i = 0; i < n; ++i)
            orvex_dict_set_item(d, keys[i].c_str(), orvex_new_uint(i));
        for (size_t i = 0; i < n; ++i)
            benchmark::DoNotOptimize(orvex_dict_get_item(d, keys[i].c_str()));
        orvex_free(d);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(n));
}
BENCHMARK(BM_DictCollidingKeys)->Arg(60000)->Unit(benchmark::kMillisecond);

void BM_DeepCopy(benchmark::State &state) {
    // 1,000,000 nodes: 1,000 dictionaries of 999 scalars each, in an array.
    orvex_t root = orvex_new_array();
    const auto keys = make_keys(999);
    for (int i = 0; i < 1000; ++i) {
        orvex_t d = orvex_new_dict();
        for (const auto &k : keys)
            orvex_dict_set_item(d, k.c_str(), orvex_new_int(i));
        orvex_array_append_item(root, d);
    }
    for (auto _ : state) {
        orvex_t c = orvex_copy(root);
        benchmark::DoNotOptimize(c);
        state.PauseTiming();
        orvex_free(c);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 1000000);
    orvex_free(root);
}
BENCHMARK(BM_DeepCopy)->Unit(benchmark::kMillisecond);

// Heap bytes (allocator overhead included, as glibc counts chunks) per node.
void BM_MemoryPerNode(benchmark::State &state) {
    const size_t n = 100000;
    double scalar = 0, short_string = 0, slot = 0;
    for (auto _ : state) {
        std::vector<orvex_t> nodes(n);
        size_t before = heap_in_use();
        for (auto &x : nodes)
            x = orvex_new_uint(1);
        scalar = double(heap_in_use() - before) / n;
        for (auto x : nodes)
            orvex_free(x);
        before = heap_in_use();
        for (auto &x : nodes)
            x = orvex_new_string("fifteen bytes!!");
        short_string = double(heap_in_use() - before) / n;
        for (auto x : nodes)
            orvex_free(x);
        orvex_t a = orvex_new_array();
        for (size_t i = 0; i < 1000000; ++i) // settle the array at full capacity
            orvex_array_append_item(a, orvex_new_uint(i));
        before = heap_in_use();
        orvex_t b = orvex_new_array();
        for (size_t i = 0; i < 1u << 20; ++i)
            orvex_array_append_item(b, orvex_new_uint(i));
        // Whole array minus the nodes themselves: what the slots cost.
        slot = (double(heap_in_use() - before) - scalar * double(1u << 20)) / double(1u << 20);
        orvex_free(a);
        orvex_free(b);
    }
    state.counters["scalar_bytes"] = scalar;
    state.counters["short_string_bytes"] = short_string;
    state.counters["array_slot_bytes"] = slot;
}
BENCHMARK(BM_MemoryPerNode)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
