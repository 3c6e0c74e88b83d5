// The store's value tree through its C interface: containers, ownership,
// deep trees and large dictionaries.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "orvex/orvex.h"

namespace {

// The keys in order, walked with copied and with lent keys side by side: the
// two walks must see the same entries, removed slots skipped alike.
std::vector<std::string> dict_keys(orvex_t d) {
    std::vector<std::string> keys;
    orvex_dict_iter it = nullptr, lent_it = nullptr;
    orvex_dict_new_iter(d, &it);
    orvex_dict_new_iter(d, &lent_it);
    for (;;) {
        char *k = nullptr;
        orvex_t v = nullptr;
        orvex_dict_next_item(d, it, &k, &v);
        const char *lent = "x";
        uint64_t lent_length = 9;
        orvex_t lent_v = nullptr;
        orvex_dict_next_item_ref(d, lent_it, &lent, &lent_length, &lent_v);
        EXPECT_EQ(lent_v, v);
        if (!v) {
            EXPECT_EQ(k, nullptr);
            EXPECT_EQ(lent, nullptr);
            EXPECT_EQ(lent_length, 0u);
            break;
        }
        EXPECT_EQ(std::string(lent, lent_length), k);
        EXPECT_EQ(lent[lent_length], '\0');
        keys.emplace_back(k);
        std::free(k);
    }
    std::free(it);
    std::free(lent_it);
    return keys;
}

uint64_t uint_of(orvex_t n) {
    uint64_t v = 0;
    orvex_get_uint_val(n, &v);
    return v;
}

} // namespace

TEST(StoreNullHandles, EveryOperationIsHarmless) {
    orvex_free(nullptr);
    EXPECT_EQ(orvex_copy(nullptr), nullptr);
    EXPECT_EQ(orvex_get_node_type(nullptr), ORVEX_NONE);
    EXPECT_EQ(orvex_get_parent(nullptr), nullptr);
    EXPECT_EQ(orvex_array_get_size(nullptr), 0u);
    EXPECT_EQ(orvex_dict_get_size(nullptr), 0u);
    EXPECT_EQ(orvex_array_get_item(nullptr, 0), nullptr);
    EXPECT_EQ(orvex_array_get_item_index(nullptr), ORVEX_NO_INDEX);
    EXPECT_EQ(orvex_dict_get_item(nullptr, "k"), nullptr);
    orvex_array_append_item(nullptr, nullptr);
    orvex_array_insert_item(nullptr, nullptr, 0);
    orvex_array_remove_item(nullptr, 0);
    orvex_dict_set_item(nullptr, "k", nullptr);
    orvex_dict_remove_item(nullptr, "k");
    uint64_t u = 7;
    int64_t s = 7;
    double d = 7;
    uint8_t b = 7;
    char *k = reinterpret_cast<char *>(&b);
    orvex_get_uint_val(nullptr, &u);
    orvex_get_int_val(nullptr, &s);
    orvex_get_real_val(nullptr, &d);
    orvex_get_bool_val(nullptr, &b);
    orvex_get_key_val(nullptr, &k);
    orvex_dict_get_item_key(nullptr, &k);
    EXPECT_EQ(u, 7u);
    EXPECT_EQ(s, 7);
    EXPECT_EQ(d, 7.0);
    EXPECT_EQ(b, 7);
    EXPECT_EQ(k, reinterpret_cast<char *>(&b));
    EXPECT_EQ(orvex_get_string_ptr(nullptr, &u), nullptr);
    EXPECT_EQ(orvex_get_data_ptr(nullptr, &u), nullptr);
    EXPECT_EQ(orvex_int_val_is_negative(nullptr), 0);
    orvex_set_string_val(nullptr, "x");
    orvex_set_uint_val(nullptr, 1);

    // Null items, null keys and null out-pointers on real containers.
    orvex_t a = orvex_new_array(), dict = orvex_new_dict();
    orvex_array_append_item(a, nullptr);
    orvex_dict_set_item(dict, "k", nullptr);
    orvex_t item = orvex_new_bool(1);
    orvex_dict_set_item(dict, nullptr, item);
    EXPECT_EQ(orvex_dict_get_size(dict), 0u);
    EXPECT_EQ(orvex_get_parent(item), nullptr);
    orvex_dict_remove_item(dict, nullptr);
    orvex_array_new_iter(a, nullptr);
    orvex_free(item);
    orvex_free(a);
    orvex_free(dict);
}

