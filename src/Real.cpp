#include "orvex/Real.h"

#include <new>

namespace Orvex {

Real::Real(Node* parent) : Node(ORVEX_REAL, parent) {}

Real::Real(orvex_t node, Node* parent) : Node(node, parent) {}

Real::Real(const Real& d) : Node(ORVEX_REAL, nullptr)
{
    double v = 0.0;
    orvex_get_real_val(d.GetOrvex(), &v);
    orvex_set_real_val(_node, v);
}

Real& Real::operator=(const Real& d)
{
    if (this == &d)
        return *this;
    if (GetParent()) {
        // Held by a container: the node stays where it is and takes the value.
        SetValue(d.GetValue());
        return *this;
    }
    // Copy first: when that fails, the old value stays.
    orvex_t copy = orvex_copy(d.GetOrvex());
    if (!copy && d.GetOrvex())
        throw std::bad_alloc();
    orvex_free(_node);
    _node = copy;
    return *this;
}

Real::Real(double d) : Node(ORVEX_REAL, nullptr) { orvex_set_real_val(_node, d); }

Real::~Real() {}

Node* Real::Clone() const { return new Real(*this); }

void Real::SetValue(double d) { orvex_set_real_val(_node, d); }

double Real::GetValue() const
{
    double v = 0.0;
    orvex_get_real_val(_node, &v);
    return v;
}

} // namespace Orvex
