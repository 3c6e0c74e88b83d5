// Key paths in the store (lookups, misses, malformed paths, parts, positions,
// paths of nodes) and taking nodes out of their containers with orvex_detach.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "expect_tree.hpp"
#include "orvex/orvex.h"

using orvex_test::array_of;
using orvex_test::push_children;
using orvex_test::Tree;

namespace {

// Past the 256 bytes that an escaped key is unescaped into for the index.
const std::string LONG_KEY = std::string(300, 'k') + ".";
const std::string LONG_KEY_PATH = std::string(300, 'k') + "\\.";

orvex_t int_node(int64_t v) { return orvex_new_int(v); }

// Keys with dots, backslashes and none at all, positions, a null value, a
// scalar, and a dictionary large enough to have a hash index.
struct Sample {
    Tree root{orvex_new_dict()};
    orvex_t a = orvex_new_dict(), ab = int_node(1), a_empty = orvex_new_string("empty key"),
            a_dotted = int_node(2);
    orvex_t dotted = orvex_new_dict(), dotted_c = int_node(3);
    orvex_t slash = int_node(4);
    orvex_t list = nullptr, ten = int_node(10), item1 = orvex_new_dict(), x = orvex_new_null(),
            inner = array_of({orvex_new_string("deep")});
    orvex_t empty = orvex_new_dict(), empty_empty = int_node(5);
    orvex_t seven = int_node(7), s = orvex_new_string("scalar"), long_value = int_node(8);
    orvex_t indexed = orvex_new_dict();

    Sample() {
        orvex_t r = root.get();
        orvex_dict_set_item(a, "b", ab);
        orvex_dict_set_item(a, "", a_empty);
        orvex_dict_set_item(a, "a.b", a_dotted);
        orvex_dict_set_item(r, "a", a);
        orvex_dict_set_item(dotted, "c", dotted_c);
        orvex_dict_set_item(r, "a.b", dotted);
        orvex_dict_set_item(r, "back\\slash", slash);
        orvex_dict_set_item(item1, "x", x);
        list = array_of({ten, item1, inner});
        orvex_dict_set_item(r, "list", list);
        orvex_dict_set_item(empty, "", empty_empty);
        orvex_dict_set_item(r, "", empty);
        orvex_dict_set_item(r, "007", seven);
        orvex_dict_set_item(r, "s", s);
        orvex_dict_set_item(r, LONG_KEY.c_str(), long_value);
        for (int i = 0; i < 20; ++i)
            orvex_dict_set_item(indexed, ("k." + std::to_string(i)).c_str(), int_node(i));
        orvex_dict_set_item(r, "indexed", indexed);
    }
};

} // namespace

