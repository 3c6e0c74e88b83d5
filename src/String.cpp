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

} // namespace

String::String(Node *parent) : Node(ORVEX_STRING, parent) {}

String::String(orvex_t node, Node *parent) : Node(node, parent) {}

String::String(const String &s) : Node(ORVEX_STRING, nullptr) {
    std::string text = s.GetValue();
    set_text(_node, text.c_str());
}

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
    const char *text = orvex_get_string_ptr(_node, nullptr);
    return text ? std::string(text, std::strlen(text)) : std::string();
}

} // namespace Orvex
