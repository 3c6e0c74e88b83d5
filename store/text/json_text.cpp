#include "text/json_text.hpp"

#include <cstring>

namespace orvex_store {

char *json_escape(unsigned char c, char *w) {
    static const char SHORT[] = "btn\0fr"; // escapes of 0x08 to 0x0D, 0x0B aside
    if (c == '"' || c == '\\') {
        *w++ = '\\';
        *w++ = static_cast<char>(c);
    } else if (c >= 0x80) {
        std::memcpy(w, "\xEF\xBF\xBD", 3); // U+FFFD
        w += 3;
    } else if (c >= 0x08 && c <= 0x0D && c != 0x0B) {
        *w++ = '\\';
        *w++ = SHORT[c - 0x08];
    } else {
        static const char HEX[] = "0123456789abcdef";
        const char u[6] = {'\\', 'u', '0', '0', HEX[c >> 4], HEX[c & 15]};
        std::memcpy(w, u, sizeof u);
        w += sizeof u;
    }
    return w;
}

} // namespace orvex_store
