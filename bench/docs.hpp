// Generated benchmark documents, shared so the XML, binary and object-model
// numbers describe the same trees.
#ifndef ORVEX_BENCH_DOCS_HPP
#define ORVEX_BENCH_DOCS_HPP

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "orvex/orvex.h"

namespace orvex_bench {

// One ~25-key dictionary of a media library: text, integers, dates, a real,
// booleans and a small blob.
inline orvex_t make_track(uint64_t i) {
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

// A dictionary of `tracks` track dictionaries under numeric keys.
inline orvex_t make_library(size_t tracks) {
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

// A flat array of `n` numbers, integers and reals alternating.
inline orvex_t make_numbers(size_t n) {
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

// A dictionary of `blobs` data values of `size` bytes each.
inline orvex_t make_data(size_t blobs, size_t size) {
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

// The benchmark document of that name: "library5" and "library60" (a media
// library of ~5 MB and ~60 MB as XML), "numbers" (1,000,000 numbers), and
// "data" (256 blobs of 64 KiB).
inline orvex_t make_named(const std::string &name) {
    if (name == "library5")
        return make_library(3500);
    if (name == "library60")
        return make_library(41500);
    if (name == "numbers")
        return make_numbers(1000000);
    return make_data(256, 64 * 1024);
}

} // namespace orvex_bench

#endif
