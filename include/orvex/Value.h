// Orvex::Value - a value on its way into a container: what Dictionary::Set,
// Array::Append and Insert, and the containers' initializer lists take.
#ifndef ORVEX_VALUE_H
#define ORVEX_VALUE_H

#include <chrono>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "orvex/Node.h"

namespace Orvex {

/**
 * A value written as C++ (`5`, `"text"`, `true`, a wrapper) for a container
 * to file as a new wrapper:
 *
 *   bool                                   Boolean
 *   a signed integer type                  Integer, stored signed
 *   an unsigned integer type               Integer, stored unsigned
 *   float, double, long double             Real (as a double)
 *   const char * (null: the empty text)    String, up to the first NUL
 *   std::string                            String, up to the first NUL
 *   std::vector<char>                      Data, every byte
 *   a std::chrono::system_clock time_point Date (as Date::SetTime)
 *   any wrapper (const Node &)             its Clone, the exact value
 *
 * Nothing else converts: no pointer but text (so neither nullptr nor a
 * Node * becomes a Value, and a pointer is never taken for a bool), no
 * braced list (`Array{1, {2, 3}}` does not compile: name the class,
 * `Array{1, Array{2, 3}}`), and no character type (char, wchar_t, char8_t,
 * char16_t, char32_t: a letter or a number?); integers wider than 64 bits
 * neither.
 *
 * A Value refers to what it was made from, copying nothing: it is meant as
 * an argument, made and used within one expression, and must not outlive
 * its source. Its conversions stay implicit under
 * ORVEX_NO_IMPLICIT_CONVERSIONS: they make no wrapper until a container
 * files the value, so they cannot stand for a wrapper by mistake.
 *
 * Threads: a Value has no state beyond what it refers to; Make reads only.
 */
class ORVEX_CXX_API Value {
  public:
    /// The integer types a Value (and Integer, Real, Array::Remove) takes
    /// as a number.
    template <class T> static constexpr bool IsInteger() {
        return std::is_integral<T>::value && sizeof(T) <= sizeof(uint64_t) && !std::is_same<T, bool>::value &&
               !std::is_same<T, char>::value && !std::is_same<T, wchar_t>::value &&
               !std::is_same<T, char16_t>::value && !std::is_same<T, char32_t>::value
#ifdef __cpp_char8_t
               && !std::is_same<T, char8_t>::value
#endif
            ;
    }
    /// What Set, Append and Insert take by exact match: bool and floating
    /// point. Integers reach them through the conversion to Value, which a
    /// literal 0 (or NULL) never takes: it is the null `Node *`, which files
    /// nothing, as it always was.
    template <class T> static constexpr bool IsExactArgument() {
        return std::is_same<T, bool>::value || std::is_floating_point<T>::value;
    }
    /// The arithmetic types a Value takes: bool, IsInteger, floating point.
    template <class T> static constexpr bool IsScalar() {
        return std::is_same<T, bool>::value || IsInteger<T>() || std::is_floating_point<T>::value;
    }

    Value(const Node &node) : _kind(Kind::Wrapper) { _node = &node; }

    template <class T, typename std::enable_if<IsScalar<T>(), int>::type = 0> Value(T value) {
        if constexpr (std::is_same<T, bool>::value) {
            _kind = Kind::Boolean;
            _bool = value;
        } else if constexpr (std::is_floating_point<T>::value) {
            _kind = Kind::Real;
            _real = static_cast<double>(value);
        } else if constexpr (std::is_signed<T>::value) {
            _kind = Kind::Signed;
            _signed = value;
        } else {
            _kind = Kind::Unsigned;
            _unsigned = value;
        }
    }

    /// Text: `const char *` or `char *` only, so that nullptr stays a pointer.
    template <class C,
              typename std::enable_if<std::is_same<C, const char *>::value || std::is_same<C, char *>::value,
                                      int>::type = 0>
    Value(C text) : _kind(Kind::Text) {
        _text = text;
    }
    /// Exactly std::string (a template: a braced list does not become one).
    template <class S, typename std::enable_if<std::is_same<S, std::string>::value, int>::type = 0>
    Value(const S &text) : _kind(Kind::String) {
        _string = &text;
    }
    /// Exactly std::vector<char>, for the same reason.
    template <class V, typename std::enable_if<std::is_same<V, std::vector<char>>::value, int>::type = 0>
    Value(const V &bytes) : _kind(Kind::Bytes) {
        _bytes = &bytes;
    }
    /// An instant of the system clock in any unit, rounded down to the
    /// clock's own.
    template <class Duration> Value(std::chrono::time_point<std::chrono::system_clock, Duration> time)
        : _kind(Kind::Time) {
        _ticks = std::chrono::floor<std::chrono::system_clock::duration>(time).time_since_epoch().count();
    }

    /// A new root wrapper holding the value, owned by the caller. Throws
    /// std::bad_alloc when memory runs out, leaving nothing behind.
    Node *Make() const;

  private:
    enum class Kind : unsigned char { Wrapper, Boolean, Signed, Unsigned, Real, Text, String, Bytes, Time };

    Kind _kind;
    union {
        const Node *_node;
        bool _bool;
        int64_t _signed;
        uint64_t _unsigned;
        double _real;
        const char *_text;
        const std::string *_string;
        const std::vector<char> *_bytes;
        std::chrono::system_clock::rep _ticks;
    };
};

} // namespace Orvex

#endif
