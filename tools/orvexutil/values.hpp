// Values given on the command line (-TYPE VALUE), and the text forms of
// scalars the tool prints.
#ifndef ORVEXUTIL_VALUES_HPP
#define ORVEXUTIL_VALUES_HPP

#include <orvex/orvex++.h>

#include <memory>
#include <string>

namespace orvexutil {

// Whether the -TYPE option `option` (e.g. "-string") is known, and whether a
// VALUE follows it (not for -array and -dictionary).
bool is_type_option(const std::string &option);
bool type_takes_value(const std::string &option);

// A value built from `option` and `text`, as a new root wrapper with the
// exact value in its store node. Throws UsageError (for `command`) for a
// value that does not read as the type.
std::unique_ptr<Orvex::Node> make_value(const std::string &command, const std::string &option,
                                        const std::string &text);

// Text forms. A real in the fewest digits that read back exactly; a date in
// ISO 8601 with the fraction of a second when it has one.
std::string real_text(double value);
std::string date_text(double seconds_since_2001);
std::string integer_text(orvex_t node);
std::string base64_text(const char *bytes, uint64_t size);
// The bare text of a scalar (extract --raw); false for containers and null.
bool raw_text(orvex_t node, std::string &text);

} // namespace orvexutil

#endif
