// Orvex::Edit - edits applied to a document's bytes, keeping the rest.
#ifndef ORVEX_EDIT_H
#define ORVEX_EDIT_H

#include <string>
#include <vector>

#include "orvex/Export.h"
#include "orvex/Node.h"
#include "orvex/orvex.h"

namespace Orvex {

/**
 * A batch of edits for orvex_edit (orvex.h, "Editing documents in place"
 * says what is kept and what is refused): Set, Insert and Remove queue an
 * edit at a key path, Apply runs the batch on a document from one read to
 * one output. The values are copied when queued: changing or deleting a
 * node afterwards does not change the batch.
 *
 * Threads: Apply changes nothing, so one batch may be applied by several
 * threads at once; queuing must not run beside any other call on the batch.
 */
class ORVEX_CXX_API Edit {
  public:
    Edit() = default;
    ~Edit();
    Edit(const Edit &) = delete;
    Edit &operator=(const Edit &) = delete;

    /// Queue an edit. Throw std::bad_alloc when memory runs out, the batch
    /// then as it was.
    Edit &Set(const std::string &path, const Node &value);
    Edit &Insert(const std::string &path, const Node &value);
    Edit &Remove(const std::string &path);

    /// The number of edits queued.
    size_t GetSize() const;

    /// The batch applied to `document`, read as `format` (ORVEX_FORMAT_NONE
    /// detects it): true with the new bytes in `out`; false when an edit is
    /// refused or the document does not read, `out` then empty and `result`
    /// (when not null) saying which edit and why. Throws std::bad_alloc when
    /// memory runs out.
    bool Apply(const std::string &document, std::string &out, orvex_format_t format = ORVEX_FORMAT_NONE,
               orvex_edit_result *result = nullptr) const;

  private:
    Edit &Queue(orvex_edit_kind kind, const std::string &path, const Node *value);

    std::vector<std::string> _paths;
    std::vector<orvex_edit_op> _ops; // each value a store copy the batch owns
};

} // namespace Orvex

#endif