TEST(StoreArray, InsertRemoveAndIndexAtTheEdges) {
    orvex_t a = orvex_new_array();
    for (uint64_t i = 0; i < 3; ++i)
        orvex_array_append_item(a, orvex_new_uint(i)); // 0 1 2
    orvex_array_insert_item(a, orvex_new_uint(10), 0); // 10 0 1 2
    orvex_array_insert_item(a, orvex_new_uint(11), 4); // 10 0 1 2 11
    orvex_t late = orvex_new_uint(12);
    orvex_array_insert_item(a, late, 6); // past the end: refused
    EXPECT_EQ(orvex_get_parent(late), nullptr);
    orvex_free(late);
    ASSERT_EQ(orvex_array_get_size(a), 5u);
    const uint64_t want[] = {10, 0, 1, 2, 11};
    for (uint32_t i = 0; i < 5; ++i) {
        orvex_t item = orvex_array_get_item(a, i);
        EXPECT_EQ(uint_of(item), want[i]);
        EXPECT_EQ(orvex_array_get_item_index(item), i);
        EXPECT_EQ(orvex_get_parent(item), a);
    }
    EXPECT_EQ(orvex_array_get_item(a, 5), nullptr);

    orvex_array_remove_item(a, 5); // past the end: no change
    orvex_array_remove_item(a, 0);
    orvex_array_remove_item(a, 3);
    ASSERT_EQ(orvex_array_get_size(a), 3u);
    for (uint32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(uint_of(orvex_array_get_item(a, i)), i);
        EXPECT_EQ(orvex_array_get_item_index(orvex_array_get_item(a, i)), i);
    }

    orvex_array_iter it = nullptr;
    orvex_array_new_iter(a, &it);
    std::vector<uint64_t> seen;
    for (orvex_t item = nullptr;;) {
        orvex_array_next_item(a, it, &item);
        if (!item)
            break;
        seen.push_back(uint_of(item));
    }
    std::free(it);
    EXPECT_EQ(seen, (std::vector<uint64_t>{0, 1, 2}));
    orvex_free(a);
}

