// Key paths in the store (lookups, misses, malformed paths, parts, paths of
// nodes) and taking nodes out of their containers with orvex_detach.
#include <gtest/gtest.h>

#include <cstdlib>
#include <numeric>
#include <string>
#include <vector>

#include "documents.hpp"
#include "expect_tree.hpp"
#include "orvex/orvex.h"

using orvex_test::Tree;

namespace {

// Past the 256 bytes that an escaped key is unescaped into for the index.
const std::string LONG_PATH = std::string(300, 'k') + "\\.";

// Keys with dots and backslashes, the empty key, positions, a null value, a
// scalar, a long escaped key and a dictionary large enough for a hash index.
orvex_t sample() {
    orvex_t root = orvex_test::decode(R"({"a": {"b": 1, "": 2, "a.b": 3}, "a.b": {"c": 4}, "back\\slash": 5,
        "list": [6, {"x": null}, ["deep"]], "": {"": 7}, "007": 8, "s": "scalar", "indexed": {}})",
                                      ORVEX_FORMAT_JSON);
    orvex_dict_set_item(root, (std::string(300, 'k') + ".").c_str(), orvex_new_int(9));
    for (int i = 0; i < 20; ++i)
        orvex_dict_set_item(orvex_dict_get_item(root, "indexed"), ("k." + std::to_string(i)).c_str(),
                            orvex_new_int(100 + i));
    return root;
}

std::string path_of(orvex_t root, orvex_t node) {
    char *p = orvex_path_of(root, node);
    std::string s = p ? p : "(none)";
    std::free(p);
    return s;
}

} // namespace

