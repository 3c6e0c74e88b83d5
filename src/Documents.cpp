#include "orvex/Documents.h"

#include <cerrno>
#include <new>

#include "StoreBuffer.hpp"

namespace Orvex {

namespace {

// The tree of a parse: a wrapper for the root, or for a root null value
// none and the refusal Parse documents.
std::unique_ptr<Node> wrap(orvex_err_t status, orvex_t root, orvex_parse_result &why) {
    if (status == ORVEX_ERR_NO_MEM)
        throw std::bad_alloc();
    if (status != ORVEX_ERR_SUCCESS)
        return nullptr;
    if (orvex_get_node_type(root) == ORVEX_NULL) {
        orvex_free(root);
        why.code = ORVEX_ERR_FORMAT;
        return nullptr;
    }
    return std::unique_ptr<Node>(Node::FromOrvex(root, nullptr)); // frees the root if it throws
}

} // namespace

std::unique_ptr<Node> Parse(const char *data, size_t size, orvex_parse_result *why, orvex_format_t *format) {
    orvex_parse_result local{};
    orvex_parse_result &result = why ? *why : local;
    orvex_t root = nullptr;
    const orvex_err_t status = orvex_parse(data, size, ORVEX_FORMAT_NONE, &root, format, &result);
    return wrap(status, root, result);
}

std::unique_ptr<Node> ReadFile(const std::string &path, orvex_parse_result *why, orvex_format_t *format) {
    orvex_parse_result local{};
    orvex_parse_result &result = why ? *why : local;
    orvex_t root = nullptr;
    const orvex_err_t status = orvex_read_file(path.c_str(), ORVEX_FORMAT_NONE, &root, format, &result);
    return wrap(status, root, result);
}

orvex_err_t WriteFile(const Node &node, const std::string &path, orvex_format_t format, uint32_t flags) {
    const orvex_err_t status = orvex_write_file(node.GetOrvex(), path.c_str(), format, flags);
    if (status == ORVEX_ERR_NO_MEM)
        throw std::bad_alloc();
    return status;
}

std::string Write(const Node &node, orvex_format_t format, uint32_t flags, orvex_err_t *err) {
    std::string out;
    uint64_t length = 0;
    const orvex_err_t status =
        orvex_write_into(node.GetOrvex(), format, flags, grow_buffer<std::string>, &out, &length);
    if (status == ORVEX_ERR_NO_MEM)
        throw std::bad_alloc();
    out.resize(status == ORVEX_ERR_SUCCESS ? static_cast<size_t>(length) : 0);
    if (err)
        *err = status;
    return out;
}

} // namespace Orvex
