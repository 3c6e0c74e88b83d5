// The encodings the tool reads and writes, in one table, and documents held
// through the object model.
#ifndef ORVEXUTIL_FORMATS_HPP
#define ORVEXUTIL_FORMATS_HPP

#include <orvex/orvex++.h>

#include <cstdlib>
#include <memory>
#include <new>
#include <string>

namespace orvexutil {

// Options a writer may take; each format lists those it honours.
enum WriteOption : unsigned { OPT_PRETTY = 1, OPT_LOSSY = 2, OPT_TYPED = 4 };

struct WriteOptions {
    unsigned flags = 0; // WriteOption bits
    bool sort_keys = false;
    uint32_t form = 0; // ORVEX_WRITE_ bits of the document's form: bare list, BOM, UTF-16
};

struct Format {
    const char *name;  // as given on the command line
    orvex_format_t id; // as the store knows it
    bool binary;       // not for a terminal unless asked for explicitly
    unsigned options;  // the WriteOption bits it honours
    // Encodes the subtree at `node` into `out`; null when this build has no
    // writer for the format.
    orvex_err_t (*write)(orvex_t node, const WriteOptions &options, std::string &out);
    // Whether a value may be given as a document fragment in this format
    // (-xml, -json).
    bool reads_fragments;
};

// Calls `fn(key, length, value)` for each entry of the store dictionary
// `dict`, in document order; throws std::bad_alloc when no iterator can be made.
template <class Fn> void for_each_entry(orvex_t dict, Fn &&fn) {
    orvex_dict_iter raw = nullptr;
    orvex_dict_new_iter(dict, &raw);
    if (!raw)
        throw std::bad_alloc();
    const std::unique_ptr<void, void (*)(void *)> iter(raw, std::free);
    for (;;) {
        const char *key = nullptr;
        uint64_t length = 0;
        orvex_t value = nullptr;
        orvex_dict_next_item_ref(dict, raw, &key, &length, &value);
        if (!value)
            return;
        fn(key, length, value);
    }
}

// The format named `name`, or null.
const Format *find_format(const std::string &name);
// The format the store calls `id`, or null.
const Format *format_of(orvex_format_t id);
// "xml, binary, json, openstep"
std::string format_names();
// The format named `name`, ready to write with `options`; throws UsageError
// (for `command`) for an unknown name, a format without a writer in this
// build, or an option the format does not take.
const Format &writable_format(const std::string &command, const std::string &name,
                              const WriteOptions &options);

// The encoding of the subtree at `node`. Throws Failure (naming `file`) when
// the format cannot hold it.
std::string encode(const Format &format, orvex_t node, const WriteOptions &options, const std::string &file);

// A parsed document: the root's wrapper when it has a class (null for a
// root null value), and the store tree, which the wrapper owns when there is
// one.
class Document {
  public:
    std::string path;
    const Format *format = nullptr; // the encoding it was read in, or null
    Orvex::Node *root() const { return _model.get(); }
    orvex_t handle() const { return _handle; }

    // Reads and parses `path` ("-": standard input); throws Failure with the
    // rejection.
    static Document load(const std::string &path);
    // Parses the `size` bytes at `data`, read from `path`, as load does.
    static Document parse(const std::string &path, const char *data, size_t size);
    // Parses `text` as `format` (a -xml value): the root wrapper, which the
    // caller owns; throws UsageError naming `what` on rejection.
    static std::unique_ptr<Orvex::Node> parse_fragment(const std::string &text, orvex_format_t format,
                                                       const std::string &what);

  private:
    std::unique_ptr<Orvex::Node> _model;
    std::unique_ptr<void, void (*)(orvex_t)> _unwrapped{nullptr, orvex_free};
    orvex_t _handle = nullptr;
};

} // namespace orvexutil

#endif
