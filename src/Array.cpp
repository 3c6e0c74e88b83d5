#include "orvex/Array.h"

#include <cstdlib>
#include <memory>
#include <stdexcept>

namespace Orvex {

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

void destroy_entries(std::vector<Node*>& array)
{
    for (Node* child : array)
        delete child;
    array.clear();
}

// Appends a wrapper (null for a type without a class) for each item of the
// store array `node`, in store order, with `_this` as their parent.
void array_fill(Array* _this, std::vector<Node*>& array, orvex_t node)
{
    orvex_array_iter iter = nullptr;
    orvex_array_new_iter(node, &iter);
    std::unique_ptr<void, FreeDeleter> release(iter);
    array.reserve(orvex_array_get_size(node));
    for (;;) {
        orvex_t subnode = nullptr;
        orvex_array_next_item(node, iter, &subnode);
        if (!subnode)
            break;
        array.push_back(nullptr); // make room first: the wrapper must not leak
        array.back() = Node::FromOrvex(subnode, _this);
    }
}

// Fills the mirror, reclaiming what was made so far if that throws.
void fill_or_clean(Array* _this, std::vector<Node*>& array, orvex_t node)
{
    try {
        array_fill(_this, array, node);
    } catch (...) {
        destroy_entries(array);
        throw;
    }
}

} // namespace

Array::Array(Node* parent) : Structure(ORVEX_ARRAY, parent) {}

Array::Array(orvex_t node, Node* parent) : Structure(parent)
{
    _node = node;
    fill_or_clean(this, _array, _node);
}

Array::Array(const Array& a) : Structure(nullptr)
{
    _node = orvex_copy(a.GetOrvex());
    fill_or_clean(this, _array, _node);
}

Array& Array::operator=(const Array& a)
{
    if (this == &a)
        return *this;
    // Copy first: `a` may lie inside what is about to be released.
    orvex_t copy = orvex_copy(a.GetOrvex());
    destroy_entries(_array);
    if (!GetParent()) {
        orvex_free(_node);
        _node = copy;
    } else {
        // Held by a container: keep this store node where it is and swap its
        // items, so the container's store tree and mirror stay as they were.
        for (uint32_t n = orvex_array_get_size(_node); n > 0; --n)
            orvex_array_remove_item(_node, n - 1);
        orvex_array_iter iter = nullptr;
        orvex_array_new_iter(copy, &iter);
        std::unique_ptr<void, FreeDeleter> release(iter);
        for (orvex_t item = nullptr;;) {
            orvex_array_next_item(copy, iter, &item);
            if (!item)
                break;
            orvex_array_append_item(_node, orvex_copy(item));
        }
        orvex_free(copy);
    }
    fill_or_clean(this, _array, _node);
    return *this;
}

Array::~Array() { destroy_entries(_array); }

Node* Array::Clone() const { return new Array(*this); }

Node* Array::operator[](unsigned int array_index) { return _array.at(array_index); }

Node* Array::Back() { return _array.empty() ? nullptr : _array.back(); }

Node* Array::back() { return Back(); }

Node* Array::Front() { return _array.empty() ? nullptr : _array.front(); }

Node* Array::front() { return Front(); }

Array::iterator Array::Begin() { return _array.begin(); }

Array::iterator Array::begin() { return _array.begin(); }

Array::iterator Array::End() { return _array.end(); }

Array::iterator Array::end() { return _array.end(); }

Array::const_iterator Array::Begin() const { return _array.begin(); }

Array::const_iterator Array::begin() const { return _array.begin(); }

Array::const_iterator Array::End() const { return _array.end(); }

Array::const_iterator Array::end() const { return _array.end(); }

size_t Array::size() const { return _array.size(); }

void Array::Append(const Node* node)
{
    if (!node)
        return;
    Insert(node, static_cast<unsigned int>(_array.size()));
}

void Array::Append(const Node& node) { Append(&node); }

void Array::Insert(const Node* node, unsigned int pos)
{
    if (!node)
        return;
    if (pos > _array.size())
        throw std::out_of_range("Orvex::Array::Insert: position past the end");
    // Grow the mirror before the store takes the copy, so nothing after the
    // attach can throw.
    if (_array.size() == _array.capacity())
        _array.reserve(_array.empty() ? 4 : 2 * _array.size());
    Node* clone = node->Clone();
    if (!clone->GetOrvex()) {
        // Nothing for the store to hold; an entry would break the mirror.
        delete clone;
        return;
    }
    UpdateNodeParent(clone);
    if (pos == _array.size())
        orvex_array_append_item(_node, clone->GetOrvex());
    else
        orvex_array_insert_item(_node, clone->GetOrvex(), pos);
    _array.insert(_array.begin() + pos, clone);
}

void Array::Insert(const Node& node, unsigned int pos) { Insert(&node, pos); }

void Array::Remove(Node* node)
{
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

void Array::Remove(unsigned int pos)
{
    Node* child = _array.at(pos);
    orvex_array_remove_item(_node, pos);
    delete child;
    _array.erase(_array.begin() + pos);
}

unsigned int Array::GetNodeIndex(const Node* node) const
{
    unsigned int pos = 0;
    for (const Node* child : _array) {
        if (child == node)
            return pos;
        ++pos;
    }
    return pos;
}

unsigned int Array::GetNodeIndex(const Node& node) const { return GetNodeIndex(&node); }

} // namespace Orvex
