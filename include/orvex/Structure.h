// Orvex::Structure - the base of the two containers, with the document
// readers and writers.
#ifndef ORVEX_STRUCTURE_H
#define ORVEX_STRUCTURE_H

#include <cstdint>
#include <string>
#include <vector>

#include "orvex/Node.h"

namespace Orvex {

/**
 * The abstract base of Array and Dictionary. A container owns the wrappers of
 * its children and deletes them; it takes values in only as copies.
 * Containers cannot be copied through this base.
 *
 * Threads: as Node says: one tree is used by several threads at once only
 * through calls that change nothing (the writers among them); each reader
 * makes a new tree, so readers may run on any threads at once.
 */
class ORVEX_CXX_API Structure : public Node {
  public:
    /// A root container frees its whole store tree once its children's
    /// wrappers are gone.
    virtual ~Structure();

    /// Takes the child `node` out of the container, in the store too, and
    /// deletes it. What a non-child does is up to the container class.
    virtual void Remove(Node *node) = 0;

    /// The number of direct children as the store counts them.
    uint32_t GetSize() const;
    /// The XML encoding of this container's store subtree (only this subtree
    /// when the container is nested); empty if the store cannot encode it
    /// (an encoding past 4 GiB). Throws std::bad_alloc when memory runs out.
    std::string ToXml() const;
    /// The binary encoding of this container's store subtree; empty if the
    /// store cannot encode it. Throws std::bad_alloc when memory runs out.
    std::vector<char> ToBin() const;
    /// The OpenStep text encoding of this container's store subtree, with
    /// the store's ORVEX_OSTEP_* flags (numbers, booleans and dates are
    /// text unless ORVEX_OSTEP_TYPED asks for the GNUstep typed forms).
    /// Empty if the store cannot encode it: a UID or null value, which the
    /// format has no form for, an unknown flag, or an encoding past 4 GiB.
    /// Throws std::bad_alloc when memory runs out.
    std::string ToOpenStep(uint32_t flags = 0) const;
    /// The JSON encoding of this container's store subtree: compact, or with
    /// `pretty` one entry per line, indented by two spaces. Dates, data, UIDs
    /// and NaN or infinite reals have no JSON form: the result is empty
    /// (orvex_json_unwritable on GetOrvex() names the node) unless `lossy`,
    /// which writes them, one way, as ISO 8601 text, base64 text,
    /// {"CF$UID": n} and null. Also empty past 4 GiB. Throws std::bad_alloc
    /// when memory runs out.
    std::string ToJson(bool pretty = false, bool lossy = false) const;
    /// ToJson(pretty, lossy) saying why when it gives nothing: `*why` (when
    /// `why` is not null) is emptied on success, and otherwise names the
    /// value that has no JSON form with its key path below this container,
    /// as orvex_path_of spells it ("the date at key path 'Items.3.Added' has
    /// no JSON form"; "the real NaN", "the real infinity", "the real
    /// -infinity", "the data", "the UID" likewise), or says the encoding
    /// would pass 4 GiB. Throws std::bad_alloc when memory runs out, `*why`
    /// then unspecified.
    std::string ToJson(bool pretty, bool lossy, std::string *why) const;

    /// The wrapper at `keypath` below this container (orvex.h, "Key paths":
    /// keys and positions separated by '.', At("a\\.b") the key "a.b"),
    /// owned by its container as every child is; null when the path names
    /// nothing, is malformed or holds a NUL byte, and for a null value, which
    /// has no wrapper. The store finds the node and the mirrors give its
    /// wrapper: as fast as the path is deep, and a read that changes nothing.
    /// Throws only std::bad_alloc.
    Node *At(const std::string &keypath);
    const Node *At(const std::string &keypath) const;

    /**
     * Document readers. Each returns a new root Array or Dictionary that the
     * caller deletes, or null: for input that does not parse, for a document
     * whose root is not a container, and for input longer than 2^32-1 bytes.
     * When memory runs out they throw std::bad_alloc and leak nothing.
     */
    /// XML text (its size, without a terminating NUL).
    static Structure *FromXml(const std::string &xml);
    /// OpenStep text, or a .strings file (UTF-8, or UTF-16 with its
    /// byte-order mark); its size, without a terminating NUL.
    static Structure *FromOpenStep(const std::string &text);
    /// JSON text (its size, without a terminating NUL); the root must be an
    /// object or an array.
    static Structure *FromJson(const std::string &json);
    /// A binary document held in a vector.
    static Structure *FromBin(const std::vector<char> &bin);
    /// A binary document of `size` bytes at `bin`.
    static Structure *FromBin(const char *bin, uint64_t size);
    /// Detect the encoding (XML, binary, JSON or OpenStep text, as
    /// orvex_from_memory does); the store writes the one found through `format`
    /// when it is not null (ORVEX_FORMAT_NONE for unknown or too long input).
    static Structure *FromMemory(const std::vector<char> &buf, orvex_format_t *format);
    static Structure *FromMemory(const char *buf, uint64_t size, orvex_format_t *format);

  protected:
    /// Marks the containers' constructors that take over a store node with an
    /// empty mirror, which Mirrors fills one level at a time.
    struct Unfilled {};

    /// Records the parent only; the derived constructor sets _node.
    ORVEX_IMPLICIT Structure(Node *parent);
    /// A fresh empty store container of `type`: a root, `parent` not recorded.
    Structure(orvex_type type, Node *parent);

    /// Makes this container the parent of `node` (a fresh copy it is taking
    /// in, not null); no store call.
    void UpdateNodeParent(Node *node);

  private:
    Structure(Structure &s);
    Structure &operator=(const Structure &s);
};

} // namespace Orvex

#endif
