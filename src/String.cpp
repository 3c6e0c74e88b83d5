#include "orvex/String.h"

#include <cstring>

namespace Orvex {

String::String(Node* parent) : Node(ORVEX_STRING, parent) {}

String::String(orvex_t node, Node* parent) : Node(node, parent) {}

String::String(const String& s) : Node(ORVEX_STRING, nullptr)
{
    std::string text = s.GetValue();
    orvex_set_string_val(_node, text.c_str());
}

String& String::operator=(const String& s)
{
    if (this == &s)
        return *this;
    if (GetParent()) {
        // Held by a container: the node stays where it is and takes the
        // text. The store takes text only up to a NUL here.
        orvex_set_string_val(_node, orvex_get_string_ptr(s.GetOrvex(), nullptr));
        return *this;
    }
    orvex_t copy = orvex_copy(s.GetOrvex());
    orvex_free(_node);
    _node = copy;
    return *this;
}

String& String::operator=(const std::string& s) { return *this = s.c_str(); }

String& String::operator=(const char* s)
{
    if (!s)
        s = "";
    if (GetParent()) {
        orvex_set_string_val(_node, s);
        return *this;
    }
    // `s` may point into the text of the node being replaced: make the new
    // node before freeing the old one.
    orvex_t fresh = orvex_new_string(s);
    orvex_free(_node);
    _node = fresh;
    return *this;
}

String::String(const std::string& s) : Node(ORVEX_STRING, nullptr)
{
    orvex_set_string_val(_node, s.c_str());
}

String::String(const char* s) : Node(ORVEX_STRING, nullptr)
{
    orvex_set_string_val(_node, s ? s : "");
}

String::~String() {}

Node* String::Clone() const { return new String(*this); }

void String::SetValue(const std::string& s) { orvex_set_string_val(_node, s.c_str()); }

std::string String::GetValue() const
{
    const char* text = orvex_get_string_ptr(_node, nullptr);
    return text ? std::string(text, std::strlen(text)) : std::string();
}

} // namespace Orvex
