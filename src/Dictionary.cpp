#include "orvex/Dictionary.h"

#include "Mirrors.hpp"
#include "StoreBuffer.hpp"

#include <algorithm>
#include <cstring>
#include <functional>
#include <new>
#include <stdexcept>
#include <tuple>
#include <utility>
#include <vector>

namespace Orvex {

namespace {

// Keys reach the store as NUL-terminated text; the mirror files the same
// text so the two always agree.
class KeyText {
  public:
    explicit KeyText(const std::string &key) {
        if (key.find('\0') == std::string::npos) {
            _key = &key;
        } else {
            _cut.assign(key.c_str());
            _key = &_cut;
        }
    }
    const std::string &str() const { return *_key; }
    const char *c_str() const { return _key->c_str(); }

  private:
    const std::string *_key;
    std::string _cut;
};

uint64_t key_prefix(const char *key, size_t length) {
    unsigned char b[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    if (length >= 8)
        std::memcpy(b, key, 8); // one load, where most keys go
    else
        for (size_t i = 0; i < length; ++i)
            b[i] = static_cast<unsigned char>(key[i]);
    return uint64_t(b[0]) << 56 | uint64_t(b[1]) << 48 | uint64_t(b[2]) << 40 | uint64_t(b[3]) << 32 |
           uint64_t(b[4]) << 24 | uint64_t(b[5]) << 16 | uint64_t(b[6]) << 8 | uint64_t(b[7]);
}

// The mirror's order: bytes compared unsigned, then length. Keys hold no NUL
// byte, so equal prefixes of a short key mean equal keys.
struct LentBefore {
    bool operator()(const LentEntry &a, const LentEntry &b) const {
        if (a.prefix != b.prefix)
            return a.prefix < b.prefix;
        const size_t n = a.length < b.length ? a.length : b.length;
        if (n > 8) {
            const int c = std::memcmp(a.key + 8, b.key + 8, n - 8);
            if (c != 0)
                return c < 0;
        }
        return a.length < b.length;
    }
};

} // namespace

void dictionary_fill(Dictionary *_this, std::map<std::string, Node *> &map, orvex_t node, FillWork &work) {
    const uint32_t size = orvex_dict_get_size(node);
    if (size == 0)
        return;
    std::vector<LentEntry> &entries = work.entries;
    entries.clear();
    entries.reserve(size);
    work.blocks.Expect(size);
    // By place: the store changes nothing while a level is filled, so no
    // iterator needs allocating for each dictionary.
    uint32_t pos = 0;
    for (;;) {
        const char *key = nullptr;
        uint64_t length = 0;
        orvex_t value = nullptr;
        orvex_dict_next_item_at(node, &pos, &key, &length, &value);
        if (!value)
            break;
        const size_t n = static_cast<size_t>(length);
        entries.push_back(LentEntry{key_prefix(key, n), key, n, value});
    }
    // Sorted, each entry goes in at the end of the mirror without a search.
    // Documents written by a sorting writer need no more than a check.
    if (!std::is_sorted(entries.begin(), entries.end(), LentBefore()))
        std::sort(entries.begin(), entries.end(), LentBefore());
    for (const LentEntry &e : entries) {
        const size_t before = map.size();
        auto slot = map.emplace_hint(map.end(), std::piecewise_construct,
                                     std::forward_as_tuple(e.key, e.length), std::forward_as_tuple(nullptr));
        if (map.size() != before) // store keys are unique: a guard, not a case
            Mirrors::Wrap(e.value, _this, slot->second, work);
    }
}

Dictionary::Dictionary(Node *parent) : Structure(ORVEX_DICT, parent) {}

Dictionary::Dictionary(std::initializer_list<std::pair<std::string, Value>> entries)
    : Structure(ORVEX_DICT, nullptr) {
    try {
        for (const auto &entry : entries)
            Set(entry.first, entry.second);
    } catch (...) {
        Mirrors::Clear(this); // ~Node then frees the store dictionary, and the children with it
        throw;
    }
}

Dictionary::Dictionary(orvex_t node, Node *parent) : Structure(parent) {
    _node = node;
    Mirrors::Fill(this);
}

Dictionary::Dictionary(orvex_t node, Node *parent, Unfilled) : Structure(parent) { _node = node; }

Dictionary::Dictionary(const Dictionary &d) : Structure(nullptr) { Mirrors::CopyFrom(*this, d.GetOrvex()); }

Dictionary &Dictionary::operator=(const Dictionary &d) {
    Mirrors::Assign(*this, d);
    return *this;
}

Dictionary::~Dictionary() { Mirrors::Clear(this); }

Node *Dictionary::Clone() const { return new Dictionary(*this); }

Node *Dictionary::operator[](const std::string &key) { return _map[KeyText(key).str()]; }

const Node *Dictionary::operator[](const std::string &key) const { return Get(key); }

Node *Dictionary::Get(const std::string &key) {
    const iterator entry = Find(key);
    return entry == _map.end() ? nullptr : entry->second;
}

const Node *Dictionary::Get(const std::string &key) const {
    const const_iterator entry = Find(key);
    return entry == _map.end() ? nullptr : entry->second;
}

Dictionary::iterator Dictionary::Begin() { return _map.begin(); }

Dictionary::iterator Dictionary::begin() { return _map.begin(); }

Dictionary::iterator Dictionary::End() { return _map.end(); }

Dictionary::iterator Dictionary::end() { return _map.end(); }

Dictionary::const_iterator Dictionary::Begin() const { return _map.begin(); }

Dictionary::const_iterator Dictionary::begin() const { return _map.begin(); }

Dictionary::const_iterator Dictionary::End() const { return _map.end(); }

Dictionary::const_iterator Dictionary::end() const { return _map.end(); }

size_t Dictionary::size() const { return _map.size(); }

Dictionary::iterator Dictionary::Find(const std::string &key) { return _map.find(KeyText(key).str()); }

Dictionary::const_iterator Dictionary::Find(const std::string &key) const {
    return _map.find(KeyText(key).str());
}

Dictionary::iterator Dictionary::Set(const std::string &key, const Node *node) {
    return node ? Set(key, Value(*node)) : _map.end();
}

Dictionary::iterator Dictionary::Set(const std::string &key, const Value &value) {
    const KeyText k(key);
    // Everything that can throw happens before the store changes: the mirror
    // slot, then the copy (taken before anything is replaced, so setting an
    // entry to its own wrapper works).
    iterator slot = _map.find(k.str());
    const bool added = slot == _map.end();
    if (added)
        slot = _map.emplace(k.str(), nullptr).first;
    Node *clone = nullptr;
    try {
        clone = value.Make();
    } catch (...) {
        if (added)
            _map.erase(slot);
        throw;
    }
    orvex_dict_set_item(_node, k.c_str(), clone->GetOrvex());
    // The store refuses an attach only when it cannot make room for it.
    if (orvex_get_parent(clone->GetOrvex()) != _node) {
        delete clone;
        if (added)
            _map.erase(slot);
        throw std::bad_alloc();
    }
    UpdateNodeParent(clone);
    delete slot->second; // its store node went with the replaced entry
    slot->second = clone;
    return slot;
}

Dictionary::iterator Dictionary::Set(const std::string &key, const Node &node) { return Set(key, &node); }

void Dictionary::Remove(Node *node) {
    if (!node)
        return;
    char *raw_key = nullptr;
    orvex_dict_get_item_key(node->GetOrvex(), &raw_key);
    const StoreText key(raw_key);
    if (!key && node->GetParent() == this)
        throw std::bad_alloc(); // the store could not copy the key
    iterator entry = key ? _map.find(key.get()) : _map.end();
    if (node->GetParent() != this || entry == _map.end() || entry->second != node)
        throw std::logic_error("Orvex::Dictionary::Remove: not a child of this dictionary");
    orvex_dict_remove_item(_node, key.get());
    _map.erase(entry);
    delete node;
}

void Dictionary::Remove(const std::string &key) {
    const KeyText k(key);
    orvex_dict_remove_item(_node, k.c_str());
    iterator entry = _map.find(k.str());
    if (entry == _map.end())
        return;
    delete entry->second;
    _map.erase(entry);
}

Dictionary::ordered_entries Dictionary::InOrder() const {
    ordered_entries out;
    const uint32_t size = orvex_dict_get_size(_node);
    if (size == 0)
        return out;
    // Each wrapper is found by its store node, so no key is copied for the
    // lookup; an item without a class (ORVEX_NULL) has none and is found by
    // its key.
    std::vector<std::pair<orvex_t, const_iterator>> by_node;
    by_node.reserve(_map.size());
    for (const_iterator entry = _map.begin(); entry != _map.end(); ++entry)
        if (entry->second)
            by_node.emplace_back(entry->second->GetOrvex(), entry);
    const auto before = [](const std::pair<orvex_t, const_iterator> &a, orvex_t b) {
        return std::less<orvex_t>()(a.first, b);
    };
    std::sort(by_node.begin(), by_node.end(),
              [](const std::pair<orvex_t, const_iterator> &a, const std::pair<orvex_t, const_iterator> &b) {
                  return std::less<orvex_t>()(a.first, b.first);
              });
    out.reserve(size);
    // A walk by place: the dictionary does not change while it is listed.
    for (uint32_t pos = 0;;) {
        const char *key = nullptr;
        uint64_t length = 0;
        orvex_t value = nullptr;
        orvex_dict_next_item_at(_node, &pos, &key, &length, &value);
        if (!value)
            break;
        const auto found = std::lower_bound(by_node.begin(), by_node.end(), value, before);
        const_iterator entry = found != by_node.end() && found->first == value
                                   ? found->second
                                   : _map.find(std::string(key, static_cast<size_t>(length)));
        if (entry != _map.end()) // the mirror holds every store entry: a guard, not a case
            out.emplace_back(entry->first, entry->second);
    }
    return out;
}

std::string Dictionary::GetNodeKey(Node *node) {
    for (const auto &entry : _map) {
        if (entry.second == node)
            return entry.first;
    }
    return std::string();
}

} // namespace Orvex
