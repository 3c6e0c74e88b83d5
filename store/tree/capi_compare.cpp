// C interface: structural equality of two subtrees, iterative.
#include <cmath>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "tree/node.hpp"

using namespace orvex_store;

namespace {

bool same_double(double a, double b) {
    if (std::isnan(a) || std::isnan(b))
        return std::isnan(a) && std::isnan(b);
    return std::memcmp(&a, &b, sizeof a) == 0;
}

bool same_scalar(const Node *a, const Node *b) {
    switch (a->type) {
    case ORVEX_BOOLEAN:
        return a->v.b == b->v.b;
    case ORVEX_INT:
        return a->v.u == b->v.u && int_is_negative(a) == int_is_negative(b);
    case ORVEX_UID:
        return a->v.u == b->v.u;
    case ORVEX_REAL:
        return same_double(a->v.r, b->v.r);
    case ORVEX_DATE:
        // -0.0 and 0.0 seconds are one instant; the XML form cannot tell them apart.
        return a->v.r == b->v.r || same_double(a->v.r, b->v.r);
    case ORVEX_STRING:
    case ORVEX_KEY:
    case ORVEX_DATA: {
        size_t la, lb;
        const char *pa = node_text(a, &la), *pb = node_text(b, &lb);
        return la == lb && std::memcmp(pa, pb, la) == 0;
    }
    default:
        return true; // null
    }
}

// Live children of a container, in order; keys for dictionaries.
template <class F> bool zip_children(const Node *a, const Node *b, F &&f) {
    if (a->type == ORVEX_ARRAY) {
        if (a->v.arr.size != b->v.arr.size)
            return false;
        for (uint32_t i = 0; i < a->v.arr.size; ++i)
            f(a->v.arr.items[i], b->v.arr.items[i]);
        return true;
    }
    if (dict_live(a) != dict_live(b))
        return false;
    auto next_b = live_entries(b->v.dict).begin();
    for (const DictEntry &ea : live_entries(a->v.dict)) {
        const DictEntry &eb = *next_b;
        ++next_b;
        if (ea.klen != eb.klen || std::memcmp(ea.key(), eb.key(), ea.klen) != 0)
            return false;
        f(ea.val, eb.val);
    }
    return true;
}

} // namespace

extern "C" int orvex_equal(orvex_t a, orvex_t b) {
    if (!a || !b)
        return !a && !b;
    try {
        std::vector<std::pair<const Node *, const Node *>> stack;
        stack.emplace_back(as_node(a), as_node(b));
        while (!stack.empty()) {
            auto [x, y] = stack.back();
            stack.pop_back();
            if (x->type != y->type)
                return 0;
            if (!is_container(x->type)) {
                if (!same_scalar(x, y))
                    return 0;
                continue;
            }
            if (!zip_children(x, y, [&](const Node *p, const Node *q) { stack.emplace_back(p, q); }))
                return 0;
        }
    } catch (const std::bad_alloc &) {
        return 0;
    }
    return 1;
}
