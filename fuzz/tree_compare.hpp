// Tree equality with the losses that the encodings and the object model
// document: XML keeps dates in whole seconds (rounded down, far ones
// clamped), and a dictionary holding only CF$UID with an integer from 0 to
// 2^64-1 is the form XML gives a UID, so it comes back as one; a key node standing as a value comes back from
// a binary document as a string (that encoding has no key type); the copy of a Date, String or Key wrapper
// carries its value as the getters read it (whole seconds, text up to its first NUL). Anything else must
// match as orvex_equal has it; key texts are compared up to their first NUL.
#ifndef ORVEX_FUZZ_TREE_COMPARE_HPP
#define ORVEX_FUZZ_TREE_COMPARE_HPP

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "orvex/orvex.h"

namespace fuzz {

struct Losses {
    bool dates_as_seconds = false; // same whole Unix second, which one of the two is exactly
    bool key_values_as_strings = false;
    bool text_to_nul = false; // strings and keys compared up to their first NUL
    bool uid_dicts_as_uids = false;
};

// Puts the items of an array or the values of a dictionary on `todo`.
inline void push_children(orvex_t n, std::vector<orvex_t> &todo) {
    if (orvex_get_node_type(n) == ORVEX_ARRAY) {
        for (uint32_t i = 0, k = orvex_array_get_size(n); i < k; ++i)
            todo.push_back(orvex_array_get_item(n, i));
    } else if (orvex_get_node_type(n) == ORVEX_DICT) {
        orvex_dict_iter it = nullptr;
        orvex_dict_new_iter(n, &it);
        for (orvex_t v = nullptr;;) {
            orvex_dict_next_item(n, it, nullptr, &v);
            if (!v)
                break;
            todo.push_back(v);
        }
        std::free(it);
    }
}

// Whether `root` holds more than `limit` nodes. Shared references let a few
// hundred bytes read as a million nodes, which is valid, but checking such a
// tree many times over would only time the fuzzer out.
inline bool larger_than(orvex_t root, size_t limit) {
    size_t seen = 0;
    std::vector<orvex_t> todo{root};
    while (!todo.empty()) {
        orvex_t n = todo.back();
        todo.pop_back();
        if (++seen > limit)
            return true;
        push_children(n, todo);
    }
    return false;
}

// The UID value of a dictionary that XML cannot tell from a UID.
inline bool uid_form(orvex_t dict, uint64_t *uid) {
    if (orvex_get_node_type(dict) != ORVEX_DICT || orvex_dict_get_size(dict) != 1)
        return false;
    orvex_t v = orvex_dict_get_item(dict, "CF$UID");
    if (orvex_get_node_type(v) != ORVEX_INT || orvex_int_val_is_negative(v))
        return false;
    orvex_get_uint_val(v, uid);
    return true;
}

// Whether `root` holds a date the XML writer cannot spell exactly (a
// fraction of a second, or no whole second at all), a key node as a value
// (the root or an item of an array or dictionary), or a dictionary in the
// form of a UID.
inline void find_losses(orvex_t root, bool *odd_date, bool *key_value, bool *uid_dict = nullptr) {
    *odd_date = *key_value = false;
    bool uid_seen = false;
    uint64_t ignored = 0;
    std::vector<orvex_t> todo{root};
    while (!todo.empty()) {
        orvex_t n = todo.back();
        todo.pop_back();
        switch (orvex_get_node_type(n)) {
        case ORVEX_DATE: {
            double d = 0;
            orvex_get_date_val(n, &d);
            *odd_date = *odd_date || !std::isfinite(d) || std::fabs(d) >= 9.0e18 || d != std::floor(d);
            break;
        }
        case ORVEX_KEY:
            *key_value = true;
            break;
        case ORVEX_DICT:
            uid_seen = uid_seen || uid_form(n, &ignored);
            break;
        default:
            break;
        }
        push_children(n, todo);
    }
    if (uid_dict)
        *uid_dict = uid_seen;
}

inline bool same_key_text(orvex_t key, orvex_t str) {
    char *k = nullptr;
    orvex_get_key_val(key, &k);
    const char *s = orvex_get_string_ptr(str, nullptr);
    bool same = k && s && std::strcmp(k, s) == 0;
    std::free(k);
    return same;
}

inline bool same_text_to_nul(orvex_t a, orvex_t b) {
    if (orvex_get_node_type(a) == ORVEX_KEY) {
        char *ka = nullptr, *kb = nullptr;
        orvex_get_key_val(a, &ka);
        orvex_get_key_val(b, &kb);
        bool same = ka && kb && std::strcmp(ka, kb) == 0;
        std::free(ka);
        std::free(kb);
        return same;
    }
    const char *sa = orvex_get_string_ptr(a, nullptr), *sb = orvex_get_string_ptr(b, nullptr);
    return sa && sb && std::strcmp(sa, sb) == 0;
}

inline bool equal_with(orvex_t a, orvex_t b, Losses loss) {
    if (!loss.dates_as_seconds && !loss.key_values_as_strings && !loss.text_to_nul && !loss.uid_dicts_as_uids)
        return orvex_equal(a, b);
    std::vector<std::pair<orvex_t, orvex_t>> todo{{a, b}};
    while (!todo.empty()) {
        auto [x, y] = todo.back();
        todo.pop_back();
        orvex_type t = orvex_get_node_type(x), u = orvex_get_node_type(y);
        if (t == ORVEX_KEY && u == ORVEX_STRING && loss.key_values_as_strings) {
            if (!same_key_text(x, y))
                return false;
            continue;
        }
        if (t == ORVEX_DICT && u == ORVEX_UID && loss.uid_dicts_as_uids) {
            uint64_t want = 0, got = 1;
            orvex_get_uid_val(y, &got);
            if (!uid_form(x, &want) || want != got)
                return false;
            continue;
        }
        if (t != u)
            return false;
        if (t == ORVEX_DATE && loss.dates_as_seconds) {
            int64_t sx = 1, sy = 2;
            double dx = 0.5, dy = 0.5;
            orvex_get_unix_date_val(x, &sx);
            orvex_get_unix_date_val(y, &sy);
            orvex_get_date_val(x, &dx);
            orvex_get_date_val(y, &dy);
            if (sx != sy || (dx != std::floor(dx) && dy != std::floor(dy)))
                return false;
        } else if ((t == ORVEX_STRING || t == ORVEX_KEY) && loss.text_to_nul) {
            if (!same_text_to_nul(x, y))
                return false;
        } else if (t == ORVEX_ARRAY) {
            uint32_t k = orvex_array_get_size(x);
            if (k != orvex_array_get_size(y))
                return false;
            for (uint32_t i = 0; i < k; ++i)
                todo.emplace_back(orvex_array_get_item(x, i), orvex_array_get_item(y, i));
        } else if (t == ORVEX_DICT) {
            if (orvex_dict_get_size(x) != orvex_dict_get_size(y))
                return false;
            orvex_dict_iter ix = nullptr, iy = nullptr;
            orvex_dict_new_iter(x, &ix);
            orvex_dict_new_iter(y, &iy);
            bool same = true;
            for (;;) {
                char *kx = nullptr, *ky = nullptr;
                orvex_t vx = nullptr, vy = nullptr;
                orvex_dict_next_item(x, ix, &kx, &vx);
                orvex_dict_next_item(y, iy, &ky, &vy);
                if (vx && vy && std::strcmp(kx, ky) == 0)
                    todo.emplace_back(vx, vy);
                else if (vx || vy)
                    same = false;
                std::free(kx);
                std::free(ky);
                if (!vx || !vy)
                    break;
            }
            std::free(ix);
            std::free(iy);
            if (!same)
                return false;
        } else if (!orvex_equal(x, y)) {
            return false;
        }
    }
    return true;
}

} // namespace fuzz

#endif
