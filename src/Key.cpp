#include "orvex/Key.h"

#include <cstdlib>

namespace Orvex {

namespace {

std::string read_key(orvex_t node)
{
    char* text = nullptr;
    orvex_get_key_val(node, &text);
    std::string result;
    try {
        if (text)
            result = text;
    } catch (...) {
        std::free(text);
        throw;
    }
    std::free(text);
    return result;
}

} // namespace

Key::Key(Node* parent) : Node(ORVEX_KEY, parent) {}

Key::Key(orvex_t node, Node* parent) : Node(node, parent) {}

// The store has no creating call for keys: a string node, retyped by the key
// write.
Key::Key(const Key& k) : Node(ORVEX_STRING, nullptr)
{
    std::string text = k.GetValue();
    orvex_set_key_val(_node, text.c_str());
}

Key& Key::operator=(const Key& k)
{
    if (this == &k)
        return *this;
    if (GetParent()) {
        // Held by a container: the node stays where it is and takes the text.
        SetValue(k.GetValue());
        return *this;
    }
    orvex_t copy = orvex_copy(k.GetOrvex());
    orvex_free(_node);
    _node = copy;
    return *this;
}

Key::Key(const std::string& s) : Node(ORVEX_STRING, nullptr)
{
    orvex_set_key_val(_node, s.c_str());
}

Key::~Key() {}

Node* Key::Clone() const { return new Key(*this); }

void Key::SetValue(const std::string& s) { orvex_set_key_val(_node, s.c_str()); }

std::string Key::GetValue() const { return read_key(_node); }

} // namespace Orvex
