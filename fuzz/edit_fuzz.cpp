// One edit on any document. Input: four bytes that choose the edit, then the
// document. Byte 0 picks the kind and the value, bytes 1-2 the node the edit
// aims at (in document order), byte 3 a key or position for an insert.
//
// A document the readers refuse is refused by orvex_edit with the same
// cause. Otherwise the edit made on the tree (tests/support/edit_reference)
// and orvex_edit must agree: both refuse with the same code, or the edited
// document reads back as that tree. A text document keeps its bytes outside
// the edit: without comments, what changed lies within a few times the size
// of what the edit touches.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "edit_reference.hpp"
#include "fuzz_check.hpp"
#include "orvex/orvex.h"

namespace {

using orvex_test::Owned;

struct Visit {
    orvex_t node;
    size_t parent;
    std::string part;
};

// Nodes in document order, at most `cap`, each with the way up to the root.
std::vector<Visit> nodes_of(orvex_t root, size_t cap) {
    std::vector<Visit> all{{root, SIZE_MAX, std::string()}};
    std::vector<size_t> todo{0};
    while (!todo.empty() && all.size() < cap) {
        const size_t at = todo.back();
        todo.pop_back();
        const orvex_t n = all[at].node;
        const size_t first = all.size();
        if (orvex_get_node_type(n) == ORVEX_DICT) {
            orvex_dict_iter it = nullptr;
            orvex_dict_new_iter(n, &it);
            const char *k;
            uint64_t kn;
            orvex_t v;
            for (orvex_dict_next_item_ref(n, it, &k, &kn, &v); v && all.size() < cap;
                 orvex_dict_next_item_ref(n, it, &k, &kn, &v))
                all.push_back({v, at, std::string(k, kn)});
            std::free(it);
        } else if (orvex_get_node_type(n) == ORVEX_ARRAY) {
            for (uint32_t i = 0; i < orvex_array_get_size(n) && all.size() < cap; ++i)
                all.push_back({orvex_array_get_item(n, i), at, std::to_string(i)});
        }
        for (size_t k = all.size(); k > first; --k)
            todo.push_back(k - 1);
    }
    return all;
}

std::string path_of(const std::vector<Visit> &all, size_t at) {
    std::vector<std::string> parts;
    for (; all[at].parent != SIZE_MAX; at = all[at].parent)
        parts.insert(parts.begin(), all[at].part);
    return orvex_test::join_path(parts);
}

// Whether the document holds numbers, booleans or dates among its first
// nodes: OpenStep writes new ones in the typed forms only then.
bool typed_scalars(const std::vector<Visit> &all) {
    for (const Visit &v : all) {
        const orvex_type t = orvex_get_node_type(v.node);
        if (t == ORVEX_INT || t == ORVEX_REAL || t == ORVEX_BOOLEAN || t == ORVEX_DATE)
            return true;
    }
    return false;
}

orvex_t value_for(uint8_t choice, bool numbers) {
    switch (choice % 5) {
    case 0:
        return orvex_new_string("v \"q\" <&> \\ \xC3\xA9\n");
    case 1:
        return numbers ? orvex_new_int(-42) : orvex_new_string("42");
    case 2: {
        orvex_t d = orvex_new_dict();
        orvex_dict_set_item(d, "a.b", orvex_new_string("x"));
        orvex_t a = orvex_new_array();
        orvex_array_append_item(a, orvex_new_string("y"));
        orvex_array_append_item(a, orvex_new_dict());
        orvex_dict_set_item(d, "list", a);
        return d;
    }
    case 3:
        return orvex_new_array();
    default:
        return orvex_new_string("");
    }
}

size_t json_size(orvex_t n) {
    char *out = nullptr;
    uint32_t len = 0;
    orvex_to_json(n, &out, &len, ORVEX_JSON_LOSSY);
    std::free(out);
    return len;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 5 || size > 65536)
        return 0;
    const char *doc = reinterpret_cast<const char *>(data) + 4;
    const size_t n = size - 4;
    orvex_t parsed = nullptr;
    orvex_format_t format = ORVEX_FORMAT_NONE;
    orvex_parse_result pr;
    const orvex_err_t pe = orvex_parse(doc, n, ORVEX_FORMAT_NONE, &parsed, &format, &pr);
    Owned tree(parsed);
    const orvex_edit_kind kind = orvex_edit_kind(data[0] % 3);
    char *out = nullptr;
    uint64_t out_len = 0;
    orvex_edit_result r;
    if (pe != ORVEX_ERR_SUCCESS) {
        Owned v(orvex_new_string("x"));
        orvex_edit_op op{ORVEX_EDIT_SET, "a", v.n};
        FUZZ_CHECK(orvex_edit(doc, n, ORVEX_FORMAT_NONE, &op, 1, &out, &out_len, &r) == pe);
        FUZZ_CHECK(!out && r.parse.cause == pr.cause && r.parse.offset == pr.offset);
        return 0;
    }
    const std::vector<Visit> all = nodes_of(tree.n, 4096);
    size_t at = (data[1] | size_t(data[2]) << 8) % all.size();
    std::string path;
    orvex_t touched = nullptr; // what the edit replaces, removes or adds to
    if (kind == ORVEX_EDIT_INSERT) {
        while (at > 0 && orvex_get_node_type(all[at].node) != ORVEX_DICT &&
               orvex_get_node_type(all[at].node) != ORVEX_ARRAY)
            at = all[at].parent;
        touched = all[at].node;
        const std::string base = path_of(all, at);
        const std::string last = orvex_get_node_type(touched) == ORVEX_ARRAY
                                     ? std::to_string(data[3] % (orvex_array_get_size(touched) + 1))
                                     : "k" + std::to_string(data[3] % 8);
        path = (at == 0 ? std::string() : base + ".") + last;
    } else {
        if (at == 0)
            at = all.size() > 1 ? 1 : 0;
        touched = all[at].node;
        path = at == 0 ? "missing" : path_of(all, at);
    }
    const bool numbers = format != ORVEX_FORMAT_OSTEP || typed_scalars(all);
    Owned value(value_for(uint8_t(data[0] / 3), numbers));
    Owned want(orvex_copy(tree.n));
    const orvex_err_t ref = orvex_test::apply_edit(want.n, kind, path, value.n);
    const orvex_edit_op op{kind, path.c_str(), value.n};
    const orvex_err_t e = orvex_edit(doc, n, ORVEX_FORMAT_NONE, &op, 1, &out, &out_len, &r);
    std::unique_ptr<char, decltype(&std::free)> owned(out, &std::free);
    FUZZ_CHECK(r.code == e && r.format == format);
    if (ref != ORVEX_ERR_SUCCESS) {
        FUZZ_CHECK(e == ref && !out);
        return 0;
    }
    if (e == ORVEX_ERR_LIMIT || (e == ORVEX_ERR_FORMAT && format != ORVEX_FORMAT_XML)) {
        FUZZ_CHECK(!out && r.op == 0); // a nesting past the limit; a UID or null in OpenStep
        return 0;
    }
    FUZZ_CHECK(e == ORVEX_ERR_SUCCESS && out);
    orvex_t back = nullptr;
    FUZZ_CHECK(orvex_parse(out, out_len, format, &back, nullptr, nullptr) == ORVEX_ERR_SUCCESS);
    Owned got(back);
    FUZZ_CHECK(orvex_equal(got.n, want.n));
    if (format == ORVEX_FORMAT_BINARY)
        return 0;
    // What changed: the bytes between the common start and the common end.
    size_t p = 0, s = 0;
    while (p < n && p < out_len && doc[p] == out[p])
        ++p;
    while (s < n - p && s < out_len - p && doc[n - 1 - s] == out[out_len - 1 - s])
        ++s;
    const size_t changed = n - p - s;
    const size_t bound = 8 * (json_size(touched) + json_size(value.n)) + 256;
    // Comments inside a replaced value go with it, and a removed entry takes
    // those above it: sizes of values say nothing of them.
    const std::string text(doc, n);
    const bool comments = text.find("/*") != std::string::npos || text.find("//") != std::string::npos ||
                          text.find("<!--") != std::string::npos;
    FUZZ_CHECK(kind == ORVEX_EDIT_REMOVE || comments || changed <= bound);
    return 0;
}
