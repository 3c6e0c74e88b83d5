#include "orvex/Key.h"

#include "StoreBuffer.hpp"

#include <cstring>
#include <new>

namespace Orvex {

namespace {

std::string read_key(orvex_t node) {
    char *raw = nullptr;
    orvex_get_key_val(node, &raw);
    const StoreText text(raw);
    // A key node always hands out its text; none means the copy could not
    // be made.
    if (!text && orvex_get_node_type(node) == ORVEX_KEY)
        throw std::bad_alloc();
    return text ? std::string(text.get()) : std::string();
}

// Stores `text` up to its first NUL and makes the node a key node. The store
// keeps the old text when it runs out of memory; that must not pass for
// success.
void set_key(orvex_t node, const std::string &text) {
    const char *p = text.c_str();
    if (orvex_set_key_val_len(node, p, std::strlen(p)) == ORVEX_ERR_NO_MEM)
        throw std::bad_alloc();
}

} // namespace

Key::Key(Node *parent) : Node(ORVEX_KEY, parent) {}

Key::Key(orvex_t node, Node *parent) : Node(node, parent) {}

// The store has no creating call for keys: a string node, retyped by the key
// write.
Key::Key(const Key &k) : Node(ORVEX_STRING, nullptr) { set_key(_node, k.GetValue()); }

Key &Key::operator=(const Key &k) {
    AssignFrom(k, [](Node &target, const Node &source) {
        static_cast<Key &>(target).SetValue(static_cast<const Key &>(source).GetValue());
    });
    return *this;
}

Key::Key(const std::string &s) : Node(ORVEX_STRING, nullptr) { set_key(_node, s); }

Key::~Key() {}

Node *Key::Clone() const { return new Key(*this); }

void Key::SetValue(const std::string &s) { set_key(_node, s); }

std::string Key::GetValue() const { return read_key(_node); }

} // namespace Orvex
