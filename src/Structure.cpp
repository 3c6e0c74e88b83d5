#include "orvex/Structure.h"

#include "StoreBuffer.hpp"

#include <new>

namespace Orvex {

namespace {

constexpr uint64_t MAX_DOCUMENT = 0xFFFFFFFFu;

// Keeps a parsed root only when it is a container; anything else is freed.
// Running out of memory is no verdict on the document: it throws.
Structure *ImportStruct(orvex_err_t status, orvex_t root) {
    if (status == ORVEX_ERR_NO_MEM)
        throw std::bad_alloc();
    const orvex_type type = orvex_get_node_type(root);
    if (type == ORVEX_ARRAY || type == ORVEX_DICT)
        return static_cast<Structure *>(Node::FromOrvex(root, nullptr));
    orvex_free(root);
    return nullptr;
}

Structure *read_bin(const char *bin, uint64_t size) {
    // The store takes 32-bit lengths: a longer buffer is refused whole
    // rather than parsed as a prefix.
    if (size > MAX_DOCUMENT)
        return nullptr;
    orvex_t root = nullptr;
    const orvex_err_t status = orvex_from_bin(bin, static_cast<uint32_t>(size), &root);
    return ImportStruct(status, root);
}

Structure *read_memory(const char *buf, uint64_t size, orvex_format_t *format) {
    if (size > MAX_DOCUMENT) {
        if (format)
            *format = ORVEX_FORMAT_NONE;
        return nullptr;
    }
    orvex_t root = nullptr;
    const orvex_err_t status = orvex_from_memory(buf, static_cast<uint32_t>(size), &root, format);
    return ImportStruct(status, root);
}

// The encoding of `node` by `write`, whose buffer is released whatever happens.
template <class Result> Result encode(orvex_t node, orvex_err_t (*write)(orvex_t, char **, uint32_t *)) {
    char *raw = nullptr;
    uint32_t length = 0;
    const orvex_err_t status = write(node, &raw, &length);
    const StoreText owned(raw);
    if (status == ORVEX_ERR_NO_MEM)
        throw std::bad_alloc();
    return raw && length ? Result(raw, raw + length) : Result();
}

// Lends a std::string to the store's writer: it grows the string as it
// writes, so the document is never copied. No exception may cross the
// store: a failed resize is reported as no memory.
char *grow_string(void *context, uint64_t size) noexcept {
    std::string &s = *static_cast<std::string *>(context);
    try {
        s.resize(size);
    } catch (...) {
        return nullptr;
    }
    return &s[0];
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
    std::string xml;
    uint32_t length = 0;
    const orvex_err_t status = orvex_to_xml_into(_node, grow_string, &xml, &length);
    if (status == ORVEX_ERR_NO_MEM)
        throw std::bad_alloc();
    xml.resize(status == ORVEX_ERR_SUCCESS ? length : 0);
    return xml;
}

std::string Structure::ToJson(bool pretty, bool lossy) const {
    std::string json;
    uint32_t length = 0;
    const uint32_t flags = (pretty ? ORVEX_JSON_PRETTY : 0) | (lossy ? ORVEX_JSON_LOSSY : 0);
    const orvex_err_t status = orvex_to_json_into(_node, grow_string, &json, &length, flags);
    if (status == ORVEX_ERR_NO_MEM)
        throw std::bad_alloc();
    json.resize(status == ORVEX_ERR_SUCCESS ? length : 0);
    return json;
}

std::vector<char> Structure::ToBin() const { return encode<std::vector<char>>(_node, orvex_to_bin); }

Structure *Structure::FromXml(const std::string &xml) {
    if (xml.size() > MAX_DOCUMENT)
        return nullptr;
    orvex_t root = nullptr;
    const orvex_err_t status = orvex_from_xml(xml.c_str(), static_cast<uint32_t>(xml.size()), &root);
    return ImportStruct(status, root);
}

Structure *Structure::FromJson(const std::string &json) {
    if (json.size() > MAX_DOCUMENT)
        return nullptr;
    orvex_t root = nullptr;
    const orvex_err_t status = orvex_from_json(json.c_str(), static_cast<uint32_t>(json.size()), &root);
    return ImportStruct(status, root);
}

Structure *Structure::FromBin(const std::vector<char> &bin) { return read_bin(bin.data(), bin.size()); }

Structure *Structure::FromBin(const char *bin, uint64_t size) { return read_bin(bin, size); }

Structure *Structure::FromMemory(const std::vector<char> &buf, orvex_format_t *format) {
    return read_memory(buf.data(), buf.size(), format);
}

Structure *Structure::FromMemory(const char *buf, uint64_t size, orvex_format_t *format) {
    return read_memory(buf, size, format);
}

void Structure::UpdateNodeParent(Node *node) { node->_parent = this; }

} // namespace Orvex