TEST(StoreDict, ReplaceKeepsPositionRemoveAndKeys) {
    orvex_t d = orvex_new_dict();
    orvex_dict_set_item(d, "b", orvex_new_uint(1));
    orvex_dict_set_item(d, "a", orvex_new_uint(2));
    orvex_dict_set_item(d, "c", orvex_new_uint(3));
    orvex_dict_set_item(d, "a", orvex_new_string("replaced"));
    EXPECT_EQ(dict_keys(d), (std::vector<std::string>{"b", "a", "c"}));
    EXPECT_EQ(orvex_dict_get_size(d), 3u);
    orvex_t a = orvex_dict_get_item(d, "a");
    EXPECT_STREQ(orvex_get_string_ptr(a, nullptr), "replaced");

    char *key = nullptr;
    orvex_dict_get_item_key(a, &key);
    ASSERT_NE(key, nullptr);
    EXPECT_STREQ(key, "a");
    std::free(key);
    key = nullptr;
    orvex_t root = orvex_new_uint(0);
    orvex_dict_get_item_key(root, &key); // a root has no key
    EXPECT_EQ(key, nullptr);
    orvex_free(root);

    orvex_dict_remove_item(d, "absent");
    orvex_dict_remove_item(d, "b");
    EXPECT_EQ(dict_keys(d), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(orvex_dict_get_item(d, "b"), nullptr);
    orvex_dict_set_item(d, "b", orvex_new_uint(4)); // re-added at the end
    EXPECT_EQ(dict_keys(d), (std::vector<std::string>{"a", "c", "b"}));
    orvex_dict_set_item(d, "", orvex_new_uint(5)); // the empty key is a key
    EXPECT_EQ(uint_of(orvex_dict_get_item(d, "")), 5u);
    orvex_dict_set_item(d, "a key too long to sit inline", orvex_new_uint(6));
    EXPECT_EQ(dict_keys(d), (std::vector<std::string>{"a", "c", "b", "", "a key too long to sit inline"}));

    // Null out-pointers are skipped; an iterator of no dictionary ends at once.
    orvex_dict_iter it = nullptr;
    orvex_dict_new_iter(d, &it);
    orvex_dict_next_item_ref(d, it, nullptr, nullptr, nullptr);
    orvex_t v = nullptr;
    orvex_dict_next_item_ref(d, it, nullptr, nullptr, &v);
    EXPECT_EQ(uint_of(v), 3u); // "c": the first call moved past "a"
    const char *key_ref = "x";
    orvex_dict_next_item_ref(d, nullptr, &key_ref, nullptr, &v);
    EXPECT_EQ(key_ref, nullptr);
    EXPECT_EQ(v, nullptr);
    orvex_dict_next_item_ref(a, it, &key_ref, nullptr, &v); // `a` is a string
    EXPECT_EQ(v, nullptr);
    std::free(it);
    orvex_free(d);
}

namespace {

// What a walk returns when its container changes between two steps: each
// case changes the container after the step that returned item `at` (a
// 0-based step count) and lists what the whole walk returns. 100 entries, so
// that removals compact the dictionary's entries under the walk.
struct WalkCase {
    const char *name;
    void (*change)(orvex_t container, orvex_t returned, int at);
    std::vector<int> expect; // values returned, in order
};

std::vector<int> upto(int n, int from = 0, int step = 1) {
    std::vector<int> v;
    for (int i = from; i < n; i += step)
        v.push_back(i);
    return v;
}

std::vector<int> joined(std::vector<int> a, const std::vector<int> &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::string key_of(int i) { return "key" + std::to_string(i); }

} // namespace

// The walk by place returns the live entries in order, whatever removals left
// behind, and no place, however wrong, reads outside the dictionary.
TEST(StoreWalk, ByPlaceSkipsRemovedEntriesAndStaysInside) {
    for (int size : {0, 3, 40}) {
        orvex_t d = orvex_new_dict();
        std::vector<std::string> expected;
        for (int i = 0; i < size; ++i)
            orvex_dict_set_item(d, key_of(i).c_str(), orvex_new_int(i));
        for (int i = 0; i < size; ++i) {
            if (i % 3 == 1)
                orvex_dict_remove_item(d, key_of(i).c_str()); // few enough to stay as removed slots
            else
                expected.push_back(key_of(i));
        }
        std::vector<std::string> got;
        uint32_t pos = 0;
        const char *key = nullptr;
        uint64_t length = 0;
        orvex_t val = nullptr;
        for (orvex_dict_next_item_at(d, &pos, &key, &length, &val); val;
             orvex_dict_next_item_at(d, &pos, &key, &length, &val)) {
            EXPECT_EQ(orvex_get_parent(val), d);
            got.emplace_back(key, size_t(length));
        }
        EXPECT_EQ(got, expected) << size;
        EXPECT_EQ(key, nullptr);
        EXPECT_EQ(length, 0u);
        for (uint32_t wrong : {pos, pos + 1, 0xFFFFFFFFu}) {
            uint32_t at = wrong;
            val = d;
            orvex_dict_next_item_at(d, &at, nullptr, nullptr, &val);
            EXPECT_EQ(val, nullptr);
            EXPECT_EQ(at, wrong);
        }
        orvex_free(d);
    }
    orvex_t a = orvex_new_array();
    orvex_array_append_item(a, orvex_new_int(1));
    for (orvex_t not_dict : {a, static_cast<orvex_t>(nullptr)}) {
        uint32_t pos = 0;
        orvex_t val = a;
        orvex_dict_next_item_at(not_dict, &pos, nullptr, nullptr, &val);
        EXPECT_EQ(val, nullptr);
        EXPECT_EQ(pos, 0u);
    }
    orvex_free(a);
}

TEST(StoreWalk, DictionaryChangedWhileWalked) {
    const int n = 100;
    const WalkCase cases[] = {
        {"remove the entry returned",
         [](orvex_t d, orvex_t, int at) { orvex_dict_remove_item(d, key_of(at).c_str()); }, upto(n)},
        {"free the value returned", [](orvex_t, orvex_t v, int) { orvex_free(v); }, upto(n)},
        {"remove all but the first, one by one",
         [](orvex_t d, orvex_t, int at) {
             if (at > 0)
                 orvex_dict_remove_item(d, key_of(at).c_str());
         },
         upto(n)},
        {"remove all others at the first step",
         [](orvex_t d, orvex_t, int at) {
             for (int i = 1; at == 0 && i < 100; ++i)
                 orvex_dict_remove_item(d, key_of(i).c_str());
         },
         {0}},
        {"remove the next entry",
         [](orvex_t d, orvex_t, int at) { orvex_dict_remove_item(d, key_of(2 * at + 1).c_str()); },
         upto(n, 0, 2)},
        {"remove an entry already returned",
         [](orvex_t d, orvex_t, int at) { orvex_dict_remove_item(d, key_of(at - 1).c_str()); }, upto(n)},
        {"add a key at each of the first ten steps",
         [](orvex_t d, orvex_t, int at) {
             if (at < 10)
                 orvex_dict_set_item(d, key_of(n + at).c_str(), orvex_new_uint(uint64_t(n + at)));
         },
         upto(n + 10)},
        {"replace the entry returned",
         [](orvex_t d, orvex_t, int at) { orvex_dict_set_item(d, key_of(at).c_str(), orvex_new_uint(999)); },
         upto(n)},
        {"replace the next entry",
         [](orvex_t d, orvex_t, int at) {
             if (at == 0)
                 orvex_dict_set_item(d, key_of(1).c_str(), orvex_new_uint(1000));
         },
         joined({0, 1000}, upto(n, 2))},
        {"remove the entry returned and set it again, once",
         [](orvex_t d, orvex_t, int at) {
             if (at == 0) {
                 orvex_dict_remove_item(d, key_of(0).c_str());
                 orvex_dict_set_item(d, key_of(0).c_str(), orvex_new_uint(500));
             }
         },
         joined(upto(n), {500})},
        {"empty it, then add a key",
         [](orvex_t d, orvex_t, int at) {
             if (at == 0) {
                 for (int i = 0; i < 100; ++i)
                     orvex_dict_remove_item(d, key_of(i).c_str());
                 orvex_dict_set_item(d, "new", orvex_new_uint(7));
             }
         },
         {0, 7}},
    };
    for (const WalkCase &c : cases) {
        for (bool lent : {false, true}) {
            orvex_t d = orvex_new_dict();
            for (int i = 0; i < n; ++i)
                orvex_dict_set_item(d, key_of(i).c_str(), orvex_new_uint(uint64_t(i)));
            orvex_dict_iter it = nullptr;
            orvex_dict_new_iter(d, &it);
            std::vector<int> seen;
            for (int step = 0; step < 4 * n; ++step) {
                orvex_t v = nullptr;
                if (lent) {
                    const char *k = nullptr;
                    orvex_dict_next_item_ref(d, it, &k, nullptr, &v);
                } else {
                    char *k = nullptr;
                    orvex_dict_next_item(d, it, &k, &v);
                    std::free(k);
                }
                if (!v)
                    break;
                seen.push_back(int(uint_of(v)));
                c.change(d, v, step);
            }
            std::free(it);
            EXPECT_EQ(seen, c.expect) << c.name << (lent ? " (lent keys)" : "");
            orvex_free(d);
        }
    }
}

TEST(StoreWalk, ArrayChangedWhileWalked) {
    const int n = 10;
    const WalkCase cases[] = {
        {"remove the item returned",
         [](orvex_t a, orvex_t v, int) { orvex_array_remove_item(a, orvex_array_get_item_index(v)); },
         upto(n)},
        {"free the item returned", [](orvex_t, orvex_t v, int) { orvex_free(v); }, upto(n)},
        {"remove the next item",
         [](orvex_t a, orvex_t v, int) { orvex_array_remove_item(a, orvex_array_get_item_index(v) + 1); },
         upto(n, 0, 2)},
        {"remove the item before",
         [](orvex_t a, orvex_t v, int) {
             if (uint32_t at = orvex_array_get_item_index(v))
                 orvex_array_remove_item(a, at - 1);
         },
         upto(n)},
        {"insert at the front",
         [](orvex_t a, orvex_t, int at) {
             orvex_array_insert_item(a, orvex_new_uint(uint64_t(100 + at)), 0);
         },
         upto(n)},
        {"insert just after the item returned",
         [](orvex_t a, orvex_t v, int at) {
             if (at < 3)
                 orvex_array_insert_item(a, orvex_new_uint(uint64_t(100 + at)),
                                         orvex_array_get_item_index(v) + 1);
         },
         joined({0, 100, 101, 102}, upto(n, 1))},
        {"append at the first three steps",
         [](orvex_t a, orvex_t, int at) {
             if (at < 3)
                 orvex_array_append_item(a, orvex_new_uint(uint64_t(100 + at)));
         },
         joined(upto(n), {100, 101, 102})},
        // Several changes between two steps: never an item twice, though the
        // walk may pass over some.
        {"insert two at the front",
         [](orvex_t a, orvex_t, int) {
             orvex_array_insert_item(a, orvex_new_uint(200), 0);
             orvex_array_insert_item(a, orvex_new_uint(201), 0);
         },
         upto(n)},
        {"remove the item returned, then insert it again at the front",
         [](orvex_t a, orvex_t v, int) {
             orvex_t back = orvex_copy(v);
             orvex_free(v);
             orvex_array_insert_item(a, back, 0);
         },
         upto(n, 0, 2)},
    };
    for (const WalkCase &c : cases) {
        orvex_t a = orvex_new_array();
        for (int i = 0; i < n; ++i)
            orvex_array_append_item(a, orvex_new_uint(uint64_t(i)));
        orvex_array_iter it = nullptr;
        orvex_array_new_iter(a, &it);
        std::vector<int> seen;
        for (int step = 0; step < 4 * n; ++step) {
            orvex_t v = nullptr;
            orvex_array_next_item(a, it, &v);
            if (!v)
                break;
            seen.push_back(int(uint_of(v)));
            c.change(a, v, step);
        }
        std::free(it);
        EXPECT_EQ(seen, c.expect) << c.name;
        orvex_free(a);
    }
}

TEST(StoreOwnership, FreeingAChildDetachesIt) {
    orvex_t a = orvex_new_array();
    orvex_t d = orvex_new_dict();
    for (int i = 0; i < 3; ++i)
        orvex_array_append_item(a, orvex_new_int(i));
    orvex_dict_set_item(d, "x", orvex_new_int(1));
    orvex_dict_set_item(d, "y", orvex_new_int(2));
    orvex_free(orvex_array_get_item(a, 1));
    orvex_free(orvex_dict_get_item(d, "x"));
    ASSERT_EQ(orvex_array_get_size(a), 2u);
    EXPECT_EQ(orvex_array_get_item_index(orvex_array_get_item(a, 1)), 1u);
    EXPECT_EQ(dict_keys(d), (std::vector<std::string>{"y"}));
    orvex_free(a);
    orvex_free(d);
}

TEST(StoreOwnership, AttachingAChildOrAnAncestorIsRefused) {
    orvex_t a = orvex_new_array(), b = orvex_new_array(), d = orvex_new_dict();
    orvex_t item = orvex_new_uint(1);
    orvex_array_append_item(a, item);
    orvex_array_append_item(b, item); // already a's
    orvex_dict_set_item(d, "k", item);
    EXPECT_EQ(orvex_array_get_size(b), 0u);
    EXPECT_EQ(orvex_dict_get_size(d), 0u);
    EXPECT_EQ(orvex_get_parent(item), a);

    orvex_array_append_item(a, a); // into itself
    orvex_array_append_item(a, b);
    orvex_array_append_item(b, a); // a holds b: a cycle
    orvex_t inner = orvex_new_dict();
    orvex_dict_set_item(d, "inner", inner);
    orvex_dict_set_item(inner, "outer", d);
    EXPECT_EQ(orvex_array_get_size(a), 2u);
    EXPECT_EQ(orvex_array_get_size(b), 0u);
    EXPECT_EQ(orvex_dict_get_size(inner), 0u);
    orvex_free(a);
    orvex_free(d);
}

TEST(StoreSetters, RetypingAContainerFreesItsChildren) {
    orvex_t a = orvex_new_array();
    orvex_t inner = orvex_new_dict();
    orvex_dict_set_item(inner, "k", orvex_new_string("a string longer than fifteen bytes"));
    orvex_array_append_item(a, inner);
    orvex_set_uint_val(a, 9);
    EXPECT_EQ(orvex_get_node_type(a), ORVEX_INT);
    EXPECT_EQ(uint_of(a), 9u);
    EXPECT_EQ(orvex_array_get_size(a), 0u);
    orvex_free(a); // the sanitizers and valgrind prove nothing leaked
}

TEST(StoreCopy, CopiesAreIndependentRoots) {
    orvex_t d = orvex_new_dict();
    orvex_t a = orvex_new_array();
    orvex_array_append_item(a, orvex_new_string("shared text that is long enough"));
    orvex_array_append_item(a, orvex_new_data("\0\1\2", 3));
    orvex_dict_set_item(d, "list", a);
    orvex_dict_set_item(d, "n", orvex_new_int(-5));

    orvex_t c = orvex_copy(a); // a child's copy is a root
    EXPECT_EQ(orvex_get_parent(c), nullptr);
    EXPECT_TRUE(orvex_equal(c, a));
    orvex_set_string_val(orvex_array_get_item(c, 0), "changed");
    EXPECT_FALSE(orvex_equal(c, a));
    EXPECT_STREQ(orvex_get_string_ptr(orvex_array_get_item(a, 0), nullptr),
                 "shared text that is long enough");

    orvex_t whole = orvex_copy(d);
    EXPECT_TRUE(orvex_equal(whole, d));
    orvex_free(d);
    EXPECT_EQ(orvex_array_get_size(orvex_dict_get_item(whole, "list")), 2u);
    orvex_free(whole);
    orvex_free(c);
}

TEST(StoreDeepTrees, MillionDeepCopyFreeAndCompareWithoutRecursion) {
    orvex_t root = orvex_new_array();
    orvex_t cur = root;
    for (int i = 0; i < 1000000; ++i) {
        orvex_t next = (i % 2) ? orvex_new_array() : orvex_new_dict();
        if (orvex_get_node_type(cur) == ORVEX_ARRAY)
            orvex_array_append_item(cur, next);
        else
            orvex_dict_set_item(cur, "k", next);
        cur = next;
    }
    orvex_t copy = orvex_copy(root);
    ASSERT_NE(copy, nullptr);
    EXPECT_TRUE(orvex_equal(root, copy));
    orvex_free(copy);
    orvex_free(root);
}

TEST(StoreLargeDict, HundredThousandKeysBuildLookUpAndRemove) {
    const int n = 100000;
    orvex_t d = orvex_new_dict();
    for (int i = 0; i < n; ++i)
        orvex_dict_set_item(d, ("key" + std::to_string(i)).c_str(), orvex_new_uint(uint64_t(i)));
    ASSERT_EQ(orvex_dict_get_size(d), uint32_t(n));
    for (int i = 0; i < n; i += 7)
        ASSERT_EQ(uint_of(orvex_dict_get_item(d, ("key" + std::to_string(i)).c_str())), uint64_t(i));
    EXPECT_EQ(orvex_dict_get_item(d, "key100000"), nullptr);
    // Remove every even key; order and lookups of the rest survive compaction.
    for (int i = 0; i < n; i += 2)
        orvex_dict_remove_item(d, ("key" + std::to_string(i)).c_str());
    ASSERT_EQ(orvex_dict_get_size(d), uint32_t(n / 2));
    auto keys = dict_keys(d);
    ASSERT_EQ(keys.size(), size_t(n / 2));
    EXPECT_EQ(keys.front(), "key1");
    EXPECT_EQ(keys.back(), "key99999");
    for (int i = 1; i < n; i += 2) {
        orvex_t v = orvex_dict_get_item(d, ("key" + std::to_string(i)).c_str());
        ASSERT_NE(v, nullptr);
        char *k = nullptr;
        orvex_dict_get_item_key(v, &k);
        ASSERT_STREQ(k, ("key" + std::to_string(i)).c_str());
        std::free(k);
    }
    orvex_free(d);
}

TEST(StoreLargeDict, RemoveThenSetKeepsOrderAndValues) {
    // Each removal leaves a slot behind until it is reclaimed (bench/store_bench
    // BM_DictChurn measures that it stays cheap). 64,000 keys sit just below a
    // power of two, where removed slots fill the index before reclaiming.
    const int n = 64000, pairs = n + n / 2;
    std::vector<std::string> keys;
    for (int i = 0; i < n; ++i)
        keys.push_back("key" + std::to_string(i));
    orvex_t d = orvex_new_dict();
    for (const auto &k : keys)
        orvex_dict_set_item(d, k.c_str(), orvex_new_uint(0));
    for (int i = 0; i < pairs; ++i) {
        const char *k = keys[size_t(i % n)].c_str();
        orvex_dict_remove_item(d, k);
        orvex_dict_set_item(d, k, orvex_new_uint(uint64_t(i)));
    }
    // A set after a removal appends: one and a half rounds rotate the order by half.
    auto order = dict_keys(d);
    ASSERT_EQ(order.size(), size_t(n));
    EXPECT_EQ(order.front(), keys[n / 2]);
    EXPECT_EQ(order[size_t(n / 2)], keys[0]);
    EXPECT_EQ(order.back(), keys[n / 2 - 1]);
    // A copy holds no removed entries and takes new keys like the original.
    orvex_t c = orvex_copy(d);
    orvex_dict_set_item(c, "new", orvex_new_uint(1));
    orvex_dict_set_item(d, "new", orvex_new_uint(1));
    EXPECT_TRUE(orvex_equal(c, d));
    for (orvex_t x : {c, d}) {
        for (int i = 0; i < n; i += 99) {
            orvex_t v = orvex_dict_get_item(x, keys[size_t(i)].c_str());
            EXPECT_EQ(uint_of(v), uint64_t(i < n / 2 ? n + i : i)) << i;
        }
        orvex_free(x);
    }
}

TEST(StoreLargeDict, CopiesGrowAndCompactLikeTheirSource) {
    // A copy's entries are reserved to its size at once; the source grew one
    // entry at a time. Both must then take the same appends and removals,
    // across the sizes where the index appears and compaction begins.
    for (int size : {0, 1, 3, 4, 5, 8, 9, 16, 17, 33, 1000}) {
        SCOPED_TRACE(size);
        orvex_t d = orvex_new_dict();
        for (int i = 0; i < size; ++i)
            orvex_dict_set_item(d, ("k" + std::to_string(i)).c_str(), orvex_new_uint(uint64_t(i)));
        orvex_t c = orvex_copy(d);
        for (orvex_t x : {d, c}) {
            for (int i = size; i < 2 * size + 20; ++i)
                orvex_dict_set_item(x, ("k" + std::to_string(i)).c_str(), orvex_new_uint(uint64_t(i)));
            for (int i = 0; i < 2 * size + 20; i += 3)
                orvex_dict_remove_item(x, ("k" + std::to_string(i)).c_str());
            orvex_dict_set_item(x, "k0", orvex_new_uint(0));
        }
        EXPECT_TRUE(orvex_equal(c, d));
        EXPECT_EQ(dict_keys(c), dict_keys(d));
        for (int i = 0; i < 2 * size + 20; ++i) {
            orvex_t v = orvex_dict_get_item(c, ("k" + std::to_string(i)).c_str());
            ASSERT_EQ(v != nullptr, i == 0 || i % 3 != 0) << i;
            EXPECT_EQ(uint_of(v), uint64_t(i % 3 ? i : 0)) << i;
        }
        orvex_free(c);
        orvex_free(d);
    }
}

namespace {

// A dictionary checked against a std::map after every step: the value of each
// key, and no value for removed keys and a key never put.
class ModelDict {
  public:
    explicit ModelDict(orvex_t d) : d_(d) {}
    // The same entries, now held by `d`.
    void move_to(orvex_t d) { d_ = d; }
    void put(const std::string &k, uint64_t v) {
        orvex_dict_set_item(d_, k.c_str(), orvex_new_uint(v));
        model_[k] = v;
        gone_.erase(k);
    }
    void remove(const std::string &k) {
        orvex_dict_remove_item(d_, k.c_str());
        model_.erase(k);
        gone_.insert(k);
    }
    void check(orvex_t d, const char *step) const {
        SCOPED_TRACE(step);
        ASSERT_EQ(orvex_dict_get_size(d), model_.size());
        for (const auto &kv : model_)
            ASSERT_EQ(uint_of(orvex_dict_get_item(d, kv.first.c_str())), kv.second) << kv.first;
        for (const auto &k : gone_)
            ASSERT_EQ(orvex_dict_get_item(d, k.c_str()), nullptr) << k;
        ASSERT_EQ(orvex_dict_get_item(d, "never"), nullptr);
    }
    void check(const char *step) const { check(d_, step); }

  private:
    orvex_t d_;
    std::map<std::string, uint64_t> model_;
    std::set<std::string> gone_;
};

enum class Made { Puts, Binary, Copy };

} // namespace

TEST(StoreLargeDict, IndexAcrossItsSlotWidths) {
    // The sizes where the index appears and where its slots must widen (past
    // 255 and 65,535 positions), the dictionary made one put at a time, read
    // from binary (reserved at once to its size) or copied (reserved to its
    // live entries): appends just past the size, and appends after removals
    // whose positions pass the limit while the live entries stay below it.
    const struct {
        uint32_t size;
        Made made;
    } cases[] = {
        {8, Made::Puts},       {9, Made::Binary},   {9, Made::Copy},       {254, Made::Puts},
        {255, Made::Binary},   {255, Made::Copy},   {256, Made::Binary},   {65534, Made::Puts},
        {65535, Made::Binary}, {65535, Made::Copy}, {65536, Made::Binary},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.size << " made " << int(c.made));
        orvex_t built = orvex_new_dict();
        ModelDict m(built);
        for (uint32_t i = 0; i < c.size; ++i)
            m.put("k" + std::to_string(i), i);
        orvex_t d = built;
        if (c.made == Made::Copy) {
            d = orvex_copy(built);
            orvex_free(built);
        } else if (c.made == Made::Binary) {
            char *bin = nullptr;
            uint32_t length = 0;
            ASSERT_EQ(orvex_to_bin(built, &bin, &length), ORVEX_ERR_SUCCESS);
            orvex_free(built);
            ASSERT_EQ(orvex_from_bin(bin, length, &d), ORVEX_ERR_SUCCESS);
            std::free(bin);
        }
        m.move_to(d);
        m.check("made");
        for (uint32_t i = 0; i < c.size; i += 4)
            m.put("k" + std::to_string(i), i + 1000000);
        for (uint32_t i = c.size; i < c.size + 2; ++i)
            m.put("k" + std::to_string(i), i);
        m.check("replaced and appended");
        for (uint32_t i = 0; i < c.size + 2; i += 3)
            m.remove("k" + std::to_string(i));
        m.check("removed");
        for (uint32_t i = 0; i < c.size / 3 + 3; ++i)
            m.put("a" + std::to_string(i), i);
        m.check("appended after removals");
        orvex_t copy = orvex_copy(d);
        m.check(copy, "copy");
        orvex_dict_set_item(copy, "after copy", orvex_new_uint(1));
        EXPECT_EQ(uint_of(orvex_dict_get_item(copy, "after copy")), 1u);
        orvex_free(copy);
        orvex_free(d);
    }
}

TEST(StoreSwap, ContentsChangePlacesNodesStay) {
    orvex_t top = orvex_new_dict(), held = orvex_new_array(), loose = orvex_new_array();
    orvex_dict_set_item(top, "held", held);
    orvex_array_append_item(held, orvex_new_int(1));
    orvex_t two = orvex_new_int(2), three = orvex_new_int(3);
    orvex_array_append_item(loose, two);
    orvex_array_append_item(loose, three);

    ASSERT_EQ(orvex_swap_contents(held, loose), ORVEX_ERR_SUCCESS);
    EXPECT_EQ(orvex_dict_get_item(top, "held"), held);
    EXPECT_EQ(orvex_array_get_size(held), 2u);
    EXPECT_EQ(orvex_get_parent(three), held);
    EXPECT_EQ(orvex_array_get_item_index(three), 1u);
    EXPECT_EQ(orvex_get_parent(orvex_array_get_item(loose, 0)), loose);

    // Refused, changing nothing: mixed types, scalars, null, and a node into
    // its own subtree.
    orvex_t dict = orvex_new_dict();
    orvex_dict_set_item(dict, "x", orvex_new_bool(1));
    orvex_t inner = orvex_new_array();
    orvex_array_append_item(held, inner);
    const struct {
        orvex_t a, b;
    } refused[] = {{held, dict}, {two, three}, {nullptr, held}, {held, inner}, {inner, held}};
    for (const auto &r : refused)
        EXPECT_EQ(orvex_swap_contents(r.a, r.b), ORVEX_ERR_INVALID_ARG);
    EXPECT_EQ(orvex_array_get_size(held), 3u);
    EXPECT_EQ(orvex_dict_get_size(dict), 1u);

    // Dictionaries keep their order and lookups after a swap.
    orvex_t other = orvex_new_dict();
    ASSERT_EQ(orvex_swap_contents(dict, other), ORVEX_ERR_SUCCESS);
    EXPECT_EQ(orvex_dict_get_size(dict), 0u);
    EXPECT_EQ(orvex_get_parent(orvex_dict_get_item(other, "x")), other);
    orvex_free(top);
    orvex_free(loose);
    orvex_free(dict);
    orvex_free(other);
}
