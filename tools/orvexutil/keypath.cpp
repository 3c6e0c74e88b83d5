#include "keypath.hpp"

#include "diag.hpp"

namespace orvexutil {

KeyPath::KeyPath(const std::string &command, const std::string &text) : _text(text) {
    std::string part;
    for (size_t i = 0; i < text.size(); i++) {
        const char c = text[i];
        if (c == '.') {
            _parts.push_back(part);
            _ends.push_back(i);
            part.clear();
        } else if (c == '\\') {
            if (i + 1 == text.size() || (text[i + 1] != '.' && text[i + 1] != '\\'))
                throw UsageError{command,
                                 "key path '" + text + "': only \\. and \\\\ may follow a backslash"};
            part += text[++i];
        } else {
            part += c;
        }
    }
    _parts.push_back(part);
    _ends.push_back(text.size());
}

std::string KeyPath::prefix(size_t n) const { return n == 0 ? std::string() : _text.substr(0, _ends[n - 1]); }

bool parse_position(const std::string &part, uint32_t &position) {
    if (part.empty() || part.size() > 10)
        return false;
    uint64_t value = 0;
    for (char c : part) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + uint64_t(c - '0');
    }
    if (value > 0xFFFFFFFFu)
        return false;
    position = uint32_t(value);
    return true;
}

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

Found follow(const Document &doc, const KeyPath &path, size_t depth) {
    Found at{doc.root(), doc.handle(), nullptr};
    for (size_t i = 0; i < depth; i++) {
        const std::string &part = path.parts()[i];
        const orvex_type type = orvex_get_node_type(at.handle);
        auto missing = [&](const std::string &detail) {
            const std::string where = i == 0 ? "the root" : "'" + path.prefix(i) + "'";
            return Failure{doc.path,
                           "key path '" + path.text() + "': " + where + " has no '" + part + "'" + detail};
        };
        if (type == ORVEX_DICT) {
            auto *dict = static_cast<Orvex::Dictionary *>(at.node);
            auto it = dict->Find(part);
            if (it == dict->End())
                throw missing("");
            // A null value has no wrapper; the store still has its node.
            at = Found{it->second, orvex_dict_get_item(dict->GetOrvex(), part.c_str()), dict};
        } else if (type == ORVEX_ARRAY) {
            auto *array = static_cast<Orvex::Array *>(at.node);
            uint32_t position = 0;
            if (!parse_position(part, position) || position >= array->size())
                throw missing(" (an array of " + std::to_string(array->size()) + " items)");
            at = Found{(*array)[position], orvex_array_get_item(array->GetOrvex(), position), array};
        } else {
            throw missing(" (" + a_type(type) + ")");
        }
    }
    return at;
}

} // namespace orvexutil