TEST(KeyPath, FindsOrNamesTheFirstMissingPart) {
    Sample t;
    struct Row {
        std::string path;
        orvex_err_t code;
        orvex_t found;                   // on success
        uint32_t part = 0;               // on a miss or a malformed path
        uint64_t offset = 0, length = 0; // likewise
        orvex_t container = nullptr;     // likewise
    };
    const orvex_t root = t.root.get();
    const std::vector<Row> rows = {
        {"a.b", ORVEX_ERR_SUCCESS, t.ab},
        {"a\\.b.c", ORVEX_ERR_SUCCESS, t.dotted_c},
        {"a.a\\.b", ORVEX_ERR_SUCCESS, t.a_dotted},
        {"back\\\\slash", ORVEX_ERR_SUCCESS, t.slash},
        {"a.", ORVEX_ERR_SUCCESS, t.a_empty},
        {"", ORVEX_ERR_SUCCESS, t.empty},
        {".", ORVEX_ERR_SUCCESS, t.empty_empty},
        {"list.0", ORVEX_ERR_SUCCESS, t.ten},
        {"list.00", ORVEX_ERR_SUCCESS, t.ten},
        {"list.0000000001", ORVEX_ERR_SUCCESS, t.item1},
        {"list.1.x", ORVEX_ERR_SUCCESS, t.x}, // a null value is a node
        {"007", ORVEX_ERR_SUCCESS, t.seven},  // a key, in a dictionary
        {LONG_KEY_PATH, ORVEX_ERR_SUCCESS, t.long_value},
        {"indexed.k\\.17", ORVEX_ERR_SUCCESS, orvex_dict_get_item(t.indexed, "k.17")},
        // Misses: the part, where it is written, where it was looked for.
        {"nope", ORVEX_ERR_NOT_FOUND, nullptr, 0, 0, 4, root},
        {"a.nope.z", ORVEX_ERR_NOT_FOUND, nullptr, 1, 2, 4, t.a},
        {"a\\.b.\\.x", ORVEX_ERR_NOT_FOUND, nullptr, 1, 5, 3, t.dotted},
        {"a\\\\.b", ORVEX_ERR_NOT_FOUND, nullptr, 0, 0, 3, root}, // the key "a\\", then "b"
        {"list.3", ORVEX_ERR_NOT_FOUND, nullptr, 1, 5, 1, t.list},
        {"list.00000000001", ORVEX_ERR_NOT_FOUND, nullptr, 1, 5, 11, t.list},
        {"list.-1", ORVEX_ERR_NOT_FOUND, nullptr, 1, 5, 2, t.list},
        {"list.+1", ORVEX_ERR_NOT_FOUND, nullptr, 1, 5, 2, t.list},
        {"list. 1", ORVEX_ERR_NOT_FOUND, nullptr, 1, 5, 2, t.list},
        {"list.", ORVEX_ERR_NOT_FOUND, nullptr, 1, 5, 0, t.list},
        {"list.4294967296", ORVEX_ERR_NOT_FOUND, nullptr, 1, 5, 10, t.list},
        {"list.1.x.y", ORVEX_ERR_NOT_FOUND, nullptr, 3, 9, 1, t.x},
        {"s.0", ORVEX_ERR_NOT_FOUND, nullptr, 1, 2, 1, t.s},
        {"7", ORVEX_ERR_NOT_FOUND, nullptr, 0, 0, 1, root},
        {LONG_KEY_PATH + "x", ORVEX_ERR_NOT_FOUND, nullptr, 0, 0, 303, root},
        {"indexed.k\\.20", ORVEX_ERR_NOT_FOUND, nullptr, 1, 8, 5, t.indexed},
        // Malformed: refused whole, before any lookup, at the stray backslash.
        {"a\\b", ORVEX_ERR_INVALID_ARG, nullptr, 0, 1, 1, nullptr},
        {"a.b\\", ORVEX_ERR_INVALID_ARG, nullptr, 1, 3, 1, nullptr},
        {"nope.x\\y.z\\", ORVEX_ERR_INVALID_ARG, nullptr, 1, 6, 1, nullptr},
        {"\\\\\\", ORVEX_ERR_INVALID_ARG, nullptr, 0, 2, 1, nullptr},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE("path '" + row.path + "'");
        orvex_t node = root;
        orvex_path_miss miss{99, 99, 99, root};
        EXPECT_EQ(orvex_find_path(root, row.path.c_str(), &node, &miss), row.code);
        EXPECT_EQ(node, row.found);
        EXPECT_EQ(orvex_get_path(root, row.path.c_str()), row.found);
        if (row.code == ORVEX_ERR_SUCCESS)
            continue;
        EXPECT_EQ(miss.part, row.part);
        EXPECT_EQ(miss.offset, row.offset);
        EXPECT_EQ(miss.length, row.length);
        EXPECT_EQ(miss.container, row.container);
    }
    // Below a node other than the root, and bad arguments.
    EXPECT_EQ(orvex_get_path(t.list, "1.x"), t.x);
    orvex_t node = root;
    orvex_path_miss untouched{7, 7, 7, root};
    EXPECT_EQ(orvex_find_path(nullptr, "a", &node, &untouched), ORVEX_ERR_INVALID_ARG);
    EXPECT_EQ(node, nullptr);
    EXPECT_EQ(orvex_find_path(root, nullptr, &node, &untouched), ORVEX_ERR_INVALID_ARG);
    EXPECT_EQ(orvex_find_path(root, "a", nullptr, &untouched), ORVEX_ERR_INVALID_ARG);
    EXPECT_EQ(untouched.part, 7u);
    EXPECT_EQ(orvex_find_path(root, "nope", &node, nullptr), ORVEX_ERR_NOT_FOUND);
    EXPECT_EQ(orvex_get_path(nullptr, "a"), nullptr);
    EXPECT_EQ(orvex_get_path(root, nullptr), nullptr);
}

