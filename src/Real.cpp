#include "orvex/Real.h"

namespace Orvex {

Real::Real(Node *parent) : Node(ORVEX_REAL, parent) {}

Real::Real(orvex_t node, Node *parent) : Node(node, parent) {}

Real::Real(const Real &d) : Node(CopyOf(d.GetOrvex()), nullptr) {}

Real &Real::operator=(const Real &d) {
    AssignFrom(d, [](Node &target, const Node &source) {
        static_cast<Real &>(target).SetValue(static_cast<const Real &>(source).GetValue());
    });
    return *this;
}

Real::Real(double d) : Node(ORVEX_REAL, nullptr) { orvex_set_real_val(_node, d); }

Real::~Real() {}

Node *Real::Clone() const { return new Real(*this); }

void Real::SetValue(double d) { orvex_set_real_val(_node, d); }

double Real::GetValue() const {
    double v = 0.0;
    orvex_get_real_val(_node, &v);
    return v;
}

} // namespace Orvex