TEST(KeyPath, FindsOrNamesTheFirstMissingPart) {
    Tree t(sample());
    const orvex_t root = t.get();
    struct Row {
        std::string path;
        orvex_err_t code;
        int64_t value;         // found: the integer there (0: the null value)
        std::string canonical; // found: as orvex_path_of spells it, when not `path`
        uint32_t part = 0;     // missing or malformed: the part, where it is written...
        uint64_t offset = 0, length = 0;
        std::string in = ""; // ...and the path of the node it was looked for in
    };
    const Row rows[] = {
        {"a.b", ORVEX_ERR_SUCCESS, 1, ""},
        {"a.", ORVEX_ERR_SUCCESS, 2, ""},
        {"a.a\\.b", ORVEX_ERR_SUCCESS, 3, ""},
        {"a\\.b.c", ORVEX_ERR_SUCCESS, 4, ""},
        {"back\\\\slash", ORVEX_ERR_SUCCESS, 5, ""},
        {"list.00", ORVEX_ERR_SUCCESS, 6, "list.0"},
        {"list.0000000001.x", ORVEX_ERR_SUCCESS, 0, "list.1.x"}, // a null value is a node
        {".", ORVEX_ERR_SUCCESS, 7, ""},
        {"007", ORVEX_ERR_SUCCESS, 8, ""}, // a key, in a dictionary
        {LONG_PATH, ORVEX_ERR_SUCCESS, 9, ""},
        {"indexed.k\\.17", ORVEX_ERR_SUCCESS, 117, ""},
        {"nope", ORVEX_ERR_NOT_FOUND, 0, "", 0, 0, 4, "(root)"},
        {"a.nope.z", ORVEX_ERR_NOT_FOUND, 0, "", 1, 2, 4, "a"},
        {"a\\.b.\\.x", ORVEX_ERR_NOT_FOUND, 0, "", 1, 5, 3, "a\\.b"},
        {"a\\\\.b", ORVEX_ERR_NOT_FOUND, 0, "", 0, 0, 3, "(root)"},
        {"list.3", ORVEX_ERR_NOT_FOUND, 0, "", 1, 5, 1, "list"},
        {"list.00000000001", ORVEX_ERR_NOT_FOUND, 0, "", 1, 5, 11, "list"},
        {"list.4294967296", ORVEX_ERR_NOT_FOUND, 0, "", 1, 5, 10, "list"},
        {"list.+1", ORVEX_ERR_NOT_FOUND, 0, "", 1, 5, 2, "list"},
        {"list.", ORVEX_ERR_NOT_FOUND, 0, "", 1, 5, 0, "list"},
        {"list.1.x.y", ORVEX_ERR_NOT_FOUND, 0, "", 3, 9, 1, "list.1.x"}, // scalars hold nothing
        {"s.0", ORVEX_ERR_NOT_FOUND, 0, "", 1, 2, 1, "s"},
        {LONG_PATH + "x", ORVEX_ERR_NOT_FOUND, 0, "", 0, 0, 303, "(root)"},
        {"indexed.k\\.20", ORVEX_ERR_NOT_FOUND, 0, "", 1, 8, 5, "indexed"},
        // Refused whole before any lookup, at the first stray backslash.
        {"a.b\\", ORVEX_ERR_INVALID_ARG, 0, "", 1, 3, 1, "(null)"},
        {"nope.x\\y.z\\", ORVEX_ERR_INVALID_ARG, 0, "", 1, 6, 1, "(null)"},
        {"\\\\\\", ORVEX_ERR_INVALID_ARG, 0, "", 0, 2, 1, "(null)"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE("path '" + row.path + "'");
        orvex_t node = root;
        orvex_path_miss miss{99, 99, 99, root};
        ASSERT_EQ(orvex_find_path(root, row.path.c_str(), &node, &miss), row.code);
        EXPECT_EQ(orvex_get_path(root, row.path.c_str()), node);
        if (row.code == ORVEX_ERR_SUCCESS) {
            int64_t value = 0;
            orvex_get_int_val(node, &value);
            EXPECT_EQ(value, row.value);
            EXPECT_EQ(orvex_get_node_type(node), row.value ? ORVEX_INT : ORVEX_NULL);
            EXPECT_EQ(path_of(root, node), row.canonical.empty() ? row.path : row.canonical);
            continue;
        }
        EXPECT_EQ(node, nullptr);
        EXPECT_EQ(miss.part, row.part);
        EXPECT_EQ(miss.offset, row.offset);
        EXPECT_EQ(miss.length, row.length);
        EXPECT_EQ(!miss.container          ? "(null)"
                  : miss.container == root ? "(root)"
                                           : path_of(root, miss.container),
                  row.in);
    }
    orvex_t list = orvex_get_path(root, "list"), node = root;
    EXPECT_EQ(orvex_get_path(list, "1.x"), orvex_get_path(root, "list.1.x"));
    EXPECT_EQ(path_of(list, orvex_get_path(root, "list.1.x")), "1.x");
    EXPECT_EQ(orvex_find_path(nullptr, "a", &node, nullptr), ORVEX_ERR_INVALID_ARG);
    EXPECT_EQ(node, nullptr);
    EXPECT_EQ(orvex_find_path(root, nullptr, &node, nullptr), ORVEX_ERR_INVALID_ARG);
    EXPECT_EQ(orvex_find_path(root, "a", nullptr, nullptr), ORVEX_ERR_INVALID_ARG);
    // No path for the root itself, a node outside its subtree, or null.
    for (orvex_t outside : {root, orvex_get_path(root, "a.b"), static_cast<orvex_t>(nullptr)})
        EXPECT_EQ(path_of(list, outside), "(none)");
}

TEST(KeyPath, EveryNodeOfADeepTreeByItsPath) {
    // Far deeper than any document: spelt and followed without recursion.
    Tree root(orvex_new_array());
    std::vector<orvex_t> nodes{root.get()};
    for (int i = 0; i < 100000; ++i) {
        orvex_t next = i % 2 ? orvex_new_array() : orvex_new_dict();
        if (i % 2)
            orvex_dict_set_item(nodes.back(), i % 3 ? "k\\" : ".", next);
        else
            orvex_array_append_item(nodes.back(), next);
        nodes.push_back(next);
    }
    for (size_t i = 1; i < nodes.size(); i += 997) {
        char *path = orvex_path_of(root.get(), nodes[i]);
        ASSERT_NE(path, nullptr);
        EXPECT_EQ(orvex_get_path(root.get(), path), nodes[i]);
        std::free(path);
    }
}

TEST(KeyPath, PartsAndPositionsAsTheLookupsReadThem) {
    const std::vector<std::pair<std::string, std::vector<std::string>>> rows = {
        {"", {""}}, {"a.", {"a", ""}}, {"..", {"", "", ""}}, {"a\\.b.c\\\\", {"a.b", "c\\"}}};
    for (const auto &row : rows) {
        std::vector<std::string> parts;
        uint64_t at = 0;
        while (at <= row.first.size()) {
            char *part = nullptr;
            uint64_t length = 0;
            ASSERT_EQ(orvex_path_part(row.first.c_str(), at, &part, &length, &at), ORVEX_ERR_SUCCESS);
            parts.emplace_back(part, length);
            std::free(part);
        }
        EXPECT_EQ(parts, row.second) << row.first;
        EXPECT_EQ(at, row.first.size() + 1);
    }
    // Only the part asked for is read; a failure leaves the out-values be.
    for (const auto &bad :
         std::vector<std::pair<const char *, uint64_t>>{{"a.b\\x", 2}, {"abc", 4}, {nullptr, 0}}) {
        char *part = reinterpret_cast<char *>(1);
        uint64_t next = 7;
        EXPECT_EQ(orvex_path_part(bad.first, bad.second, &part, nullptr, &next), ORVEX_ERR_INVALID_ARG);
        EXPECT_TRUE(part == nullptr && next == 7);
    }
    uint32_t position = 0;
    EXPECT_TRUE(orvex_path_position("0004294967295", 13, &position) == 0 &&
                orvex_path_position("4294967295", 10, &position) && position == 4294967295u);
    EXPECT_TRUE(orvex_path_position("012", 2, &position) && position == 1);
    EXPECT_EQ(orvex_path_position("-1", 2, &position) + orvex_path_position("", 0, &position), 0);
}

TEST(Detach, TakesTheNodeOutAsAWalkExpects) {
    const struct {
        int after, take; // detach item `take` when a walk has returned `after` (take -1: each as returned)
        std::vector<int64_t> walked;
    } rows[] = {
        {2, 1, {0, 1, 2, 3}}, // the item just returned: the walk goes on with the next
        {1, 2, {0, 1, 3}},    // one not reached is not returned
        {3, 0, {0, 1, 2, 3}}, // one passed changes nothing
        {0, -1, {}},
    };
    for (bool dict : {false, true}) {
        for (const auto &row : rows) {
            SCOPED_TRACE((dict ? "dictionary, " : "array, ") + std::to_string(row.take));
            // Enough entries that removing them compacts the dictionary.
            Tree c(dict ? orvex_new_dict() : orvex_new_array());
            for (int i = 0; i < 40; ++i)
                dict ? orvex_dict_set_item(c.get(), std::to_string(i).c_str(), orvex_new_int(i))
                     : orvex_array_append_item(c.get(), orvex_new_int(i));
            void *iter = nullptr;
            dict ? orvex_dict_new_iter(c.get(), &iter) : orvex_array_new_iter(c.get(), &iter);
            std::vector<int64_t> walked;
            auto step = [&] {
                orvex_t item = nullptr;
                dict ? orvex_dict_next_item_ref(c.get(), iter, nullptr, nullptr, &item)
                     : orvex_array_next_item(c.get(), iter, &item);
                int64_t v = -1;
                orvex_get_int_val(item, &v);
                if (item && (row.take < 0 || v < 4))
                    walked.push_back(v);
                return item;
            };
            auto take = [&](orvex_t node) {
                Tree taken(orvex_detach(node));
                EXPECT_EQ(taken.get(), node);
                EXPECT_EQ(orvex_get_parent(node), nullptr);
                EXPECT_EQ(orvex_array_get_item_index(node), ORVEX_NO_INDEX);
            };
            for (int i = 0; i < row.after; ++i)
                step();
            if (row.take >= 0)
                take(orvex_get_path(c.get(), std::to_string(row.take).c_str()));
            while (orvex_t item = step())
                if (row.take < 0)
                    take(item);
            std::free(iter);
            std::vector<int64_t> all(40);
            std::iota(all.begin(), all.end(), 0);
            EXPECT_EQ(walked, row.take < 0 ? all : row.walked);
            EXPECT_EQ(orvex_array_get_size(c.get()) + orvex_dict_get_size(c.get()), row.take < 0 ? 0u : 39u);
            // The entry went with its value; later items moved up.
            int64_t v = -1;
            orvex_get_int_val(orvex_get_path(c.get(), std::to_string(row.take).c_str()), &v);
            EXPECT_EQ(v, dict || row.take < 0 ? -1 : row.take + 1);
        }
    }
    // A root is returned as it is, null as null.
    Tree root(orvex_new_array());
    EXPECT_EQ(orvex_detach(root.get()), root.get());
    EXPECT_EQ(orvex_detach(nullptr), nullptr);
}

TEST(KeyPath, LentKeysOfDictionaryValues) {
    Tree t(sample());
    uint64_t length = 9;
    EXPECT_STREQ(orvex_dict_get_item_key_ptr(orvex_get_path(t.get(), "a\\.b"), &length), "a.b");
    EXPECT_EQ(length, 3u);
    EXPECT_EQ(orvex_dict_get_item_key_ptr(orvex_get_path(t.get(), "list.0"), &length), nullptr);
    EXPECT_EQ(orvex_dict_get_item_key_ptr(t.get(), &length), nullptr);
    EXPECT_EQ(length, 3u);
}
