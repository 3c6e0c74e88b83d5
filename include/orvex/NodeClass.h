// Orvex::NodeClass - which store types a wrapper class stands for, so that
// Node::As can ask the store node's type rather than the wrapper's class.
#ifndef ORVEX_NODECLASS_H
#define ORVEX_NODECLASS_H

#include "orvex/orvex.h"

namespace Orvex {

class Node;
class Structure;
class Array;
class Dictionary;
class Boolean;
class Data;
class Date;
class Integer;
class Key;
class Real;
class String;
class Uid;

/**
 * NodeClass<T>::Holds(type) is true when a wrapper of store type `type` is a
 * T. The library wraps each store type in one class (Node::FromOrvex, the
 * containers), so for its own classes the type decides; ByType is false for
 * any other class (one derived by a program), which Node::As then asks of
 * the wrapper itself with dynamic_cast.
 */
template <class T> struct NodeClass {
    static constexpr bool ByType = false;
    static constexpr bool Holds(orvex_type) { return false; }
};

template <> struct NodeClass<Node> {
    static constexpr bool ByType = true;
    static constexpr bool Holds(orvex_type) { return true; }
};

template <> struct NodeClass<Structure> {
    static constexpr bool ByType = true;
    static constexpr bool Holds(orvex_type t) { return t == ORVEX_ARRAY || t == ORVEX_DICT; }
};

#define ORVEX_NODE_CLASS(Class, type)                                                                        \
    template <> struct NodeClass<Class> {                                                                    \
        static constexpr bool ByType = true;                                                                 \
        static constexpr bool Holds(orvex_type t) { return t == (type); }                                    \
    }

ORVEX_NODE_CLASS(Array, ORVEX_ARRAY);
ORVEX_NODE_CLASS(Dictionary, ORVEX_DICT);
ORVEX_NODE_CLASS(Boolean, ORVEX_BOOLEAN);
ORVEX_NODE_CLASS(Data, ORVEX_DATA);
ORVEX_NODE_CLASS(Date, ORVEX_DATE);
ORVEX_NODE_CLASS(Integer, ORVEX_INT);
ORVEX_NODE_CLASS(Key, ORVEX_KEY);
ORVEX_NODE_CLASS(Real, ORVEX_REAL);
ORVEX_NODE_CLASS(String, ORVEX_STRING);
ORVEX_NODE_CLASS(Uid, ORVEX_UID);

#undef ORVEX_NODE_CLASS

} // namespace Orvex

#endif
