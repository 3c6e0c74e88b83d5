#include "orvex/Integer.h"

#include <new>

namespace Orvex {

Integer::Integer(Node *parent) : Node(ORVEX_INT, parent) {}

Integer::Integer(orvex_t node, Node *parent) : Node(node, parent) {}

// Duplicating the node keeps whether the value was stored signed.
Integer::Integer(const Integer &i) : Node(CopyOf(i.GetOrvex()), nullptr) {}

Integer &Integer::operator=(const Integer &i) {
    AssignFrom(i, [](Node &target, const Node &source) {
        Integer &to = static_cast<Integer &>(target);
        const Integer &from = static_cast<const Integer &>(source);
        if (from.isNegative()) {
            to.SetValue(from.GetValue());
        } else {
            to.SetUnsignedValue(from.GetUnsignedValue());
        }
    });
    return *this;
}

Integer::Integer(uint64_t i) : Node(ORVEX_INT, nullptr) { orvex_set_uint_val(_node, i); }

Integer::Integer(int64_t i) : Node(ORVEX_INT, nullptr) { orvex_set_int_val(_node, i); }

Integer::~Integer() {}

Node *Integer::Clone() const { return new Integer(*this); }

void Integer::SetValue(int64_t i) { orvex_set_int_val(_node, i); }

void Integer::SetValue(uint64_t i) { orvex_set_uint_val(_node, i); }

void Integer::SetUnsignedValue(uint64_t i) { orvex_set_uint_val(_node, i); }

int64_t Integer::GetValue() const {
    int64_t v = 0;
    orvex_get_int_val(_node, &v);
    return v;
}

uint64_t Integer::GetUnsignedValue() const {
    uint64_t v = 0;
    orvex_get_uint_val(_node, &v);
    return v;
}

bool Integer::isNegative() const { return orvex_int_val_is_negative(_node) != 0; }

} // namespace Orvex
