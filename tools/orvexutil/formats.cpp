#include "formats.hpp"

#include "diag.hpp"
#include "files.hpp"
#include "keypath.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

namespace orvexutil {

namespace {

// Lends a std::string to a store writer, which grows it as it writes.
char *grow_string(void *context, uint64_t size) noexcept {
    auto *out = static_cast<std::string *>(context);
    try {
        if (size > out->size())
            out->resize(size);
        return &(*out)[0];
    } catch (...) {
        return nullptr;
    }
}

// Every writer: the store's one call, the options as its flags.
template <orvex_format_t Id>
orvex_err_t write_as(orvex_t node, const WriteOptions &options, std::string &out) {
    const uint32_t flags = ((options.flags & OPT_PRETTY) ? ORVEX_WRITE_PRETTY : 0) |
                           ((options.flags & OPT_LOSSY) ? ORVEX_WRITE_LOSSY : 0) |
                           ((options.flags & OPT_TYPED) ? ORVEX_WRITE_TYPED : 0) |
                           (options.sort_keys ? ORVEX_WRITE_SORTED : 0) | options.form;
    uint64_t length = 0;
    const orvex_err_t status = orvex_write_into(node, Id, flags, grow_string, &out, &length);
    out.resize(status == ORVEX_ERR_SUCCESS ? size_t(length) : 0);
    return status;
}

// Adding an encoding: one row. A null writer makes the name known but
// refused as "not supported in this build".
const Format FORMATS[] = {
    {"xml", ORVEX_FORMAT_XML, false, 0, write_as<ORVEX_FORMAT_XML>, true},
    {"binary", ORVEX_FORMAT_BINARY, true, 0, write_as<ORVEX_FORMAT_BINARY>, false},
    {"json", ORVEX_FORMAT_JSON, false, OPT_PRETTY | OPT_LOSSY, write_as<ORVEX_FORMAT_JSON>, true},
    {"openstep", ORVEX_FORMAT_OSTEP, false, OPT_TYPED, write_as<ORVEX_FORMAT_OSTEP>, false},
};

// The key path from `root` to `node`, a node of its subtree ("the root" for
// the root itself).
std::string path_of(orvex_t node, orvex_t root) {
    if (node == root)
        return "the root";
    const std::unique_ptr<char, void (*)(void *)> path(orvex_path_of(root, node), std::free);
    if (!path)
        throw std::bad_alloc();
    return path.get();
}

} // namespace

const Format *find_format(const std::string &name) {
    // The names other converters give them.
    const std::string canonical = name == "xml1" ? "xml" : name == "binary1" ? "binary" : name;
    for (const Format &f : FORMATS)
        if (canonical == f.name)
            return &f;
    return nullptr;
}

const Format *format_of(orvex_format_t id) {
    for (const Format &f : FORMATS)
        if (f.id == id)
            return &f;
    return nullptr;
}

std::string format_names() {
    std::string names;
    for (const Format &f : FORMATS)
        names += (names.empty() ? "" : ", ") + std::string(f.name);
    return names;
}

const Format &writable_format(const std::string &command, const std::string &name,
                              const WriteOptions &options) {
    const Format *format = find_format(name);
    if (!format)
        throw UsageError{command, "unknown format '" + name + "' (one of " + format_names() + ")"};
    if (!format->write)
        throw UsageError{command, "format '" + name + "' is not supported in this build"};
    static const std::pair<unsigned, const char *> OPTION_NAMES[] = {
        {OPT_PRETTY, "--pretty"}, {OPT_LOSSY, "--lossy"}, {OPT_TYPED, "--typed"}};
    for (const auto &option : OPTION_NAMES)
        if ((options.flags & option.first) && !(format->options & option.first))
            throw UsageError{command, std::string(option.second) + " does not apply to " + name};
    return *format;
}

std::string encode(const Format &format, orvex_t node, const WriteOptions &options, const std::string &file) {
    std::string out;
    const orvex_err_t status = format.write(node, options, out);
    if (status == ORVEX_ERR_NO_MEM)
        throw std::bad_alloc();
    if (status == ORVEX_ERR_LIMIT)
        throw Failure{file,
                      std::string("cannot write ") + format.name + ": encoding longer than 2^32-1 bytes"};
    if (status != ORVEX_ERR_SUCCESS) {
        std::string what = std::string("cannot write ") + format.name + ": the document holds a value " +
                           format.name + " cannot represent";
        if (format.id == ORVEX_FORMAT_JSON)
            if (orvex_t bad = orvex_json_unwritable(node))
                what = std::string("cannot write json: the ") + type_name(orvex_get_node_type(bad)) +
                       " value at " + path_of(bad, node) + " has no JSON form (--lossy maps it, one way)";
        throw Failure{file, what};
    }
    return out;
}

Document Document::load(const std::string &path) {
    const Bytes bytes = read_input(path);
    return parse(path, bytes.data(), bytes.size());
}

Document Document::parse(const std::string &path, const char *bytes, size_t size) {
    orvex_t root = nullptr;
    orvex_format_t found = ORVEX_FORMAT_NONE;
    orvex_parse_result result{};
    // An empty input is an empty document, not a missing one.
    const char *data = size == 0 ? "" : bytes;
    if (orvex_parse(data, size, ORVEX_FORMAT_NONE, &root, &found, &result) != ORVEX_ERR_SUCCESS) {
        if (result.code == ORVEX_ERR_NO_MEM)
            throw std::bad_alloc();
        throw Failure{path, rejection_text(result)};
    }
    Document doc;
    doc.path = path;
    doc.format = format_of(found);
    doc._handle = root;
    // The object model has no class for a null value: the store tree is kept
    // as it is.
    if (orvex_get_node_type(root) == ORVEX_NULL)
        doc._unwrapped.reset(root);
    else
        doc._model.reset(Orvex::Node::FromOrvex(root, nullptr));
    return doc;
}

std::unique_ptr<Orvex::Node> Document::parse_fragment(const std::string &text, orvex_format_t format,
                                                      const std::string &what) {
    orvex_t root = nullptr;
    orvex_parse_result result{};
    if (orvex_parse(text.c_str(), text.size(), format, &root, nullptr, &result) != ORVEX_ERR_SUCCESS) {
        if (result.code == ORVEX_ERR_NO_MEM)
            throw std::bad_alloc();
        throw UsageError{"", what + ": " + rejection_text(result)};
    }
    if (orvex_get_node_type(root) == ORVEX_NULL) {
        orvex_free(root);
        throw UsageError{"", what + ": a null value cannot be stored"};
    }
    return std::unique_ptr<Orvex::Node>(Orvex::Node::FromOrvex(root, nullptr));
}

} // namespace orvexutil
