#include "orvex/Array.h"

#include "Mirrors.hpp"
#include "StoreBuffer.hpp"

#include <memory>
#include <new>
#include <stdexcept>

namespace Orvex {

void array_fill(Array *_this, std::vector<Node *> &array, orvex_t node, FillWork &work) {
    // By position: no iterator to allocate for each array.
    const uint32_t size = orvex_array_get_size(node);
    array.reserve(size);
    work.blocks.Expect(size);
    for (uint32_t i = 0; i < size; ++i) {
        array.push_back(nullptr); // make room first: the wrapper must not leak
        Mirrors::Wrap(orvex_array_get_item(node, i), _this, array.back(), work);
    }
}

Array::Array(Node *parent) : Structure(ORVEX_ARRAY, parent) {}

Array::Array(orvex_t node, Node *parent) : Structure(parent) {
    _node = node;
    Mirrors::Fill(this);
}

Array::Array(orvex_t node, Node *parent, Unfilled) : Structure(parent) { _node = node; }

Array::Array(const Array &a) : Structure(nullptr) { Mirrors::CopyFrom(*this, a.GetOrvex()); }

Array &Array::operator=(const Array &a) {
    Mirrors::Assign(*this, a);
    return *this;
}

Array::~Array() { Mirrors::Clear(this); }

Node *Array::Clone() const { return new Array(*this); }

Node *Array::operator[](unsigned int array_index) { return _array.at(array_index); }

const Node *Array::operator[](unsigned int array_index) const { return _array.at(array_index); }

Node *Array::Back() { return _array.empty() ? nullptr : _array.back(); }

Node *Array::back() { return Back(); }

Node *Array::Front() { return _array.empty() ? nullptr : _array.front(); }

Node *Array::front() { return Front(); }

Array::iterator Array::Begin() { return _array.begin(); }

Array::iterator Array::begin() { return _array.begin(); }

Array::iterator Array::End() { return _array.end(); }

Array::iterator Array::end() { return _array.end(); }

Array::const_iterator Array::Begin() const { return _array.begin(); }

Array::const_iterator Array::begin() const { return _array.begin(); }

Array::const_iterator Array::End() const { return _array.end(); }

Array::const_iterator Array::end() const { return _array.end(); }

size_t Array::size() const { return _array.size(); }

void Array::Append(const Node *node) {
    if (!node)
        return;
    Insert(node, static_cast<unsigned int>(_array.size()));
}

void Array::Append(const Node &node) { Append(&node); }

void Array::Append(const Value &value) { Insert(value, static_cast<unsigned int>(_array.size())); }

void Array::Insert(const Node *node, unsigned int pos) {
    if (node)
        Insert(Value(*node), pos);
}

void Array::Insert(const Value &value, unsigned int pos) {
    if (pos > _array.size())
        throw std::out_of_range("Orvex::Array::Insert: position past the end");
    // Grow the mirror before the store takes the copy, so nothing after the
    // attach can throw.
    if (_array.size() == _array.capacity())
        _array.reserve(_array.empty() ? 4 : 2 * _array.size());
    std::unique_ptr<Node> clone(value.Make());
    if (pos == _array.size())
        orvex_array_append_item(_node, clone->GetOrvex());
    else
        orvex_array_insert_item(_node, clone->GetOrvex(), pos);
    // The store refuses an attach only when it cannot grow the array.
    if (orvex_get_parent(clone->GetOrvex()) != _node)
        throw std::bad_alloc();
    UpdateNodeParent(clone.get());
    _array.insert(_array.begin() + pos, clone.release());
}

void Array::Insert(const Node &node, unsigned int pos) { Insert(&node, pos); }

void Array::Remove(Node *node) {
    if (!node)
        return;
    const uint32_t pos = orvex_array_get_item_index(node->GetOrvex());
    // The store's position says nothing about this array unless the mirror
    // holds `node` there.
    if (pos >= _array.size() || _array[pos] != node)
        return;
    orvex_array_remove_item(_node, pos);
    _array.erase(_array.begin() + pos);
    delete node;
}

void Array::Remove(unsigned int pos) {
    Node *child = _array.at(pos);
    orvex_array_remove_item(_node, pos);
    delete child;
    _array.erase(_array.begin() + pos);
}

unsigned int Array::GetNodeIndex(const Node *node) const {
    unsigned int pos = 0;
    for (const Node *child : _array) {
        if (child == node)
            return pos;
        ++pos;
    }
    return pos;
}

unsigned int Array::GetNodeIndex(const Node &node) const { return GetNodeIndex(&node); }

// Called from a delegating constructor: when it throws, ~Array cleans up.
void Array::AppendAll(std::initializer_list<Value> items) {
    _array.reserve(items.size());
    for (const Value &item : items)
        Append(item);
}

} // namespace Orvex
