// Owning what the store hands out as malloc'd copies (key text, encoded
// documents): released with free() on every path, exceptions
// included; and lending the store our own buffers to write into.
#ifndef ORVEX_SRC_STOREBUFFER_HPP
#define ORVEX_SRC_STOREBUFFER_HPP

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace Orvex {

struct StoreFree {
    void operator()(void *p) const noexcept { std::free(p); }
};

template <class T> using StoreBuffer = std::unique_ptr<T, StoreFree>;

// Key text and encoded documents.
typedef StoreBuffer<char> StoreText;

// Lends a std::string or std::vector<char> to the store's writer: it grows
// the buffer as it writes, so the document is never copied. No exception may
// cross the store: a failed resize is reported as no memory.
template <class Buffer> char *grow_buffer(void *context, uint64_t size) noexcept {
    Buffer &b = *static_cast<Buffer *>(context);
    try {
        b.resize(size);
    } catch (...) {
        return nullptr;
    }
    return &b[0];
}

} // namespace Orvex

#endif
