#include "orvex/Structure.h"

#include <new>

#include "StoreBuffer.hpp"

namespace Orvex {

namespace {

constexpr uint64_t MAX_DOCUMENT = 0xFFFFFFFFu;

// Keeps a parsed root only when it is a container; anything else is freed.
// Running out of memory is no verdict on the document: it throws.
Structure *keep_container(orvex_err_t status, orvex_t root) {
    if (status == ORVEX_ERR_NO_MEM)
        throw std::bad_alloc();
    const orvex_type type = orvex_get_node_type(root);
    if (type == ORVEX_ARRAY || type == ORVEX_DICT)
        return static_cast<Structure *>(Node::FromOrvex(root, nullptr));
    orvex_free(root);
    return nullptr;
}

// A document read by one of the store's orvex_from_* readers.
Structure *read_with(orvex_err_t (*read)(const char *, uint32_t, orvex_t *), const char *data,
                     uint64_t size) {
    // The store takes 32-bit lengths: a longer buffer is refused whole
    // rather than parsed as a prefix.
    if (size > MAX_DOCUMENT)
        return nullptr;
    orvex_t root = nullptr;
    const orvex_err_t status = read(data, static_cast<uint32_t>(size), &root);
    return keep_container(status, root);
}

Structure *read_memory(const char *buf, uint64_t size, orvex_format_t *format) {
    if (size > MAX_DOCUMENT) {
        if (format)
            *format = ORVEX_FORMAT_NONE;
        return nullptr;
    }
    orvex_t root = nullptr;
    const orvex_err_t status = orvex_from_memory(buf, static_cast<uint32_t>(size), &root, format);
    return keep_container(status, root);
}

// The document that `write` (a store writer into lent memory) makes of a
// tree, in a Buffer of its own length; empty when the writer refuses it.
template <class Buffer, class Write> Buffer written(Write write) {
    Buffer out;
    uint32_t length = 0;
    const orvex_err_t status = write(grow_buffer<Buffer>, &out, &length);
    if (status == ORVEX_ERR_NO_MEM)
        throw std::bad_alloc();
    out.resize(status == ORVEX_ERR_SUCCESS ? length : 0);
    return out;
}

} // namespace

Structure::Structure(Node *parent) : Node(parent) {}

Structure::Structure(orvex_type type, Node *parent) : Node(type, parent) {}

Structure::~Structure() {}

uint32_t Structure::GetSize() const {
    switch (orvex_get_node_type(_node)) {
    case ORVEX_ARRAY:
        return orvex_array_get_size(_node);
    case ORVEX_DICT:
        return orvex_dict_get_size(_node);
    default:
        return 0;
    }
}

std::string Structure::ToXml() const {
    // The XML writer knows its size before it writes: the string is grown
    // once, to about the size of the document.
    return written<std::string>([&](orvex_grow_fn grow, void *out, uint32_t *length) {
        return orvex_to_xml_into(_node, grow, out, length);
    });
}

std::string Structure::ToOpenStep(uint32_t flags) const {
    return written<std::string>([&](orvex_grow_fn grow, void *out, uint32_t *length) {
        return orvex_to_openstep_into(_node, grow, out, length, flags);
    });
}

std::string Structure::ToJson(bool pretty, bool lossy) const {
    const uint32_t flags = (pretty ? ORVEX_JSON_PRETTY : 0) | (lossy ? ORVEX_JSON_LOSSY : 0);
    return written<std::string>([&](orvex_grow_fn grow, void *out, uint32_t *length) {
        return orvex_to_json_into(_node, grow, out, length, flags);
    });
}

std::vector<char> Structure::ToBin() const {
    // The binary writer sizes the document before it writes: the vector is
    // grown once, to exactly its size.
    return written<std::vector<char>>([&](orvex_grow_fn grow, void *out, uint32_t *length) {
        return orvex_to_bin_into(_node, grow, out, length);
    });
}

Structure *Structure::FromXml(const std::string &xml) {
    return read_with(orvex_from_xml, xml.data(), xml.size());
}

Structure *Structure::FromOpenStep(const std::string &text) {
    return read_with(orvex_from_openstep, text.data(), text.size());
}

Structure *Structure::FromJson(const std::string &json) {
    return read_with(orvex_from_json, json.data(), json.size());
}

Structure *Structure::FromBin(const std::vector<char> &bin) {
    return read_with(orvex_from_bin, bin.data(), bin.size());
}

Structure *Structure::FromBin(const char *bin, uint64_t size) { return read_with(orvex_from_bin, bin, size); }

Structure *Structure::FromMemory(const std::vector<char> &buf, orvex_format_t *format) {
    return read_memory(buf.data(), buf.size(), format);
}

Structure *Structure::FromMemory(const char *buf, uint64_t size, orvex_format_t *format) {
    return read_memory(buf, size, format);
}

void Structure::UpdateNodeParent(Node *node) { node->_parent = this; }

} // namespace Orvex
