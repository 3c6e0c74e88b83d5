#include "orvex/Dictionary.h"

#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <vector>

namespace Orvex {

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
typedef std::unique_ptr<char, FreeDeleter> CText;

struct TreeDeleter {
    void operator()(void* p) const { orvex_free(p); }
};

// Keys reach the store as NUL-terminated text; the mirror files the same
// text so the two always agree.
class KeyText {
public:
    explicit KeyText(const std::string& key)
    {
        if (key.find('\0') == std::string::npos) {
            _key = &key;
        } else {
            _cut.assign(key.c_str());
            _key = &_cut;
        }
    }
    const std::string& str() const { return *_key; }
    const char* c_str() const { return _key->c_str(); }

private:
    const std::string* _key;
    std::string _cut;
};

void destroy_entries(std::map<std::string, Node*>& map)
{
    for (auto& entry : map)
        delete entry.second;
    map.clear();
}

// Files a wrapper (null for a type without a class) for each entry of the
// store dictionary `node` under its key, with `_this` as the parent.
void dictionary_fill(Dictionary* _this, std::map<std::string, Node*>& map, orvex_t node)
{
    orvex_dict_iter it = nullptr;
    orvex_dict_new_iter(node, &it);
    std::unique_ptr<void, FreeDeleter> release(it);
    for (;;) {
        char* raw_key = nullptr;
        orvex_t subnode = nullptr;
        orvex_dict_next_item(node, it, &raw_key, &subnode);
        CText key(raw_key);
        if (!subnode)
            break;
        if (!key)
            continue;
        auto slot = map.emplace(key.get(), nullptr);
        // Two store keys that differ only after a NUL byte meet here: the
        // first keeps the entry, so no wrapper is left without an owner.
        if (slot.second)
            slot.first->second = Node::FromOrvex(subnode, _this);
    }
}

void fill_or_clean(Dictionary* _this, std::map<std::string, Node*>& map, orvex_t node)
{
    try {
        dictionary_fill(_this, map, node);
    } catch (...) {
        destroy_entries(map);
        throw;
    }
}

} // namespace

Dictionary::Dictionary(Node* parent) : Structure(ORVEX_DICT, parent) {}

Dictionary::Dictionary(orvex_t node, Node* parent) : Structure(parent)
{
    _node = node;
    fill_or_clean(this, _map, _node);
}

Dictionary::Dictionary(const Dictionary& d) : Structure(nullptr)
{
    _node = orvex_copy(d.GetOrvex());
    fill_or_clean(this, _map, _node);
}

Dictionary& Dictionary::operator=(const Dictionary& d)
{
    if (this == &d)
        return *this;
    // Copy first: `d` may lie inside what is about to be released.
    std::unique_ptr<void, TreeDeleter> copy(orvex_copy(d.GetOrvex()));
    if (!GetParent()) {
        destroy_entries(_map);
        orvex_free(_node);
        _node = copy.release();
    } else {
        // Held by a container: keep this store node where it is and swap its
        // entries, so the container's store tree and mirror stay as they were.
        // The keys are collected before anything changes, so running out of
        // memory there leaves the dictionary as it was.
        std::vector<CText> keys;
        orvex_dict_iter it = nullptr;
        orvex_dict_new_iter(_node, &it);
        std::unique_ptr<void, FreeDeleter> release(it);
        for (;;) {
            char* key = nullptr;
            orvex_t value = nullptr;
            orvex_dict_next_item(_node, it, &key, &value);
            CText owned(key);
            if (!value)
                break;
            if (owned)
                keys.push_back(std::move(owned));
        }
        destroy_entries(_map);
        for (const CText& key : keys)
            orvex_dict_remove_item(_node, key.get());

        orvex_dict_iter from = nullptr;
        orvex_dict_new_iter(copy.get(), &from);
        std::unique_ptr<void, FreeDeleter> release_from(from);
        for (;;) {
            char* key = nullptr;
            orvex_t value = nullptr;
            orvex_dict_next_item(copy.get(), from, &key, &value);
            CText owned(key);
            if (!value)
                break;
            if (owned)
                orvex_dict_set_item(_node, owned.get(), orvex_copy(value));
        }
    }
    fill_or_clean(this, _map, _node);
    return *this;
}

Dictionary::~Dictionary() { destroy_entries(_map); }

Node* Dictionary::Clone() const { return new Dictionary(*this); }

Node* Dictionary::operator[](const std::string& key) { return _map[KeyText(key).str()]; }

Dictionary::iterator Dictionary::Begin() { return _map.begin(); }

Dictionary::iterator Dictionary::begin() { return _map.begin(); }

Dictionary::iterator Dictionary::End() { return _map.end(); }

Dictionary::iterator Dictionary::end() { return _map.end(); }

Dictionary::const_iterator Dictionary::Begin() const { return _map.begin(); }

Dictionary::const_iterator Dictionary::begin() const { return _map.begin(); }

Dictionary::const_iterator Dictionary::End() const { return _map.end(); }

Dictionary::const_iterator Dictionary::end() const { return _map.end(); }

size_t Dictionary::size() const { return _map.size(); }

Dictionary::iterator Dictionary::Find(const std::string& key)
{
    return _map.find(KeyText(key).str());
}

Dictionary::const_iterator Dictionary::Find(const std::string& key) const
{
    return _map.find(KeyText(key).str());
}

Dictionary::iterator Dictionary::Set(const std::string& key, const Node* node)
{
    if (!node)
        return _map.end();
    const KeyText k(key);
    // Everything that can throw happens before the store changes: the mirror
    // slot, then the copy (taken before anything is replaced, so setting an
    // entry to its own wrapper works).
    iterator slot = _map.find(k.str());
    const bool added = slot == _map.end();
    if (added)
        slot = _map.emplace(k.str(), nullptr).first;
    Node* clone = nullptr;
    try {
        clone = node->Clone();
    } catch (...) {
        if (added)
            _map.erase(slot);
        throw;
    }
    if (!clone->GetOrvex()) {
        // Nothing for the store to hold; an entry would break the mirror.
        delete clone;
        if (added)
            _map.erase(slot);
        return _map.end();
    }
    UpdateNodeParent(clone);
    orvex_dict_set_item(_node, k.c_str(), clone->GetOrvex());
    delete slot->second; // its store node went with the replaced entry
    slot->second = clone;
    return slot;
}

Dictionary::iterator Dictionary::Set(const std::string& key, const Node& node)
{
    return Set(key, &node);
}

void Dictionary::Remove(Node* node)
{
    if (!node)
        return;
    char* raw_key = nullptr;
    orvex_dict_get_item_key(node->GetOrvex(), &raw_key);
    CText key(raw_key);
    iterator entry = key ? _map.find(key.get()) : _map.end();
    if (node->GetParent() != this || entry == _map.end() || entry->second != node)
        throw std::logic_error("Orvex::Dictionary::Remove: not a child of this dictionary");
    orvex_dict_remove_item(_node, key.get());
    _map.erase(entry);
    delete node;
}

void Dictionary::Remove(const std::string& key)
{
    const KeyText k(key);
    orvex_dict_remove_item(_node, k.c_str());
    iterator entry = _map.find(k.str());
    if (entry == _map.end())
        return;
    delete entry->second;
    _map.erase(entry);
}

std::string Dictionary::GetNodeKey(Node* node)
{
    for (const auto& entry : _map) {
        if (entry.second == node)
            return entry.first;
    }
    return std::string();
}

} // namespace Orvex
