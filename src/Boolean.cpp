#include "orvex/Boolean.h"

namespace Orvex {

Boolean::Boolean(Node *parent) : Node(ORVEX_BOOLEAN, parent) {}

Boolean::Boolean(orvex_t node, Node *parent) : Node(node, parent) {}

Boolean::Boolean(const Boolean &b) : Node(CopyOf(b.GetOrvex()), nullptr) {}

Boolean &Boolean::operator=(const Boolean &b) {
    AssignFrom(b, [](Node &target, const Node &source) {
        uint8_t v = 0;
        orvex_get_bool_val(source.GetOrvex(), &v);
        orvex_set_bool_val(target.GetOrvex(), v);
    });
    return *this;
}

Boolean::Boolean(bool b) : Node(ORVEX_BOOLEAN, nullptr) { orvex_set_bool_val(_node, b ? 1 : 0); }

Boolean::~Boolean() {}

Node *Boolean::Clone() const { return new Boolean(*this); }

void Boolean::SetValue(bool b) { orvex_set_bool_val(_node, b ? 1 : 0); }

bool Boolean::GetValue() const {
    uint8_t v = 0;
    orvex_get_bool_val(_node, &v);
    return v != 0;
}

} // namespace Orvex
