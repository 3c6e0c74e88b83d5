#include "keypath.hpp"

#include "diag.hpp"

#include <cstdlib>
#include <memory>
#include <new>

namespace orvexutil {

KeyPath::KeyPath(const std::string &command, const std::string &text) : _text(text) {
    for (uint64_t at = 0; at <= _text.size();) {
        char *raw = nullptr;
        uint64_t length = 0, next = 0;
        // From the part's own start, so that the library checks no more
        // than this part and a long path is split in linear time.
        const orvex_err_t status = orvex_path_part(_text.c_str() + at, 0, &raw, &length, &next);
        if (status == ORVEX_ERR_NO_MEM)
            throw std::bad_alloc();
        if (status != ORVEX_ERR_SUCCESS)
            throw UsageError{command, "key path '" + text + "': only \\. and \\\\ may follow a backslash"};
        const std::unique_ptr<char, void (*)(void *)> part(raw, std::free);
        _parts.emplace_back(part.get(), length);
        next += at;
        _ends.push_back(next - 1);
        at = next;
    }
}

std::string KeyPath::prefix(size_t n) const { return n == 0 ? std::string() : _text.substr(0, _ends[n - 1]); }

const char *type_name(orvex_type type) {
    switch (type) {
    case ORVEX_BOOLEAN:
        return "bool";
    case ORVEX_INT:
        return "integer";
    case ORVEX_REAL:
        return "real";
    case ORVEX_STRING:
        return "string";
    case ORVEX_ARRAY:
        return "array";
    case ORVEX_DICT:
        return "dictionary";
    case ORVEX_DATE:
        return "date";
    case ORVEX_DATA:
        return "data";
    case ORVEX_KEY:
        return "key";
    case ORVEX_UID:
        return "uid";
    case ORVEX_NULL:
        return "null";
    default:
        return "none";
    }
}

namespace {
const orvex_type NAMED_TYPES[] = {ORVEX_BOOLEAN, ORVEX_INT, ORVEX_REAL,  ORVEX_STRING, ORVEX_DATE,
                                  ORVEX_DATA,    ORVEX_UID, ORVEX_ARRAY, ORVEX_DICT,   ORVEX_NULL};
} // namespace

bool parse_type_name(const std::string &name, orvex_type &type) {
    if (name == "float") { // other converters' name for a real
        type = ORVEX_REAL;
        return true;
    }
    for (orvex_type t : NAMED_TYPES)
        if (name == type_name(t)) {
            type = t;
            return true;
        }
    return false;
}

std::string type_names() {
    std::string names;
    for (orvex_type t : NAMED_TYPES)
        names += (names.empty() ? "" : ", ") + std::string(type_name(t));
    return names;
}

bool same_type(orvex_type found, orvex_type expected) {
    // A key standing as a value is text.
    return found == expected || (found == ORVEX_KEY && expected == ORVEX_STRING);
}

std::string a_type(orvex_type type) {
    const std::string name = type_name(type);
    return (std::string("aeio").find(name[0]) != std::string::npos ? "an " : "a ") + name;
}

orvex_t follow(const Document &doc, const KeyPath &path, size_t depth) {
    if (depth == 0)
        return doc.handle();
    orvex_t found = nullptr;
    orvex_path_miss miss{};
    const orvex_err_t status = orvex_find_path(doc.handle(), path.prefix(depth).c_str(), &found, &miss);
    if (status == ORVEX_ERR_SUCCESS)
        return found;
    if (status != ORVEX_ERR_NOT_FOUND)
        throw Failure{doc.path, "key path '" + path.text() + "': " + orvex_err_text(status)};
    const size_t i = miss.part;
    const orvex_type type = orvex_get_node_type(miss.container);
    const std::string where = i == 0 ? "the root" : "'" + path.prefix(i) + "'";
    const std::string detail =
        type == ORVEX_DICT ? ""
        : type == ORVEX_ARRAY
            ? " (an array of " + std::to_string(orvex_array_get_size(miss.container)) + " items)"
            : " (" + a_type(type) + ")";
    throw Failure{doc.path,
                  "key path '" + path.text() + "': " + where + " has no '" + path.parts()[i] + "'" + detail};
}

} // namespace orvexutil
