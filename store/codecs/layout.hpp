// Where each value of a text document stands in its bytes: what the editor
// (codecs/editor.cpp) needs to change one value and keep every other byte.
//
// The XML, JSON and OpenStep readers are templates on a recorder. The plain
// readers use NoLayout, whose calls are empty and vanish when inlined, so
// reading costs what it did; the editor reads with LayoutRecorder, which
// fills a Layout. Offsets count bytes of the text the reader parsed: the
// input as given, or its UTF-8 form when it was transcoded (Layout::text).
#ifndef ORVEX_STORE_LAYOUT_HPP
#define ORVEX_STORE_LAYOUT_HPP

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace orvex_store {

constexpr uint32_t NO_ITEM = UINT32_MAX;

// One value of the document, in document order (a container before its
// children).
struct LayoutItem {
    uint32_t parent = NO_ITEM;
    bool container = false, dict = false;
    bool bracketless = false;            // the root dictionary of a .strings list
    bool short_entry = false;            // OpenStep `key;`: the key's text is the value
    bool has_sep = false;                // a ',' or ';' follows the value
    uint64_t key_begin = 0, key_end = 0; // a dictionary entry's key, markup or quotes included
    uint64_t begin = 0, end = 0;         // the value, a container's brackets or tags included
    uint64_t inner = 0, close = 0;       // a container: past its opening, at its closing
    uint64_t sep = 0;                    // the separator's offset, when has_sep
    std::string key;                     // the key as read (up to its first NUL)
};

// How the document was read beside its items.
struct Layout {
    std::vector<LayoutItem> items;
    std::string text;        // the UTF-8 the reader parsed, when it was not the input
    bool transcoded = false; // offsets refer to `text`
    uint8_t charset = 0;     // XML: 1 Latin-1, 2 US-ASCII declared; 0 otherwise
};

// The recorder of the plain readers: records nothing.
struct NoLayout {
    void key(uint64_t, uint64_t, const char *, size_t) {}
    void leaf(uint64_t, uint64_t) {}
    void short_entry(uint64_t) {}
    void open(uint64_t, uint64_t, bool, bool = false) {}
    void close(uint64_t, uint64_t) {}
    void separator(uint64_t) {}
};

class LayoutRecorder {
  public:
    explicit LayoutRecorder(Layout *l) : l_(l) {}

    // A dictionary key; its value comes next.
    void key(uint64_t b, uint64_t e, const char *k, size_t n) {
        if (const void *z = std::memchr(k, 0, n))
            n = static_cast<size_t>(static_cast<const char *>(z) - k);
        key_.assign(k, n);
        key_b_ = b;
        key_e_ = e;
    }
    void leaf(uint64_t b, uint64_t e) {
        LayoutItem &it = add(b);
        it.end = e;
    }
    // OpenStep `key;` ends at the ';' at `sep`: the value is the key's text.
    void short_entry(uint64_t sep) {
        LayoutItem &it = add(key_b_);
        it.end = key_e_;
        it.short_entry = true;
        it.has_sep = true;
        it.sep = sep;
    }
    void open(uint64_t b, uint64_t inner, bool dict, bool bracketless = false) {
        LayoutItem &it = add(b);
        it.container = true;
        it.dict = dict;
        it.bracketless = bracketless;
        it.inner = inner;
        open_.push_back({static_cast<uint32_t>(l_->items.size() - 1), NO_ITEM});
    }
    void close(uint64_t at, uint64_t e) {
        LayoutItem &it = l_->items[open_.back().item];
        it.close = at;
        it.end = e;
        open_.pop_back();
    }
    // A ',' or ';' after the last value of the open container.
    void separator(uint64_t at) {
        if (open_.empty() || open_.back().last == NO_ITEM)
            return;
        LayoutItem &it = l_->items[open_.back().last];
        it.has_sep = true;
        it.sep = at;
    }

  private:
    struct Open {
        uint32_t item, last;
    };
    Layout *l_;
    std::vector<Open> open_;
    std::string key_;
    uint64_t key_b_ = 0, key_e_ = 0;

    LayoutItem &add(uint64_t b) {
        l_->items.emplace_back();
        LayoutItem &it = l_->items.back();
        it.begin = b;
        if (!open_.empty()) {
            it.parent = open_.back().item;
            if (l_->items[it.parent].dict) {
                it.key.swap(key_);
                it.key_begin = key_b_;
                it.key_end = key_e_;
            }
            open_.back().last = static_cast<uint32_t>(l_->items.size() - 1);
        }
        return it;
    }
};

} // namespace orvex_store

#endif
