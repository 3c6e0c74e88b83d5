#include "mirror_check.hpp"

#include <cstddef>
#include <cstdint>
#include <vector>

#include "orvex/Array.h"
#include "orvex/Dictionary.h"

namespace orvex_test {
namespace {

// A wrapper reached by the walk, and how, for the message.
struct Place {
    const Orvex::Node *node; // null: nothing below it to check
    size_t up;               // the container's place; the root's is its own
    const std::string *key;  // under a dictionary, else null
    uint32_t index;          // under an array
};

std::string path(const std::vector<Place> &seen, size_t at) {
    std::string p;
    for (; seen[at].up != at; at = seen[at].up)
        p.insert(0, "/" + (seen[at].key ? *seen[at].key : std::to_string(seen[at].index)));
    return p.empty() ? "the root" : p;
}

std::string type_name(orvex_t n) { return "type " + std::to_string(orvex_get_node_type(n)); }

} // namespace

std::string mirror_mismatch(const Orvex::Node &root, MirrorOnly mirror_only) {
    std::vector<Place> seen{{&root, 0, nullptr, 0}};
    std::string fault;
    auto fail = [&](size_t where, const std::string &what) { fault = path(seen, where) + ": " + what; };
    // `child` against the store item of the container at `up`; a wrapper that
    // stands for it is walked later.
    auto check_child = [&](size_t up, const Orvex::Node *child, orvex_t item, const std::string *key,
                           uint32_t index) {
        const Orvex::Node &parent = *seen[up].node;
        seen.push_back({nullptr, up, key, index});
        const size_t here = seen.size() - 1;
        if (!child) {
            if (orvex_get_node_type(item) != ORVEX_NULL)
                fail(here, "a null entry for a store item of " + type_name(item));
        } else if (child->GetOrvex() != item) {
            fail(here, "the wrapper stands for another store node than the container's item");
        } else if (child->GetParent() != &parent) {
            fail(here, "the wrapper's parent is not the container");
        } else if (orvex_get_parent(item) != parent.GetOrvex()) {
            fail(here, "the store node's parent is not the container's");
        } else {
            seen.back().node = child;
        }
    };
    for (size_t at = 0; at < seen.size() && fault.empty(); ++at) {
        const Orvex::Node *n = seen[at].node;
        if (!n)
            continue;
        const orvex_t store = n->GetOrvex();
        if (!store) {
            fail(at, "a wrapper without a store node");
        } else if (auto *a = dynamic_cast<const Orvex::Array *>(n)) {
            if (a->GetType() != ORVEX_ARRAY || orvex_get_node_type(store) != ORVEX_ARRAY) {
                fail(at, "an Array over a store node of " + type_name(store));
            } else if (a->size() != a->GetSize()) {
                fail(at, "the mirror holds " + std::to_string(a->size()) + " items, the store " +
                             std::to_string(a->GetSize()));
            } else {
                uint32_t i = 0;
                for (auto it = a->begin(); it != a->end() && fault.empty(); ++it, ++i)
                    check_child(at, *it, orvex_array_get_item(store, i), nullptr, i);
            }
        } else if (auto *d = dynamic_cast<const Orvex::Dictionary *>(n)) {
            if (d->GetType() != ORVEX_DICT || orvex_get_node_type(store) != ORVEX_DICT)
                fail(at, "a Dictionary over a store node of " + type_name(store));
            size_t only_in_mirror = 0;
            for (auto it = d->begin(); it != d->end() && fault.empty(); ++it) {
                const orvex_t item = orvex_dict_get_item(store, it->first.c_str());
                if (item && it->first.find('\0') == std::string::npos) {
                    check_child(at, it->second, item, &it->first, 0);
                    continue;
                }
                seen.push_back({nullptr, at, &it->first, 0});
                if (it->first.find('\0') != std::string::npos)
                    fail(seen.size() - 1, "a mirror key holding a NUL byte");
                else if (mirror_only == MirrorOnly::Refused)
                    fail(seen.size() - 1, "a mirror entry without a store entry");
                else if (it->second)
                    fail(seen.size() - 1, "a mirror-only entry holding a wrapper");
                ++only_in_mirror;
            }
            if (fault.empty() && d->size() != d->GetSize() + only_in_mirror)
                fail(at, "the mirror holds " + std::to_string(d->size()) + " entries (" +
                             std::to_string(only_in_mirror) + " mirror-only), the store " +
                             std::to_string(d->GetSize()));
        } else if (n->GetType() == ORVEX_ARRAY || n->GetType() == ORVEX_DICT) {
            fail(at, "a container's type on a wrapper that is no container");
        }
    }
    return fault;
}

} // namespace orvex_test
