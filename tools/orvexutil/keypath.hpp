// Key paths: keys and array positions separated by '.', with "\." and "\\"
// standing for a literal dot and backslash; the library parses and follows
// them.
#ifndef ORVEXUTIL_KEYPATH_HPP
#define ORVEXUTIL_KEYPATH_HPP

#include "formats.hpp"

#include <string>
#include <vector>

namespace orvexutil {

// A key path as the library reads it (orvex.h, "Key paths"), split into its
// parts.
class KeyPath {
  public:
    // Throws UsageError (for `command`) for a stray backslash.
    KeyPath(const std::string &command, const std::string &text);
    const std::vector<std::string> &parts() const { return _parts; }
    const std::string &text() const { return _text; }
    // The first `n` parts as they were written.
    std::string prefix(size_t n) const;

  private:
    std::string _text;
    std::vector<std::string> _parts;
    std::vector<size_t> _ends; // where each part ends in _text
};

// The store node that the first `depth` parts of `path` name in `doc` (its
// root for 0). Throws Failure naming the first part that is not there.
orvex_t follow(const Document &doc, const KeyPath &path, size_t depth);

// The name of a type, as the -TYPE options and `type` spell it.
const char *type_name(orvex_type type);
// The same with its article: "an integer", "a string".
std::string a_type(orvex_type type);
// The type a name of type_name's (or "float") stands for, or false.
bool parse_type_name(const std::string &name, orvex_type &type);
// "bool, integer, ..., null"
std::string type_names();
// Whether a value of type `found` is one of type `expected` (a key is a string).
bool same_type(orvex_type found, orvex_type expected);

} // namespace orvexutil

#endif
