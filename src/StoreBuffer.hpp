// Owning what the store hands out as malloc'd copies (iterators, key text,
// encoded documents): released with free() on every path, exceptions included.
#ifndef ORVEX_SRC_STOREBUFFER_HPP
#define ORVEX_SRC_STOREBUFFER_HPP

#include <cstdlib>
#include <memory>

namespace Orvex {

struct StoreFree {
    void operator()(void *p) const noexcept { std::free(p); }
};

template <class T> using StoreBuffer = std::unique_ptr<T, StoreFree>;

// Key text and encoded documents.
typedef StoreBuffer<char> StoreText;

// Iterator state: opaque to the object model.
typedef StoreBuffer<void> StoreIter;

} // namespace Orvex

#endif
