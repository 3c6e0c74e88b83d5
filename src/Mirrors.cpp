#include "Mirrors.hpp"

#include "orvex/Boolean.h"
#include "orvex/Data.h"
#include "orvex/Date.h"
#include "orvex/Integer.h"
#include "orvex/Key.h"
#include "orvex/Real.h"
#include "orvex/String.h"
#include "orvex/Uid.h"

#include <iterator>
#include <new>
#include <typeinfo>

namespace Orvex {

namespace {

// While filling, store containers are wrapped only by their own class
// (setters never make a container, swaps keep types), so the store type
// names the wrapper class without a dynamic_cast. A container retyped to a
// scalar through its handle falls back to the cast.
Array *as_array(Structure *s, orvex_type type) {
    return type == ORVEX_ARRAY ? static_cast<Array *>(s)
                               : (type == ORVEX_DICT ? nullptr : dynamic_cast<Array *>(s));
}

} // namespace

void Mirrors::Fill(Structure *root) {
    try {
        FillWork work;
        work.pending.push_back(root);
        while (!work.pending.empty()) {
            Structure *s = work.pending.back();
            work.pending.pop_back();
            if (Array *a = as_array(s, s->GetType()))
                array_fill(a, a->_array, a->GetOrvex(), work);
            else
                dictionary_fill(static_cast<Dictionary *>(s), static_cast<Dictionary *>(s)->_map,
                                s->GetOrvex(), work);
        }
    } catch (...) {
        Clear(root);
        throw;
    }
}

bool Mirrors::TakeChild(Structure *s, Array *as, Node *&child) noexcept {
    if (as) {
        if (as->_array.empty())
            return false;
        child = as->_array.back();
        as->_array.pop_back();
        return true;
    }
    auto &map = static_cast<Dictionary *>(s)->_map;
    if (map.empty())
        return false;
    auto last = std::prev(map.end());
    child = last->second;
    map.erase(last);
    return true;
}

namespace {

// What a wrapper being destroyed is, from its dynamic type alone: its store
// node may be gone already (a replaced or removed child is deleted after the
// store has freed its subtree). The library's own classes compare by address;
// anything else (a subclass) takes the casts.
struct WrapperKind {
    bool container;
    Array *array; // the wrapper as an Array, null for anything else
};

WrapperKind classify(Node *n) {
    const std::type_info *type = &typeid(*n);
    if (type == &typeid(Array))
        return {true, static_cast<Array *>(n)};
    if (type == &typeid(Dictionary))
        return {true, nullptr};
    static const std::type_info *const values[] = {&typeid(String), &typeid(Integer), &typeid(Boolean),
                                                   &typeid(Real),   &typeid(Date),    &typeid(Data),
                                                   &typeid(Key),    &typeid(Uid)};
    for (const std::type_info *value : values)
        if (type == value)
            return {false, nullptr};
    if (!dynamic_cast<Structure *>(n))
        return {false, nullptr};
    return {true, dynamic_cast<Array *>(n)};
}

// Deletes the value wrappers of `map` where they stand. When no container is
// left, the whole mirror goes at once: taking entries one by one would
// rebalance the tree at every step.
void drop_values(std::map<std::string, Node *> &map) noexcept {
    bool containers = false;
    for (auto &entry : map) {
        if (!entry.second)
            continue;
        if (classify(entry.second).container) {
            containers = true;
        } else {
            delete entry.second;
            entry.second = nullptr;
        }
    }
    if (!containers)
        map.clear();
}

} // namespace

void Mirrors::Clear(Structure *root) noexcept {
    Structure *cur = root;
    Array *cur_array = classify(cur).array;
    if (!cur_array)
        drop_values(static_cast<Dictionary *>(cur)->_map);
    for (;;) {
        Node *child = nullptr;
        if (TakeChild(cur, cur_array, child)) {
            if (!child)
                continue;
            const WrapperKind kind = classify(child);
            if (kind.container) {
                cur = static_cast<Structure *>(child); // empty it first
                cur_array = kind.array;
                if (!cur_array)
                    drop_values(static_cast<Dictionary *>(cur)->_map);
            } else {
                delete child;
            }
            continue;
        }
        if (cur == root)
            return;
        // An emptied container: its destructor has nothing left to walk.
        Structure *up = static_cast<Structure *>(cur->GetParent());
        delete cur;
        cur = up;
        cur_array = classify(cur).array;
    }
}

Node *Mirrors::WrapperOf(Structure *top, orvex_t node) {
    // The store nodes from `node` up to just below `top`, deepest first.
    std::vector<orvex_t> ancestry;
    for (orvex_t n = node; n != top->GetOrvex(); n = orvex_get_parent(n)) {
        if (!n)
            return nullptr;
        ancestry.push_back(n);
    }
    Node *cur = top;
    for (auto step = ancestry.rbegin(); step != ancestry.rend(); ++step) {
        // Every node above `node` is a container in the store, so its wrapper
        // is one of the containers (setters never make one).
        const orvex_type type = orvex_get_node_type(cur->GetOrvex());
        if (type != ORVEX_ARRAY && type != ORVEX_DICT)
            return nullptr;
        if (Array *a = as_array(static_cast<Structure *>(cur), type)) {
            const uint32_t i = orvex_array_get_item_index(*step);
            cur = i < a->_array.size() ? a->_array[i] : nullptr;
        } else {
            uint64_t length = 0;
            const char *key = orvex_dict_get_item_key_ptr(*step, &length);
            auto &map = static_cast<Dictionary *>(cur)->_map;
            const auto entry = key ? map.find(std::string(key, length)) : map.end();
            cur = entry != map.end() ? entry->second : nullptr;
        }
        if (!cur || cur->GetOrvex() != *step)
            return nullptr;
    }
    return cur;
}

// The adopting constructors make no store call; were one to throw, its slot
// goes back as a deleted wrapper's would.
template <class T, class... Extra>
T *Mirrors::Make(FillWork &work, orvex_t node, Structure *parent, Extra... extra) {
    void *storage = work.blocks.Take(sizeof(T));
    try {
        return new (storage) T(node, parent, extra...);
    } catch (...) {
        WrapperBlocks::Release(storage, sizeof(T));
        throw;
    }
}

void Mirrors::Wrap(orvex_t node, Structure *parent, Node *&slot, FillWork &work) {
    // One type query per child: the classes are named here rather than
    // through Node::FromOrvex, which would ask again.
    Structure *container = nullptr;
    switch (orvex_get_node_type(node)) {
    case ORVEX_ARRAY:
        container = Make<Array>(work, node, parent, Array::Unfilled());
        break;
    case ORVEX_DICT:
        container = Make<Dictionary>(work, node, parent, Dictionary::Unfilled());
        break;
    case ORVEX_BOOLEAN:
        slot = Make<Boolean>(work, node, parent);
        return;
    case ORVEX_INT:
        slot = Make<Integer>(work, node, parent);
        return;
    case ORVEX_REAL:
        slot = Make<Real>(work, node, parent);
        return;
    case ORVEX_STRING:
        slot = Make<String>(work, node, parent);
        return;
    case ORVEX_DATE:
        slot = Make<Date>(work, node, parent);
        return;
    case ORVEX_DATA:
        slot = Make<Data>(work, node, parent);
        return;
    case ORVEX_KEY:
        slot = Make<Key>(work, node, parent);
        return;
    case ORVEX_UID:
        slot = Make<Uid>(work, node, parent);
        return;
    default:
        slot = nullptr; // no class: the store keeps the node
        return;
    }
    slot = container; // owned by the mirror before anything else can throw
    work.pending.push_back(container);
}

} // namespace Orvex
