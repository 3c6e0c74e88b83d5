// Orvex::Key - a key value.
#ifndef ORVEX_KEY_H
#define ORVEX_KEY_H

#include <string>

#include "orvex/Node.h"

namespace Orvex {

/**
 * A store node of type ORVEX_KEY holding text. The text ends at its first
 * NUL byte, as for String.
 *
 * Assigning to a wrapper that a container holds changes its store node in
 * place (same handle, same place in the container); assigning to a root
 * wrapper replaces its store node by a deep copy of the source's.
 *
 * Out of memory: every constructor but the adopting one, Clone, assignment,
 * SetValue and GetValue throw std::bad_alloc, and a target keeps its old text.
 *
 * Threads: as Node says: one tree is used by several threads at once only
 * through calls that change nothing.
 */
class ORVEX_CXX_API Key : public Node {
  public:
    /// A fresh store node holding the empty key. A parent given is not recorded: the wrapper is a root,
    /// owning its store node.
    ORVEX_IMPLICIT Key(Node *parent = nullptr);
    /// Wraps the existing store node `node` without a copy or type check; with
    /// a null parent the wrapper owns the handle and frees it when deleted.
    Key(orvex_t node, Node *parent);
    /// A root wrapper with a new key node holding the source's text.
    Key(const Key &k);
    /// Self-assignment does nothing.
    Key &operator=(const Key &k);
    /// A root wrapper holding `s` up to its first NUL.
    ORVEX_IMPLICIT Key(const std::string &s);

    virtual ~Key();

    /// A new root copy, owned by the caller.
    virtual Node *Clone() const;

    /// Stores `s` up to its first NUL; the node is a key node afterwards.
    void SetValue(const std::string &s);
    /// A copy of the stored text; empty if there is none.
    std::string GetValue() const;
};

} // namespace Orvex

#endif
