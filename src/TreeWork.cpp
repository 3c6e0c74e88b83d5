#include "TreeWork.hpp"

#include <iterator>
#include <new>

namespace Orvex {

namespace {

bool is_container(orvex_t node)
{
    const orvex_type type = orvex_get_node_type(node);
    return type == ORVEX_ARRAY || type == ORVEX_DICT;
}

} // namespace

void TreeWork::Fill(Structure* root)
{
    try {
        std::vector<Structure*> pending(1, root);
        while (!pending.empty()) {
            Structure* s = pending.back();
            pending.pop_back();
            if (Array* a = dynamic_cast<Array*>(s))
                array_fill(a, a->_array, a->_node, pending);
            else if (Dictionary* d = dynamic_cast<Dictionary*>(s))
                dictionary_fill(d, d->_map, d->_node, pending);
        }
    } catch (...) {
        Clear(root);
        throw;
    }
}

void TreeWork::Clear(Structure* root) noexcept
{
    Structure* cur = root;
    for (;;) {
        // Take one child out of the current mirror, if any is left.
        Node* child = nullptr;
        bool taken = false;
        if (Array* a = dynamic_cast<Array*>(cur)) {
            if ((taken = !a->_array.empty())) {
                child = a->_array.back();
                a->_array.pop_back();
            }
        } else if (Dictionary* d = dynamic_cast<Dictionary*>(cur)) {
            if ((taken = !d->_map.empty())) {
                auto last = std::prev(d->_map.end());
                child = last->second;
                d->_map.erase(last);
            }
        }
        if (taken) {
            // Only a container wrapper stands on a store container: setters
            // never make one, so the cast below cannot miss.
            if (child && is_container(child->GetOrvex()))
                cur = static_cast<Structure*>(child);
            else
                delete child;
            continue;
        }
        if (cur == root)
            return;
        // An emptied container: its destructor has nothing left to walk.
        Structure* up = static_cast<Structure*>(cur->GetParent());
        delete cur;
        cur = up;
    }
}

void TreeWork::Wrap(orvex_t node, Structure* parent, Node*& slot,
                    std::vector<Structure*>& pending)
{
    Structure* container = nullptr;
    switch (orvex_get_node_type(node)) {
    case ORVEX_ARRAY: container = new Array(node, parent, static_cast<TreeWork*>(nullptr)); break;
    case ORVEX_DICT:
        container = new Dictionary(node, parent, static_cast<TreeWork*>(nullptr));
        break;
    default: slot = Node::FromOrvex(node, parent); return;
    }
    slot = container; // owned by the mirror before anything else can throw
    pending.push_back(container);
}

} // namespace Orvex
