#include "orvex/String.h"

#include <cstring>
#include <new>

namespace Orvex {

namespace {

// Stores `length` bytes of `text`, NUL bytes included. The store keeps the old
// text when it runs out of memory; that must not pass for success.
void set_text(orvex_t node, const char *text, uint64_t length) {
    if (orvex_set_string_val_len(node, text, length) == ORVEX_ERR_NO_MEM)
        throw std::bad_alloc();
}

// Text up to its first NUL; null is the empty text.
void set_text(orvex_t node, const char *text) { set_text(node, text, text ? std::strlen(text) : 0); }

// A new root holding every byte of `source`'s text (empty when it holds none).
orvex_t copy_text(orvex_t source) {
    orvex_t copy = orvex_get_node_type(source) == ORVEX_STRING ? orvex_copy(source) : orvex_new_string("");
    if (!copy)
        throw std::bad_alloc();
    return copy;
}

} // namespace

String::String(Node *parent) : Node(ORVEX_STRING, parent) {}

String::String(orvex_t node, Node *parent) : Node(node, parent) {}

String::String(const String &s) : Node(copy_text(s.GetOrvex()), nullptr) {}

String &String::operator=(const String &s) {
    // Held by a container: the node takes the whole text, as a copy of the
    // node would.
    AssignFrom(s, [](Node &target, const Node &source) {
        uint64_t length = 0;
        const char *text = orvex_get_string_ptr(source.GetOrvex(), &length);
        set_text(target.GetOrvex(), text, text ? length : 0);
    });
    return *this;
}

String &String::operator=(const std::string &s) { return *this = s.c_str(); }

String &String::operator=(const char *s) {
    if (!s)
        s = "";
    if (GetParent()) {
        set_text(_node, s);
        return *this;
    }
    // `s` may point into the text of the node being replaced: make the new
    // node before freeing the old one.
    orvex_t fresh = orvex_new_string(s);
    if (!fresh)
        throw std::bad_alloc();
    orvex_free(_node);
    _node = fresh;
    return *this;
}

String::String(const std::string &s) : Node(ORVEX_STRING, nullptr) { set_text(_node, s.c_str()); }

String::String(const char *s) : Node(ORVEX_STRING, nullptr) { set_text(_node, s); }

String::~String() {}

Node *String::Clone() const { return new String(*this); }

void String::SetValue(const std::string &s) { set_text(_node, s.c_str()); }

std::string String::GetValue() const {
    uint64_t length = 0;
    const char *text = orvex_get_string_ptr(_node, &length);
    return text ? std::string(text, static_cast<size_t>(length)) : std::string();
}

} // namespace Orvex
