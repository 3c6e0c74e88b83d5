#include "orvex/Structure.h"

#include "Mirrors.hpp"
#include "StoreBuffer.hpp"

#include <cmath>
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
// The writer's status through `status` when that is not null.
template <class Buffer, class Write> Buffer written(Write write, orvex_err_t *status = nullptr) {
    Buffer out;
    uint32_t length = 0;
    const orvex_err_t result = write(grow_buffer<Buffer>, &out, &length);
    if (result == ORVEX_ERR_NO_MEM)
        throw std::bad_alloc();
    out.resize(result == ORVEX_ERR_SUCCESS ? length : 0);
    if (status)
        *status = result;
    return out;
}

// Why the strict JSON writer refused the tree at `top`, whose node `bad` has
// no JSON form.
std::string no_json_form(orvex_t top, orvex_t bad) {
    const char *what = "value";
    switch (orvex_get_node_type(bad)) {
    case ORVEX_DATE:
        what = "date";
        break;
    case ORVEX_DATA:
        what = "data";
        break;
    case ORVEX_UID:
        what = "UID";
        break;
    case ORVEX_REAL: {
        double value = 0;
        orvex_get_real_val(bad, &value);
        what = std::isnan(value) ? "real NaN" : value > 0 ? "real infinity" : "real -infinity";
        break;
    }
    default:
        break;
    }
    // A container always has a JSON form: `bad` lies below `top`, and only
    // memory can make the path fail.
    const StoreText path(orvex_path_of(top, bad));
    if (!path)
        throw std::bad_alloc();
    return std::string("the ") + what + " at key path '" + path.get() + "' has no JSON form";
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

std::string Structure::ToJson(bool pretty, bool lossy, std::string *why) const {
    if (!why)
        return ToJson(pretty, lossy);
    const uint32_t flags = (pretty ? ORVEX_JSON_PRETTY : 0) | (lossy ? ORVEX_JSON_LOSSY : 0);
    orvex_err_t status = ORVEX_ERR_SUCCESS;
    std::string out = written<std::string>(
        [&](orvex_grow_fn grow, void *buffer, uint32_t *length) {
            return orvex_to_json_into(_node, grow, buffer, length, flags);
        },
        &status);
    why->clear();
    const orvex_t bad = status == ORVEX_ERR_FORMAT ? orvex_json_unwritable(_node) : nullptr;
    if (bad)
        *why = no_json_form(_node, bad);
    else if (status == ORVEX_ERR_LIMIT)
        *why = "the JSON encoding would pass 4 GiB";
    else if (status != ORVEX_ERR_SUCCESS)
        *why = orvex_err_text(status);
    return out;
}

Node *Structure::At(const std::string &keypath) {
    // The store reads the path as a C string: a NUL would cut it short.
    if (keypath.find('\0') != std::string::npos)
        return nullptr;
    const orvex_t found = orvex_get_path(_node, keypath.c_str());
    return found ? Mirrors::WrapperOf(this, found) : nullptr;
}

const Node *Structure::At(const std::string &keypath) const {
    return const_cast<Structure *>(this)->At(keypath);
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
