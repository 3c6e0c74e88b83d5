// Placeholder until this codec lands.
#include "codecs.hpp"

namespace orvex {

orvex_err_t bin_read(const char *, uint64_t, Node **root, ParseError *err) {
    *root = nullptr;
    *err = {ORVEX_ERR_FORMAT, 0, "encoding not supported yet"};
    return ORVEX_ERR_FORMAT;
}

} // namespace orvex
