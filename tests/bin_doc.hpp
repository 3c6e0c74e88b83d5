// Hand-assembled binary documents for the binary codec's suites.
#ifndef ORVEX_TESTS_BIN_DOC_HPP
#define ORVEX_TESTS_BIN_DOC_HPP

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace orvex_test {

inline std::string be(uint64_t v, unsigned w) {
    std::string s(w, '\0');
    for (unsigned i = w; i-- > 0; v >>= 8)
        s[i] = char(v & 0xFF);
    return s;
}

inline std::string bytes(std::initializer_list<int> b) {
    std::string s;
    for (int c : b)
        s += char(c);
    return s;
}

inline uint64_t be_at(const std::string &s, size_t at, unsigned w) {
    uint64_t v = 0;
    for (unsigned i = 0; i < w; ++i)
        v = (v << 8) | uint8_t(s[at + i]);
    return v;
}

// Magic, the objects in order, their offset table and the trailer.
inline std::string make_doc(const std::vector<std::string> &objs, unsigned ref_size = 1, uint64_t top = 0) {
    std::string s = "bplist00";
    std::vector<uint64_t> offs;
    for (const std::string &o : objs) {
        offs.push_back(s.size());
        s += o;
    }
    uint64_t table = s.size();
    unsigned off_size = table <= 0xFF ? 1 : table <= 0xFFFF ? 2 : 4;
    for (uint64_t o : offs)
        s += be(o, off_size);
    s += std::string(6, '\0');
    s += char(off_size);
    s += char(ref_size);
    s += be(objs.size(), 8) + be(top, 8) + be(table, 8);
    return s;
}

// Trailer field positions, counted from the end.
constexpr size_t OFF_SIZE_AT = 26, REF_SIZE_AT = 25, COUNT_AT = 24, TOP_AT = 16, TABLE_AT = 8;

} // namespace orvex_test

#endif
