// Writing and reading documents in the suites, with the checks every caller
// of the writers and readers makes.
#ifndef ORVEX_TESTS_DOCUMENTS_HPP
#define ORVEX_TESTS_DOCUMENTS_HPP

#include <cstdint>
#include <string>
#include <vector>

#include "orvex/orvex.h"

namespace orvex_test {

// `tree` written as `format` (XML, binary, JSON or OpenStep) with the
// writer's `flags`, expecting `want`; empty when nothing was written. XML and
// JSON must end with a NUL past their length.
std::string encode(orvex_t tree, orvex_format_t format, uint32_t flags = 0,
                   orvex_err_t want = ORVEX_ERR_SUCCESS);

// `doc` read as `format` (ORVEX_FORMAT_NONE detects it): the tree, or null
// with the reason in `result`.
orvex_t decode(const std::string &doc, orvex_format_t format, orvex_parse_result *result = nullptr);

// `doc` refused as `format` for `cause`: no tree, an error code, the cause's
// text and a place inside the document. The outcome, for the caller to check
// the code and place it expects.
orvex_parse_result expect_refused(const std::string &doc, orvex_format_t format, orvex_reason_t cause);

// A document a reader must refuse, with `code` and `cause`, at byte `offset`.
struct Refusal {
    std::string doc;
    orvex_err_t code;
    orvex_reason_t cause;
    uint64_t offset;
};
// Each row refused as `format` as it says.
void expect_refusals(orvex_format_t format, const std::vector<Refusal> &rows);

} // namespace orvex_test

#endif
