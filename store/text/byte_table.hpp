// A value for each of the 256 bytes, computed at compile time: the classes
// and digit values the readers and writers look up.
#ifndef ORVEX_STORE_BYTE_TABLE_HPP
#define ORVEX_STORE_BYTE_TABLE_HPP

namespace orvex_store {

template <class T> struct ByteTable {
    T v[256];
    template <class F> constexpr explicit ByteTable(F of) : v() {
        for (int c = 0; c < 256; ++c)
            v[c] = of(c);
    }
};

} // namespace orvex_store

#endif
