#include "edit_reference.hpp"

#include <cstdlib>

namespace orvex_test {

bool split_path(const std::string &path, std::vector<std::string> &parts) {
    parts.assign(1, std::string());
    for (size_t i = 0; i < path.size(); ++i) {
        if (path[i] == '.') {
            parts.emplace_back();
        } else if (path[i] == '\\') {
            if (i + 1 == path.size() || (path[i + 1] != '.' && path[i + 1] != '\\'))
                return false;
            parts.back() += path[++i];
        } else {
            parts.back() += path[i];
        }
    }
    return true;
}

std::string join_path(const std::vector<std::string> &parts) {
    std::string s;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i)
            s += '.';
        for (char c : parts[i]) {
            if (c == '.' || c == '\\')
                s += '\\';
            s += c;
        }
    }
    return s;
}

namespace {

bool position(const std::string &part, uint32_t *pos) {
    if (part.empty() || part.size() > 10 || part.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const unsigned long long v = std::strtoull(part.c_str(), nullptr, 10);
    if (v > 0xFFFFFFFFull)
        return false;
    *pos = static_cast<uint32_t>(v);
    return true;
}

} // namespace

orvex_err_t apply_edit(orvex_t root, orvex_edit_kind kind, const std::string &path, orvex_t value) {
    std::vector<std::string> parts;
    if (!split_path(path, parts))
        return ORVEX_ERR_INVALID_ARG;
    orvex_t at = root;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        orvex_t next = nullptr;
        uint32_t pos;
        if (orvex_get_node_type(at) == ORVEX_DICT)
            next = orvex_dict_get_item(at, parts[i].c_str());
        else if (orvex_get_node_type(at) == ORVEX_ARRAY && position(parts[i], &pos))
            next = orvex_array_get_item(at, pos);
        const orvex_type t = orvex_get_node_type(next);
        if (t != ORVEX_DICT && t != ORVEX_ARRAY)
            return ORVEX_ERR_NOT_FOUND;
        at = next;
    }
    const std::string &last = parts.back();
    if (orvex_get_node_type(at) == ORVEX_DICT) {
        const bool present = orvex_dict_get_item(at, last.c_str()) != nullptr;
        if (kind == ORVEX_EDIT_REMOVE) {
            if (!present)
                return ORVEX_ERR_NOT_FOUND;
            orvex_dict_remove_item(at, last.c_str());
            return ORVEX_ERR_SUCCESS;
        }
        if (kind == ORVEX_EDIT_INSERT && present)
            return ORVEX_ERR_INVALID_ARG;
        orvex_dict_set_item(at, last.c_str(), orvex_copy(value));
        return ORVEX_ERR_SUCCESS;
    }
    if (orvex_get_node_type(at) != ORVEX_ARRAY)
        return ORVEX_ERR_NOT_FOUND;
    uint32_t pos;
    const uint32_t size = orvex_array_get_size(at);
    if (!position(last, &pos) || pos > size || (pos == size && kind != ORVEX_EDIT_INSERT))
        return ORVEX_ERR_NOT_FOUND;
    if (kind != ORVEX_EDIT_INSERT)
        orvex_array_remove_item(at, pos);
    if (kind != ORVEX_EDIT_REMOVE)
        orvex_array_insert_item(at, orvex_copy(value), pos);
    return ORVEX_ERR_SUCCESS;
}

} // namespace orvex_test
