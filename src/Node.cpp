#include "orvex/Node.h"

#include <cstdint>
#include <cstdlib>
#include <new>

#include "orvex/Array.h"
#include "orvex/Boolean.h"
#include "orvex/Data.h"
#include "orvex/Date.h"
#include "orvex/Dictionary.h"
#include "orvex/Integer.h"
#include "orvex/Key.h"
#include "orvex/Real.h"
#include "orvex/String.h"
#include "orvex/Uid.h"

#include "WrapperBlocks.hpp"

namespace Orvex {

Node::Node(Node *parent) : _node(nullptr), _parent(parent) {}

Node::Node(orvex_t node, Node *parent) : _node(node), _parent(parent) {}

// The new store node is attached to nothing: with a parent recorded, nobody
// would free it (a wrapper converted from an entry's Node* leaked so).
Node::Node(orvex_type type, Node *) : _node(nullptr), _parent(nullptr) {
    // One unsigned range check: ORVEX_NONE wraps to a large value.
    if (static_cast<uint32_t>(type) > static_cast<uint32_t>(ORVEX_UID))
        return;
    switch (type) {
    case ORVEX_BOOLEAN:
        _node = orvex_new_bool(0);
        break;
    case ORVEX_INT:
        _node = orvex_new_uint(0);
        break;
    case ORVEX_REAL:
        _node = orvex_new_real(0.0);
        break;
    case ORVEX_STRING:
        _node = orvex_new_string("");
        break;
    case ORVEX_ARRAY:
        _node = orvex_new_array();
        break;
    case ORVEX_DICT:
        _node = orvex_new_dict();
        break;
    case ORVEX_DATE:
        _node = orvex_new_unix_date(0);
        break;
    case ORVEX_DATA:
        _node = orvex_new_data(nullptr, 0);
        break;
    case ORVEX_KEY:
        // The store has no creating call for keys: retype an empty string.
        _node = orvex_new_string("");
        orvex_set_key_val(_node, "");
        break;
    case ORVEX_UID:
        _node = orvex_new_uid(0);
        break;
    default:
        break;
    }
    // A wrapper without its store node would pass for a value everywhere.
    if (!_node)
        throw std::bad_alloc();
}

void *Node::operator new(std::size_t size) {
    if (void *object = WrapperBlocks::AllocateOwn(size))
        return object;
    throw std::bad_alloc();
}

void Node::operator delete(void *object, std::size_t size) noexcept { WrapperBlocks::Release(object, size); }

void *Node::operator new(std::size_t size, const std::nothrow_t &) noexcept {
    return WrapperBlocks::AllocateOwn(size);
}

// Only for a constructor that threw: the storage is AllocateOwn's malloc.
void Node::operator delete(void *object, const std::nothrow_t &) noexcept { std::free(object); }

Node::~Node() {
    if (!_parent)
        orvex_free(_node);
}

void Node::AssignFrom(const Node &source, void (*set_in_place)(Node &target, const Node &source)) {
    if (this == &source)
        return;
    if (_parent) {
        set_in_place(*this, source);
        return;
    }
    orvex_t copy = CopyOf(source._node); // first: when that throws, the old value stays
    orvex_free(_node);
    _node = copy;
}

orvex_t Node::CopyOf(orvex_t node) {
    orvex_t copy = orvex_copy(node);
    if (!copy && node)
        throw std::bad_alloc();
    return copy;
}

orvex_type Node::GetType() const { return _node ? orvex_get_node_type(_node) : ORVEX_NONE; }

orvex_t Node::GetOrvex() const { return _node; }

Node *Node::GetParent() const { return _parent; }

namespace {

// A wrapper for `node`. Allocated without throwing so that a root handle can
// be released when there is no room for its wrapper: the caller handed it over.
// A constructor that throws has released a root handle already (~Node).
template <class T> Node *adopt(orvex_t node, Node *parent) {
    if (parent)
        return new T(node, parent); // a child stays with its container
    Node *wrapper = new (std::nothrow) T(node, parent);
    if (!wrapper) {
        if (!parent)
            orvex_free(node);
        throw std::bad_alloc();
    }
    return wrapper;
}

} // namespace

Node *Node::FromOrvex(orvex_t node, Node *parent) {
    if (!node)
        return nullptr;
    switch (orvex_get_node_type(node)) {
    case ORVEX_BOOLEAN:
        return adopt<Boolean>(node, parent);
    case ORVEX_INT:
        return adopt<Integer>(node, parent);
    case ORVEX_REAL:
        return adopt<Real>(node, parent);
    case ORVEX_STRING:
        return adopt<String>(node, parent);
    case ORVEX_DATE:
        return adopt<Date>(node, parent);
    case ORVEX_DATA:
        return adopt<Data>(node, parent);
    case ORVEX_KEY:
        return adopt<Key>(node, parent);
    case ORVEX_UID:
        return adopt<Uid>(node, parent);
    case ORVEX_ARRAY:
        return adopt<Array>(node, parent);
    case ORVEX_DICT:
        return adopt<Dictionary>(node, parent);
    default:
        // A root handle was handed over and has no class: release it. A
        // child belongs to its container, whose walk may still stand on it.
        if (!parent)
            orvex_free(node);
        return nullptr;
    }
}

} // namespace Orvex
