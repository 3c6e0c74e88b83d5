// Any accepted document, written as XML, as binary and (where it can be) as
// JSON and read back, gives a tree equal to the first; writing that tree
// again gives the same bytes, so XML to XML and binary to binary are exact.
//
// The losses the writers document are allowed, and only where they apply:
// - XML: dates are written in whole seconds, so a date with a fraction, or
//   one that is NaN, infinite or 9e18 seconds or more away from 2001, comes
//   back as the whole second orvex_get_unix_date_val reads from it; a
//   dictionary holding only CF$UID with an integer from 0 to 2^64-1 (possible
//   only from a binary document) is how XML writes a UID, and reads back as
//   that UID;
// - binary: a key node standing as a value (possible only from an XML
//   document) comes back as a string, as the encoding has no key type;
// - OpenStep, typed: dates in whole seconds as in XML, key nodes as strings
//   as in binary; a tree holding a UID or null node is refused.
// - JSON, for a tree without dates, data, UIDs and non-finite reals (which
//   it refuses): as binary.
// XML written with keys sorted keeps its length; XML and binary sorted again
// after a reading give the same bytes; XML in UTF-16 reads back as XML.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "fuzz_check.hpp"
#include "orvex/orvex.h"
#include "tree_compare.hpp"

namespace {

// Whether the tree holds a value OpenStep has no form for.
bool has_uid_or_null(orvex_t root) {
    std::vector<orvex_t> todo{root};
    while (!todo.empty()) {
        orvex_t n = todo.back();
        todo.pop_back();
        if (orvex_get_node_type(n) == ORVEX_UID || orvex_get_node_type(n) == ORVEX_NULL)
            return true;
        fuzz::push_children(n, todo);
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    orvex_t first = nullptr;
    if (orvex_from_memory(reinterpret_cast<const char *>(data), static_cast<uint32_t>(size), &first,
                          nullptr) != ORVEX_ERR_SUCCESS)
        return 0;
    if (fuzz::larger_than(first, 65536)) {
        orvex_free(first);
        return 0;
    }

    bool odd_date, key_value, uid_dict;
    fuzz::find_losses(first, &odd_date, &key_value, &uid_dict);
    fuzz::Losses as_bin, as_xml;
    as_bin.key_values_as_strings = key_value;
    as_xml.dates_as_seconds = odd_date;
    as_xml.uid_dicts_as_uids = uid_dict;

    fuzz::Buf bin1, bin2;
    FUZZ_CHECK(orvex_to_bin(first, &bin1.p, &bin1.n) == ORVEX_ERR_SUCCESS);
    orvex_t from_bin = nullptr;
    FUZZ_CHECK(orvex_from_bin(bin1.p, bin1.n, &from_bin) == ORVEX_ERR_SUCCESS);
    FUZZ_CHECK(fuzz::equal_with(first, from_bin, as_bin));
    FUZZ_CHECK(orvex_to_bin(from_bin, &bin2.p, &bin2.n) == ORVEX_ERR_SUCCESS);
    FUZZ_CHECK(bin1.same(bin2));

    fuzz::Buf xml1, xml2;
    FUZZ_CHECK(orvex_to_xml(first, &xml1.p, &xml1.n) == ORVEX_ERR_SUCCESS);
    FUZZ_CHECK(xml1.p[xml1.n] == '\0');
    orvex_t from_xml = nullptr;
    orvex_parse_result why;
    orvex_parse(xml1.p, xml1.n, ORVEX_FORMAT_XML, &from_xml, nullptr, &why);
    if (!from_xml)
        std::fprintf(stderr, "written XML rejected at line %u column %u: %s\n", why.line, why.column,
                     why.reason);
    FUZZ_CHECK(from_xml != nullptr);
    FUZZ_CHECK(fuzz::equal_with(first, from_xml, as_xml));
    FUZZ_CHECK(orvex_to_xml(from_xml, &xml2.p, &xml2.n) == ORVEX_ERR_SUCCESS);
    FUZZ_CHECK(xml1.same(xml2));

    fuzz::Buf ostep;
    orvex_err_t e = orvex_to_openstep(first, &ostep.p, &ostep.n, ORVEX_OSTEP_TYPED);
    FUZZ_CHECK(e == (has_uid_or_null(first) ? ORVEX_ERR_FORMAT : ORVEX_ERR_SUCCESS));
    if (e == ORVEX_ERR_SUCCESS) {
        fuzz::Losses as_ostep;
        as_ostep.dates_as_seconds = odd_date;
        as_ostep.key_values_as_strings = key_value;
        orvex_t from_ostep = nullptr;
        FUZZ_CHECK(orvex_from_openstep(ostep.p, ostep.n, &from_ostep) == ORVEX_ERR_SUCCESS);
        FUZZ_CHECK(fuzz::equal_with(first, from_ostep, as_ostep));
        orvex_free(from_ostep);
    }

    // JSON, when the tree has a JSON form: the same tree, key nodes as strings.
    if (!orvex_json_unwritable(first)) {
        fuzz::Buf json;
        FUZZ_CHECK(orvex_to_json(first, &json.p, &json.n, 0) == ORVEX_ERR_SUCCESS);
        orvex_t from_json = nullptr;
        FUZZ_CHECK(orvex_from_json(json.p, json.n, &from_json) == ORVEX_ERR_SUCCESS);
        FUZZ_CHECK(fuzz::equal_with(first, from_json, as_bin));
        orvex_free(from_json);
    }

    // Sorted keys: XML has the same lines in another order, so the same
    // length (binary may not: its offsets' width depends on the last
    // object); a tree read back from either writes the same bytes sorted.
    for (orvex_format_t format : {ORVEX_FORMAT_XML, ORVEX_FORMAT_BINARY}) {
        fuzz::Buf &plain = format == ORVEX_FORMAT_XML ? xml1 : bin1;
        char *sorted = nullptr, *again = nullptr;
        uint64_t n = 0, m = 0;
        FUZZ_CHECK(orvex_write(first, format, ORVEX_WRITE_SORTED, &sorted, &n) == ORVEX_ERR_SUCCESS);
        FUZZ_CHECK(format != ORVEX_FORMAT_XML || n == plain.n);
        orvex_t back = nullptr;
        FUZZ_CHECK(orvex_parse(sorted, n, format, &back, nullptr, nullptr) == ORVEX_ERR_SUCCESS);
        FUZZ_CHECK(orvex_write(back, format, ORVEX_WRITE_SORTED, &again, &m) == ORVEX_ERR_SUCCESS);
        FUZZ_CHECK(m == n && std::memcmp(sorted, again, n) == 0);
        orvex_free(back);
        std::free(sorted);
        std::free(again);
    }

    // XML in UTF-16 reads back as the UTF-8 form does.
    char *utf16 = nullptr;
    uint64_t utf16_n = 0;
    FUZZ_CHECK(orvex_write(first, ORVEX_FORMAT_XML, ORVEX_WRITE_UTF16BE, &utf16, &utf16_n) ==
               ORVEX_ERR_SUCCESS);
    orvex_t from_utf16 = nullptr;
    FUZZ_CHECK(orvex_parse(utf16, utf16_n, ORVEX_FORMAT_NONE, &from_utf16, nullptr, nullptr) ==
               ORVEX_ERR_SUCCESS);
    FUZZ_CHECK(fuzz::equal_with(first, from_utf16, as_xml));
    orvex_free(from_utf16);
    std::free(utf16);

    orvex_free(first);
    orvex_free(from_bin);
    orvex_free(from_xml);
    return 0;
}
