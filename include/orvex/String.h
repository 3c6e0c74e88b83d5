// Orvex::String - a text value.
#ifndef ORVEX_STRING_H
#define ORVEX_STRING_H

#include <string>

#include "orvex/Node.h"

namespace Orvex {

/**
 * A text value (store type ORVEX_STRING). Text given as `const char*` or
 * `std::string` reaches the store as NUL-terminated text, so it ends at its
 * first NUL byte; a null `const char*` is the empty text. A store string read
 * from a binary document may hold NUL bytes: GetValue returns them, and the
 * copy constructor, Clone (so insertion into a container) and copy
 * assignment keep every byte.
 *
 * Assigning to a wrapper that a container holds changes its store node in
 * place (same handle, same place in the container); assigning to a root
 * wrapper replaces its store node by a new one.
 *
 * Out of memory: every constructor but the adopting one, Clone, each
 * assignment, SetValue and GetValue throw std::bad_alloc, and a target keeps
 * its old text.
 *
 * Threads: as Node says: one tree is used by several threads at once only
 * through calls that change nothing.
 */
class ORVEX_CXX_API String : public Node {
  public:
    /// A fresh store node holding the empty text. A parent given is not recorded: the wrapper is a root,
    /// owning its store node.
    ORVEX_IMPLICIT String(Node *parent = nullptr);
    /// Wraps the existing store node `node` without a copy or type check; with
    /// a null parent the wrapper owns the handle and frees it when deleted.
    String(orvex_t node, Node *parent);
    /// A root wrapper with a new store node holding every byte of the
    /// source's text.
    String(const String &s);
    /// Self-assignment does nothing.
    String &operator=(const String &s);
    /// Replaces the text by `s` up to its first NUL.
    String &operator=(const std::string &s);
    /// Replaces the text by `s`; null is the empty text.
    String &operator=(const char *s);
    /// A root wrapper holding `s` up to its first NUL.
    ORVEX_IMPLICIT String(const std::string &s);
    /// A root wrapper holding `s`; null is the empty text.
    ORVEX_IMPLICIT String(const char *s);

    virtual ~String();

    /// A new root copy (every byte of the text), owned by the caller.
    virtual Node *Clone() const;

    /// Stores `s` up to its first NUL in the store node.
    void SetValue(const std::string &s);
    /// A copy of the whole stored text, NUL bytes included; empty if there is
    /// none.
    std::string GetValue() const;
};

} // namespace Orvex

#endif
