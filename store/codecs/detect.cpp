// Recognises an encoding from the first bytes of a buffer.
#include <cstring>

#include "codecs/codecs.hpp"

namespace orvex_store {

orvex_format_t detect_format(const char *data, uint64_t length) {
    if (!data)
        return ORVEX_FORMAT_NONE;
    if (length >= 8 && std::memcmp(data, "bplist00", 8) == 0)
        return ORVEX_FORMAT_BINARY;
    uint64_t i = 0;
    if (length >= 3 && std::memcmp(data, "\xEF\xBB\xBF", 3) == 0)
        i = 3;
    while (i < length && (data[i] == ' ' || data[i] == '\t' || data[i] == '\r' || data[i] == '\n'))
        ++i;
    if (i < length && data[i] == '<')
        return ORVEX_FORMAT_XML;
    // Only a candidate: orvex_parse takes it for JSON when it parses as such.
    if (i < length && (data[i] == '{' || data[i] == '['))
        return ORVEX_FORMAT_JSON;
    return ORVEX_FORMAT_NONE;
}

} // namespace orvex_store