TEST(KeyPath, PartsUnescapedOneAtATime) {
    struct Row {
        std::string path;
        std::vector<std::string> parts;
        std::vector<uint64_t> next;
    };
    const std::vector<Row> rows = {
        {"", {""}, {1}},
        {"a.", {"a", ""}, {2, 3}},
        {"..", {"", "", ""}, {1, 2, 3}},
        {"a\\.b.c\\\\", {"a.b", "c\\"}, {5, 9}},
        {"list.01", {"list", "01"}, {5, 8}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE("path '" + row.path + "'");
        std::vector<std::string> parts;
        std::vector<uint64_t> nexts;
        for (uint64_t at = 0; at <= row.path.size();) {
            char *part = nullptr;
            uint64_t length = 0, next = 0;
            ASSERT_EQ(orvex_path_part(row.path.c_str(), at, &part, &length, &next), ORVEX_ERR_SUCCESS);
            EXPECT_EQ(part[length], '\0');
            parts.emplace_back(part, length);
            nexts.push_back(next);
            std::free(part);
            at = next;
        }
        EXPECT_EQ(parts, row.parts);
        EXPECT_EQ(nexts, row.next);
    }
    // Only the part asked for is checked; failures leave the out-values be.
    char *part = nullptr;
    ASSERT_EQ(orvex_path_part("a.b\\x", 0, &part, nullptr, nullptr), ORVEX_ERR_SUCCESS);
    EXPECT_STREQ(part, "a");
    std::free(part);
    for (const auto &bad : std::vector<std::pair<const char *, uint64_t>>{
             {"a.b\\x", 2}, {"a\\", 0}, {"abc", 4}, {"", 1}, {nullptr, 0}}) {
        part = reinterpret_cast<char *>(1);
        uint64_t length = 7, next = 7;
        EXPECT_EQ(orvex_path_part(bad.first, bad.second, &part, &length, &next), ORVEX_ERR_INVALID_ARG)
            << (bad.first ? bad.first : "(null)") << " at " << bad.second;
        EXPECT_EQ(part, nullptr);
        EXPECT_EQ(length, 7u);
        EXPECT_EQ(next, 7u);
    }
    EXPECT_EQ(orvex_path_part("a", 0, nullptr, nullptr, nullptr), ORVEX_ERR_INVALID_ARG);
}

TEST(KeyPath, PositionsAsTheLookupsTakeThem) {
    const std::vector<std::pair<std::string, int64_t>> rows = {
        {"0", 0},           {"007", 7},          {"0000000001", 1}, {"4294967295", 4294967295},
        {"4294967296", -1}, {"00000000001", -1}, {"", -1},          {"-1", -1},
        {"+1", -1},         {" 1", -1},          {"1a", -1},        {"1.0", -1},
    };
    for (const auto &row : rows) {
        uint32_t position = 12345;
        const int ok = orvex_path_position(row.first.c_str(), row.first.size(), &position);
        EXPECT_EQ(ok != 0, row.second >= 0) << row.first;
        EXPECT_EQ(position, row.second >= 0 ? uint32_t(row.second) : 12345u) << row.first;
    }
    uint32_t position = 0;
    EXPECT_NE(orvex_path_position("12", 1, &position), 0);
    EXPECT_EQ(position, 1u);
    EXPECT_NE(orvex_path_position("12", 2, nullptr), 0);
    EXPECT_EQ(orvex_path_position(nullptr, 0, &position), 0);
}

TEST(KeyPath, PathOfEveryNodeLeadsBackToIt) {
    Sample t;
    const orvex_t root = t.root.get();
    std::vector<orvex_t> todo;
    push_children(root, todo);
    size_t seen = 0;
    while (!todo.empty()) {
        const orvex_t node = todo.back();
        todo.pop_back();
        push_children(node, todo);
        char *path = orvex_path_of(root, node);
        ASSERT_NE(path, nullptr);
        EXPECT_EQ(orvex_get_path(root, path), node) << path;
        std::free(path);
        ++seen;
    }
    EXPECT_EQ(seen, 39u);
    // Escapes and plain positions, below the root and below a subtree.
    const std::vector<std::pair<orvex_t, std::string>> spelt = {
        {t.dotted_c, "a\\.b.c"}, {t.slash, "back\\\\slash"}, {t.a_empty, "a."},
        {t.empty_empty, "."},    {t.x, "list.1.x"},          {t.long_value, LONG_KEY_PATH},
    };
    for (const auto &row : spelt) {
        char *path = orvex_path_of(root, row.first);
        EXPECT_STREQ(path, row.second.c_str());
        std::free(path);
    }
    char *below = orvex_path_of(t.list, t.x);
    EXPECT_STREQ(below, "1.x");
    std::free(below);
    // None for the root itself, a node outside, or null.
    Tree other(orvex_new_array());
    EXPECT_EQ(orvex_path_of(root, root), nullptr);
    EXPECT_EQ(orvex_path_of(t.list, root), nullptr);
    EXPECT_EQ(orvex_path_of(t.list, t.ab), nullptr);
    EXPECT_EQ(orvex_path_of(root, other.get()), nullptr);
    EXPECT_EQ(orvex_path_of(nullptr, t.ab), nullptr);
    EXPECT_EQ(orvex_path_of(root, nullptr), nullptr);
}

TEST(KeyPath, DeepPathsWithoutRecursion) {
    // A path as deep as the tree, spelt and followed in linear time.
    Tree root(orvex_new_array());
    orvex_t leaf = root.get();
    for (int i = 0; i < 100000; ++i) {
        orvex_t next = orvex_new_array();
        orvex_array_append_item(leaf, next);
        leaf = next;
    }
    char *path = orvex_path_of(root.get(), leaf);
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(std::string(path).size(), 2 * 100000u - 1);
    EXPECT_EQ(orvex_get_path(root.get(), path), leaf);
    std::free(path);
}

namespace {

// A container of `size` items (an array, or a dictionary under "k0", "k1",
// ...), item i holding the integer i.
orvex_t numbered(orvex_type type, int size) {
    orvex_t c = type == ORVEX_ARRAY ? orvex_new_array() : orvex_new_dict();
    for (int i = 0; i < size; ++i) {
        if (type == ORVEX_ARRAY)
            orvex_array_append_item(c, int_node(i));
        else
            orvex_dict_set_item(c, ("k" + std::to_string(i)).c_str(), int_node(i));
    }
    return c;
}

int64_t value_of(orvex_t n) {
    int64_t v = -1;
    orvex_get_int_val(n, &v);
    return v;
}

orvex_t nth(orvex_t c, int i) {
    return orvex_get_node_type(c) == ORVEX_ARRAY ? orvex_array_get_item(c, uint32_t(i))
                                                 : orvex_dict_get_item(c, ("k" + std::to_string(i)).c_str());
}

// One walk step of either kind; null at the end.
struct Walk {
    orvex_t c;
    void *iter = nullptr;
    explicit Walk(orvex_t container) : c(container) {
        if (orvex_get_node_type(c) == ORVEX_ARRAY)
            orvex_array_new_iter(c, &iter);
        else
            orvex_dict_new_iter(c, &iter);
    }
    ~Walk() { std::free(iter); }
    orvex_t next() {
        orvex_t item = nullptr;
        if (orvex_get_node_type(c) == ORVEX_ARRAY)
            orvex_array_next_item(c, iter, &item);
        else
            orvex_dict_next_item_ref(c, iter, nullptr, nullptr, &item);
        return item;
    }
};

} // namespace

TEST(Detach, TakesTheNodeOutAsAWalkExpects) {
    struct Row {
        int size, after; // items, and how many the walk has returned when...
        int take;        // ...this one is detached (-1: each as it is returned)
        std::vector<int64_t> walked;
    };
    const std::vector<Row> rows = {
        {4, 2, 1, {0, 1, 2, 3}}, // the item just returned: the walk goes on with the next
        {4, 1, 2, {0, 1, 3}},    // one not reached yet is not returned
        {4, 3, 0, {0, 1, 2, 3}}, // one passed already changes nothing
        {4, 4, 3, {0, 1, 2, 3}}, // at the end
        {1, 0, 0, {}},
        {40, 0, -1, {}}, // every item, each as returned: all seen once (dictionaries compact)
    };
    for (orvex_type type : {ORVEX_ARRAY, ORVEX_DICT}) {
        for (const Row &row : rows) {
            SCOPED_TRACE((type == ORVEX_ARRAY ? "array, take " : "dictionary, take ") +
                         std::to_string(row.take) + " after " + std::to_string(row.after));
            Tree c(numbered(type, row.size));
            Walk walk(c.get());
            std::vector<int64_t> walked;
            std::vector<orvex_t> taken;
            auto take = [&](orvex_t node) {
                ASSERT_NE(node, nullptr);
                const uint32_t before = orvex_array_get_size(c.get()) + orvex_dict_get_size(c.get());
                EXPECT_EQ(orvex_detach(node), node);
                taken.push_back(node);
                EXPECT_EQ(orvex_get_parent(node), nullptr);
                EXPECT_EQ(orvex_array_get_item_index(node), ORVEX_NO_INDEX);
                EXPECT_EQ(orvex_array_get_size(c.get()) + orvex_dict_get_size(c.get()), before - 1);
            };
            if (row.take < 0) {
                while (orvex_t item = walk.next()) {
                    walked.push_back(value_of(item));
                    take(item);
                }
                std::vector<int64_t> all;
                for (int i = 0; i < row.size; ++i)
                    all.push_back(i);
                EXPECT_EQ(walked, all);
                EXPECT_EQ(orvex_array_get_size(c.get()) + orvex_dict_get_size(c.get()), 0u);
                for (orvex_t n : taken)
                    orvex_free(n);
                continue;
            }
            for (int i = 0; i < row.after; ++i)
                walked.push_back(value_of(walk.next()));
            take(nth(c.get(), row.take));
            while (orvex_t item = walk.next())
                walked.push_back(value_of(item));
            EXPECT_EQ(walked, row.walked);
            // The rest kept their order; the entry went with its value.
            std::vector<int64_t> left;
            Walk again(c.get());
            while (orvex_t item = again.next())
                left.push_back(value_of(item));
            std::vector<int64_t> expected;
            for (int i = 0; i < row.size; ++i)
                if (i != row.take)
                    expected.push_back(i);
            EXPECT_EQ(left, expected);
            if (type == ORVEX_DICT) {
                EXPECT_EQ(nth(c.get(), row.take), nullptr);
            }
            // It is the caller's root now: it attaches elsewhere.
            Tree other(orvex_new_array());
            orvex_array_append_item(other.get(), taken[0]);
            EXPECT_EQ(orvex_get_parent(taken[0]), other.get());
        }
    }
}

TEST(Detach, RootsAndNullStayAsTheyAre) {
    Tree root(numbered(ORVEX_DICT, 2));
    EXPECT_EQ(orvex_detach(root.get()), root.get());
    EXPECT_EQ(orvex_dict_get_size(root.get()), 2u);
    EXPECT_EQ(orvex_detach(nullptr), nullptr);
    // A detached container takes its subtree along.
    Sample t;
    EXPECT_EQ(orvex_detach(t.list), t.list);
    Tree list(t.list);
    EXPECT_EQ(orvex_get_path(t.root.get(), "list"), nullptr);
    EXPECT_EQ(orvex_get_path(list.get(), "1.x"), t.x);
    // A key removed and set again is a new entry at the end.
    Tree d(numbered(ORVEX_DICT, 3));
    Tree k0(orvex_detach(orvex_dict_get_item(d.get(), "k0")));
    orvex_dict_set_item(d.get(), "k0", k0.n);
    k0.n = nullptr;
    uint64_t length = 0;
    EXPECT_STREQ(orvex_dict_get_item_key_ptr(orvex_dict_get_item(d.get(), "k0"), &length), "k0");
    EXPECT_EQ(length, 2u);
    Walk walk(d.get());
    std::vector<int64_t> order;
    while (orvex_t item = walk.next())
        order.push_back(value_of(item));
    EXPECT_EQ(order, (std::vector<int64_t>{1, 2, 0}));
    length = 9;
    EXPECT_EQ(orvex_dict_get_item_key_ptr(root.get(), &length), nullptr);
    EXPECT_EQ(orvex_dict_get_item_key_ptr(t.ten, &length), nullptr);
    EXPECT_EQ(length, 9u);
}
