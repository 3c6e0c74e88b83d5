// Where a writer's bytes go: a malloc'd buffer handed to the caller, or
// memory the caller lends through a grow callback, so that the C++ classes
// write straight into their std::string or std::vector with no copy.
#ifndef ORVEX_STORE_OUTPUT_HPP
#define ORVEX_STORE_OUTPUT_HPP

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "orvex/orvex.h"

namespace orvex_store {

// The longest document a writer makes, its NUL aside: lengths are 32 bits.
constexpr uint64_t MAX_OUT = UINT32_MAX;

// Thrown by a writer whose document would pass MAX_OUT bytes.
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

// A text writer's end of an Output: bytes appended in order, with room kept
// for the NUL that ends every text document. The XML, JSON and OpenStep
// writers derive from it.
class TextOut {
  public:
    explicit TextOut(Output &out) : out_(out) {}

    // The document's length so far.
    uint32_t length() const { return static_cast<uint32_t>(len_); }

  protected:
    // A pointer to room for `n` more bytes, with one kept for the final NUL;
    // throws TooLarge past 2^32-1 bytes.
    char *room(uint64_t n) {
        if (cap_ - len_ > n)
            return buf_ + len_;
        return grow(n);
    }

    // Ends what was written into room() at `w`.
    void done(char *w) { len_ = static_cast<size_t>(w - buf_); }

    void put(char c) {
        *room(1) = c;
        ++len_;
    }

    void put(const char *s, size_t n) {
        std::memcpy(room(n), s, n);
        len_ += n;
    }

    template <size_t N> void put(const char (&lit)[N]) { put(lit, N - 1); }

    // Room for a document measured at `total` bytes, and `total / slack` more
    // for what the measure leaves out (escapes, numbers), so it rarely grows.
    void reserve(uint64_t total, uint64_t slack) {
        if (total > MAX_OUT)
            throw TooLarge();
        uint64_t want = total + total / slack + 64;
        if (want > MAX_OUT + 1)
            want = MAX_OUT + 1;
        buf_ = out_.resize(want);
        cap_ = static_cast<size_t>(want);
    }

    // Ends the document with its NUL and gives back the room it did not use.
    void finish() {
        room(0);
        buf_[len_] = 0;
        out_.trim(len_ + 1, cap_);
    }

  private:
    [[gnu::noinline]] char *grow(uint64_t n) {
        if (n > MAX_OUT - len_)
            throw TooLarge();
        size_t need = len_ + static_cast<size_t>(n) + 1;
        size_t cap = cap_ ? cap_ * 2 : 4096;
        if (cap < need)
            cap = need;
        if (cap > MAX_OUT + 1)
            cap = MAX_OUT + 1;
        buf_ = out_.resize(cap);
        cap_ = cap;
        return buf_ + len_;
    }

    Output &out_;
    char *buf_ = nullptr; // out_'s memory
    size_t len_ = 0, cap_ = 0;
};

} // namespace orvex_store

#endif
