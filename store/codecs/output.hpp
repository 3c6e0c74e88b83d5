// Where a writer's bytes go: a malloc'd buffer handed to the caller, or
// memory the caller lends through a grow callback, so that the C++ classes
// write straight into their std::string or std::vector with no copy.
#ifndef ORVEX_STORE_OUTPUT_HPP
#define ORVEX_STORE_OUTPUT_HPP

#include <cstdint>
#include <cstdlib>
#include <new>

#include "orvex/orvex.h"

namespace orvex_store {

// Thrown by a writer whose document would pass 2^32-1 bytes.
struct TooLarge {};

// Runs `write`, which may throw TooLarge or std::bad_alloc, and gives the
// outcome as a code: the one boundary of both writers.
template <class Write> orvex_err_t writing_boundary(Write &&write) noexcept {
    try {
        write();
    } catch (const TooLarge &) {
        return ORVEX_ERR_LIMIT;
    } catch (const std::bad_alloc &) {
        return ORVEX_ERR_NO_MEM;
    }
    return ORVEX_ERR_SUCCESS;
}

class Output {
  public:
    Output() = default;
    Output(orvex_grow_fn grow, void *context) : grow_(grow), context_(context) {}
    Output(const Output &) = delete;
    Output &operator=(const Output &) = delete;
    ~Output() {
        if (!grow_)
            std::free(buf_);
    }

    // Room for `size` bytes in all, keeping those written; throws
    // std::bad_alloc when neither malloc nor the caller can give it. Out of
    // line: rare, and the writers' hot paths that may call it stay small.
    [[gnu::noinline]] char *resize(uint64_t size) {
        char *p = grow_ ? grow_(context_, size) : static_cast<char *>(std::realloc(buf_, size));
        if (!p)
            throw std::bad_alloc();
        buf_ = p;
        return p;
    }

    // Gives back room past `used` bytes when it is worth a call; only a
    // malloc'd buffer, whose size the caller cannot see.
    void trim(uint64_t used, uint64_t size) {
        if (!grow_ && size - used > (uint64_t(1) << 20))
            if (char *p = static_cast<char *>(std::realloc(buf_, used)))
                buf_ = p;
    }

    // The malloc'd buffer, now the caller's; null when the memory was lent.
    char *release() {
        char *b = grow_ ? nullptr : buf_;
        buf_ = nullptr;
        return b;
    }

  private:
    orvex_grow_fn grow_ = nullptr;
    void *context_ = nullptr;
    char *buf_ = nullptr;
};

} // namespace orvex_store

#endif
