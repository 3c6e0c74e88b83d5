#include "orvex/Value.h"

#include "orvex/Boolean.h"
#include "orvex/Data.h"
#include "orvex/Date.h"
#include "orvex/Integer.h"
#include "orvex/Real.h"
#include "orvex/String.h"

namespace Orvex {

Node *Value::Make() const {
    switch (_kind) {
    case Kind::Wrapper:
        return _node->Clone();
    case Kind::Boolean:
        return new Boolean(_bool);
    case Kind::Signed:
        return new Integer(_signed);
    case Kind::Unsigned:
        return new Integer(_unsigned);
    case Kind::Real:
        return new Real(_real);
    case Kind::Text:
        return new String(_text);
    case Kind::String:
        return new String(*_string);
    case Kind::Bytes:
        return new Data(*_bytes);
    case Kind::Time:
        return new Date(std::chrono::system_clock::time_point(std::chrono::system_clock::duration(_ticks)));
    }
    return nullptr; // not reached: every kind is named above
}

} // namespace Orvex
