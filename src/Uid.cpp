#include "orvex/Uid.h"

namespace Orvex {

Uid::Uid(Node *parent) : Node(ORVEX_UID, parent) {}

Uid::Uid(orvex_t node, Node *parent) : Node(node, parent) {}

Uid::Uid(const Uid &i) : Node(CopyOf(i.GetOrvex()), nullptr) {}

Uid &Uid::operator=(const Uid &i) {
    AssignFrom(i, [](Node &target, const Node &source) {
        static_cast<Uid &>(target).SetValue(static_cast<const Uid &>(source).GetValue());
    });
    return *this;
}

Uid::Uid(uint64_t i) : Node(ORVEX_UID, nullptr) { orvex_set_uid_val(_node, i); }

Uid::~Uid() {}

Node *Uid::Clone() const { return new Uid(*this); }

void Uid::SetValue(uint64_t i) { orvex_set_uid_val(_node, i); }

uint64_t Uid::GetValue() const {
    uint64_t v = 0;
    orvex_get_uid_val(_node, &v);
    return v;
}

} // namespace Orvex
