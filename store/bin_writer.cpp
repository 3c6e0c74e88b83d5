// Placeholder until this codec lands.
#include "codecs.hpp"

namespace orvex {

orvex_err_t bin_write(const Node *, char **, uint32_t *) { return ORVEX_ERR_FORMAT; }

} // namespace orvex
