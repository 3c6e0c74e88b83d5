#include "documents.hpp"

#include <gtest/gtest.h>

#include <cstdlib>

namespace orvex_test {

std::string encode(orvex_t tree, orvex_format_t format, uint32_t flags, orvex_err_t want) {
    char *p = nullptr;
    uint32_t n = 0;
    orvex_err_t e = ORVEX_ERR_INVALID_ARG;
    switch (format) {
    case ORVEX_FORMAT_XML:
        e = orvex_to_xml(tree, &p, &n);
        break;
    case ORVEX_FORMAT_BINARY:
        e = orvex_to_bin(tree, &p, &n);
        break;
    case ORVEX_FORMAT_JSON:
        e = orvex_to_json(tree, &p, &n, flags);
        break;
    case ORVEX_FORMAT_OSTEP:
        e = orvex_to_openstep(tree, &p, &n, flags);
        break;
    default:
        ADD_FAILURE() << "no writer for format " << format;
    }
    EXPECT_EQ(e, want) << "format " << format;
    if (p && (format == ORVEX_FORMAT_XML || format == ORVEX_FORMAT_JSON)) {
        EXPECT_EQ(p[n], '\0');
    }
    std::string s(p ? p : "", p ? n : 0);
    std::free(p);
    return s;
}

orvex_t decode(const std::string &doc, orvex_format_t format, orvex_parse_result *result) {
    orvex_t root = nullptr;
    orvex_parse(doc.data(), doc.size(), format, &root, nullptr, result);
    return root;
}

orvex_parse_result expect_refused(const std::string &doc, orvex_format_t format, orvex_reason_t cause) {
    orvex_parse_result r{};
    orvex_t root = reinterpret_cast<orvex_t>(&r);
    EXPECT_NE(orvex_parse(doc.data(), doc.size(), format, &root, nullptr, &r), ORVEX_ERR_SUCCESS);
    EXPECT_EQ(root, nullptr);
    if (root != reinterpret_cast<orvex_t>(&r))
        orvex_free(root);
    EXPECT_EQ(r.cause, cause) << r.reason << ", not " << orvex_reason_text(cause);
    EXPECT_STREQ(r.reason, orvex_reason_text(r.cause));
    EXPECT_LE(r.offset, doc.size());
    return r;
}

void expect_refusals(orvex_format_t format, const std::vector<Refusal> &rows) {
    for (const Refusal &row : rows) {
        SCOPED_TRACE(row.doc);
        const orvex_parse_result r = expect_refused(row.doc, format, row.cause);
        EXPECT_EQ(r.code, row.code);
        EXPECT_EQ(r.offset, row.offset);
    }
}

} // namespace orvex_test
