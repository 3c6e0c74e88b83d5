#include "orvex/Data.h"

#include <cstdint>
#include <stdexcept>

namespace Orvex {

Data::Data(Node* parent) : Node(ORVEX_DATA, parent) {}

Data::Data(orvex_t node, Node* parent) : Node(node, parent) {}

Data::Data(const Data& d) : Node(ORVEX_DATA, nullptr)
{
    std::vector<char> bytes = d.GetValue();
    orvex_set_data_val(_node, bytes.empty() ? nullptr : bytes.data(), bytes.size());
}

Data& Data::operator=(const Data& b)
{
    if (this == &b)
        return *this;
    if (GetParent()) {
        // Held by a container: the node stays where it is and takes the bytes.
        uint64_t length = 0;
        const char* bytes = orvex_get_data_ptr(b.GetOrvex(), &length);
        orvex_set_data_val(_node, bytes, bytes ? length : 0);
        return *this;
    }
    orvex_t copy = orvex_copy(b.GetOrvex());
    orvex_free(_node);
    _node = copy;
    return *this;
}

Data::Data(const std::vector<char>& buff) : Node(ORVEX_DATA, nullptr)
{
    orvex_set_data_val(_node, buff.empty() ? nullptr : buff.data(), buff.size());
}

Data::Data(const char* buff, uint64_t size) : Node(ORVEX_DATA, nullptr)
{
    orvex_set_data_val(_node, buff, size);
}

Data::~Data() {}

Node* Data::Clone() const { return new Data(*this); }

void Data::SetValue(const std::vector<char>& buff)
{
    orvex_set_data_val(_node, buff.empty() ? nullptr : buff.data(), buff.size());
}

std::vector<char> Data::GetValue() const
{
    uint64_t length = 0;
    const char* bytes = orvex_get_data_ptr(_node, &length);
    if (length == 0 || !bytes)
        return std::vector<char>();
    if (length > static_cast<uint64_t>(INT64_MAX))
        throw std::length_error("Orvex::Data: blob too long for a vector");
    return std::vector<char>(bytes, bytes + length);
}

} // namespace Orvex
