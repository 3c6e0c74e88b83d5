#include "orvex/Edit.h"

#include <cstdlib>
#include <memory>
#include <new>

namespace Orvex {

Edit::~Edit() {
    for (const orvex_edit_op &op : _ops)
        orvex_free(op.value);
}

Edit &Edit::Set(const std::string &path, const Node &value) { return Queue(ORVEX_EDIT_SET, path, &value); }

Edit &Edit::Insert(const std::string &path, const Node &value) {
    return Queue(ORVEX_EDIT_INSERT, path, &value);
}

Edit &Edit::Remove(const std::string &path) { return Queue(ORVEX_EDIT_REMOVE, path, nullptr); }

size_t Edit::GetSize() const { return _ops.size(); }

Edit &Edit::Queue(orvex_edit_kind kind, const std::string &path, const Node *value) {
    orvex_t copy = nullptr;
    if (value && !(copy = orvex_copy(value->GetOrvex())))
        throw std::bad_alloc();
    try {
        _ops.reserve(_ops.size() + 1);
        _paths.push_back(path);
    } catch (...) {
        orvex_free(copy);
        throw;
    }
    _ops.push_back({kind, nullptr, copy});
    // The strings may have moved: point every op at its own again.
    for (size_t i = 0; i < _ops.size(); ++i)
        _ops[i].path = _paths[i].c_str();
    return *this;
}

bool Edit::Apply(const std::string &document, std::string &out, orvex_format_t format,
                 orvex_edit_result *result) const {
    out.clear();
    char *bytes = nullptr;
    uint64_t length = 0;
    orvex_edit_result r;
    const orvex_err_t e = orvex_edit(document.data(), document.size(), format, _ops.data(),
                                     static_cast<uint32_t>(_ops.size()), &bytes, &length, &r);
    if (result)
        *result = r;
    if (e == ORVEX_ERR_NO_MEM)
        throw std::bad_alloc();
    if (e != ORVEX_ERR_SUCCESS)
        return false;
    std::unique_ptr<char, decltype(&std::free)> owned(bytes, &std::free);
    out.assign(bytes, static_cast<size_t>(length));
    return true;
}

} // namespace Orvex
