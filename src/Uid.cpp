#include "orvex/Uid.h"

#include <new>

namespace Orvex {

Uid::Uid(Node* parent) : Node(ORVEX_UID, parent) {}

Uid::Uid(orvex_t node, Node* parent) : Node(node, parent) {}

Uid::Uid(const Uid& i) : Node(ORVEX_UID, nullptr)
{
    uint64_t v = 0;
    orvex_get_uid_val(i.GetOrvex(), &v);
    orvex_set_uid_val(_node, v);
}

Uid& Uid::operator=(const Uid& i)
{
    if (this == &i)
        return *this;
    if (GetParent()) {
        // Held by a container: the node stays where it is and takes the value.
        SetValue(i.GetValue());
        return *this;
    }
    // Copy first: when that fails, the old value stays.
    orvex_t copy = orvex_copy(i.GetOrvex());
    if (!copy && i.GetOrvex())
        throw std::bad_alloc();
    orvex_free(_node);
    _node = copy;
    return *this;
}

Uid::Uid(uint64_t i) : Node(ORVEX_UID, nullptr) { orvex_set_uid_val(_node, i); }

Uid::~Uid() {}

Node* Uid::Clone() const { return new Uid(*this); }

void Uid::SetValue(uint64_t i) { orvex_set_uid_val(_node, i); }

uint64_t Uid::GetValue() const
{
    uint64_t v = 0;
    orvex_get_uid_val(_node, &v);
    return v;
}

} // namespace Orvex
