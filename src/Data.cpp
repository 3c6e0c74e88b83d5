#include "orvex/Data.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>

namespace Orvex {

namespace {

// orvex_set_data_val cannot report that it ran out of memory; it then keeps
// the old bytes. So check that the node holds what was asked for. `bytes`
// must not point into the node's own data.
void set_bytes(orvex_t node, const char *bytes, uint64_t length) {
    if (!bytes)
        length = 0;
    orvex_set_data_val(node, bytes, length);
    if (!node || length == 0)
        return; // nothing needed memory
    uint64_t held = 0;
    const char *now = orvex_get_data_ptr(node, &held);
    if (!now || held != length || std::memcmp(now, bytes, length) != 0)
        throw std::bad_alloc();
}

void set_bytes(orvex_t node, const std::vector<char> &bytes) {
    set_bytes(node, bytes.empty() ? nullptr : bytes.data(), bytes.size());
}

} // namespace

Data::Data(Node *parent) : Node(ORVEX_DATA, parent) {}

Data::Data(orvex_t node, Node *parent) : Node(node, parent) {}

Data::Data(const Data &d) : Node(ORVEX_DATA, nullptr) { set_bytes(_node, d.GetValue()); }

Data &Data::operator=(const Data &b) {
    AssignFrom(b, [](Node &target, const Node &source) {
        if (source.GetOrvex() == target.GetOrvex())
            return;
        uint64_t length = 0;
        const char *bytes = orvex_get_data_ptr(source.GetOrvex(), &length);
        set_bytes(target.GetOrvex(), bytes, bytes ? length : 0);
    });
    return *this;
}

Data::Data(const std::vector<char> &buff) : Node(ORVEX_DATA, nullptr) { set_bytes(_node, buff); }

Data::Data(const char *buff, uint64_t size) : Node(ORVEX_DATA, nullptr) { set_bytes(_node, buff, size); }

Data::~Data() {}

Node *Data::Clone() const { return new Data(*this); }

void Data::SetValue(const std::vector<char> &buff) { set_bytes(_node, buff); }

std::vector<char> Data::GetValue() const {
    uint64_t length = 0;
    const char *bytes = orvex_get_data_ptr(_node, &length);
    if (length == 0 || !bytes)
        return std::vector<char>();
    if (length > static_cast<uint64_t>(INT64_MAX))
        throw std::length_error("Orvex::Data: blob too long for a vector");
    return std::vector<char>(bytes, bytes + length);
}

} // namespace Orvex
