// The editor behind orvex_edit. A text document is read once with its layout
// (codecs/layout.hpp); the ops change a model of the document's containers
// that points into the layout, and new values stay store trees until the
// end; the output is the original text with patches at the places edited:
// values replaced, entries' lines deleted, new entries' lines inserted. New
// text comes from the format's own writer, given the value nested as deep
// as it will stand (the XML writer's data lines depend on depth), and is
// re-indented with the document's indent unit and line ending.
#include "codecs/editor.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "codecs/codecs.hpp"
#include "codecs/layout.hpp"
#include "text/utf16.hpp"
#include "text/utf8.hpp"

namespace orvex_store {

namespace {

struct Refused {
    orvex_err_t code;
    orvex_edit_refusal why;
};

[[noreturn]] void refuse(orvex_err_t code, orvex_edit_refusal why) { throw Refused{code, why}; }

struct TreeOwner {
    Node *n = nullptr;
    explicit TreeOwner(Node *node = nullptr) : n(node) {}
    TreeOwner(const TreeOwner &) = delete;
    TreeOwner &operator=(const TreeOwner &) = delete;
    ~TreeOwner() { node_free_tree(n); }
};

Node *copy_of(const Node *n) {
    Node *c = node_copy_tree(n);
    if (!c)
        throw std::bad_alloc();
    return c;
}

// The deepest nesting of containers under `root`, and whether a node of
// one of the types in `mask` (bits 1 << type) is there. Iterative.
size_t scan_tree(const Node *root, unsigned mask, bool *found) {
    size_t deepest = 0;
    std::vector<std::pair<const Node *, size_t>> todo{{root, 1}};
    while (!todo.empty()) {
        auto [n, depth] = todo.back();
        todo.pop_back();
        if (mask & (1u << n->type))
            *found = true;
        if (!is_container(n->type))
            continue;
        deepest = std::max(deepest, depth);
        if (n->type == ORVEX_DICT && !n->v.dict)
            continue;
        uint32_t i = 0;
        const DictEntry *e = nullptr;
        while (const Node *c = next_child(n, &i, &e))
            todo.emplace_back(c, depth + 1);
    }
    return deepest;
}

// The kind of `op` as the integer a C caller may have put there, any value:
// read as the enum, one outside its range would be undefined.
int kind_of(const orvex_edit_op &op) {
    std::underlying_type_t<orvex_edit_kind> k;
    std::memcpy(&k, &op.kind, sizeof k);
    return static_cast<int>(k);
}

// A decimal position as key paths write one (orvex_path_position).
bool position_of(const std::string &part, uint32_t *pos) {
    return orvex_path_position(part.data(), part.size(), pos) != 0;
}

// The parts of `op`'s key path, once the op is known to be one that can be
// placed in a document of `format` (refused otherwise).
std::vector<std::string> checked_parts(const orvex_edit_op &op, int kind, orvex_format_t format) {
    if (kind != ORVEX_EDIT_SET && kind != ORVEX_EDIT_INSERT && kind != ORVEX_EDIT_REMOVE)
        refuse(ORVEX_ERR_INVALID_ARG, ORVEX_EDIT_BAD_ARGUMENT);
    if (!op.path || (kind != ORVEX_EDIT_REMOVE && !op.value))
        refuse(ORVEX_ERR_INVALID_ARG, ORVEX_EDIT_BAD_ARGUMENT);
    std::vector<std::string> parts;
    const uint64_t total = std::strlen(op.path) + 1;
    for (uint64_t at = 0; at < total;) {
        // Each part from its own start, so that splitting stays linear.
        char *raw = nullptr;
        uint64_t length = 0, next = 0;
        const orvex_err_t status = orvex_path_part(op.path + at, 0, &raw, &length, &next);
        if (status == ORVEX_ERR_NO_MEM)
            throw std::bad_alloc();
        if (status != ORVEX_ERR_SUCCESS)
            refuse(ORVEX_ERR_INVALID_ARG, ORVEX_EDIT_BAD_PATH);
        const std::unique_ptr<char, void (*)(void *)> owned(raw, std::free);
        parts.emplace_back(raw, length);
        at += next;
    }
    if (kind == ORVEX_EDIT_REMOVE)
        return parts;
    const Node *value = as_node(op.value);
    bool unwritable = false;
    if (format == ORVEX_FORMAT_OSTEP)
        scan_tree(value, 1u << ORVEX_UID | 1u << ORVEX_NULL, &unwritable);
    else if (format == ORVEX_FORMAT_JSON)
        unwritable = json_unwritable(value) != nullptr;
    if (unwritable)
        refuse(ORVEX_ERR_FORMAT, ORVEX_EDIT_NO_FORM);
    bool none = false;
    if (parts.size() + scan_tree(value, 0, &none) > ORVEX_MAX_DEPTH)
        refuse(ORVEX_ERR_LIMIT, ORVEX_EDIT_TOO_DEEP);
    return parts;
}

// A store tree's child at `part`, or null.
Node *gen_child(Node *n, const std::string &part) {
    if (n->type == ORVEX_DICT) {
        const uint32_t at = dict_find(n, part.data(), part.size());
        return at == NO_INDEX ? nullptr : n->v.dict->entries[at].val;
    }
    uint32_t pos;
    if (n->type != ORVEX_ARRAY || !position_of(part, &pos) || pos >= n->v.arr.size)
        return nullptr;
    return n->v.arr.items[pos];
}

// The op `kind` at `part` of the store container `n`, as orvex_edit
// defines it: new values and binary documents are edited as trees.
void gen_apply(Node *n, int kind, const std::string &part, const Node *value) {
    if (n->type == ORVEX_DICT) {
        const bool present = dict_find(n, part.data(), part.size()) != NO_INDEX;
        if (kind == ORVEX_EDIT_REMOVE) {
            if (!present)
                refuse(ORVEX_ERR_NOT_FOUND, ORVEX_EDIT_ABSENT);
            node_free_tree(dict_take(n, part.data(), part.size()));
            return;
        }
        if (kind == ORVEX_EDIT_INSERT && present)
            refuse(ORVEX_ERR_INVALID_ARG, ORVEX_EDIT_EXISTS);
        Node *c = copy_of(value);
        if (!dict_put(n, part.data(), part.size(), c))
            not_attached(c);
        return;
    }
    uint32_t pos;
    const uint32_t size = n->v.arr.size;
    if (!position_of(part, &pos) || pos > size || (pos == size && kind != ORVEX_EDIT_INSERT))
        refuse(ORVEX_ERR_NOT_FOUND, ORVEX_EDIT_ABSENT);
    if (kind == ORVEX_EDIT_REMOVE) {
        node_free_tree(array_take(n, pos));
        return;
    }
    Node *c = copy_of(value);
    if (kind == ORVEX_EDIT_SET) {
        // Room first, so that running out of memory changes nothing.
        if (!array_reserve(n, 1))
            not_attached(c);
        node_free_tree(array_take(n, pos));
    }
    if (!array_insert(n, c, pos))
        not_attached(c);
}

// ------------------------------------------------------------ the model

struct Cont;

// A value of the document: an original one (its layout item and tree node),
// a new one (gen), or an original one replaced (both).
struct Entry {
    std::string key;
    uint32_t item = NO_ITEM;
    const Node *orig = nullptr;
    std::vector<uint32_t> shadowed; // earlier entries of a repeated key
    Node *gen = nullptr;
    std::unique_ptr<Cont> cont; // an original container opened by a path
    bool removed = false;

    Entry() = default;
    Entry(Entry &&o) noexcept
        : key(std::move(o.key)), item(o.item), orig(o.orig), shadowed(std::move(o.shadowed)), gen(o.gen),
          cont(std::move(o.cont)), removed(o.removed) {
        o.gen = nullptr;
    }
    Entry &operator=(Entry &&o) noexcept {
        std::swap(key, o.key);
        std::swap(item, o.item);
        std::swap(orig, o.orig);
        std::swap(shadowed, o.shadowed);
        std::swap(gen, o.gen);
        std::swap(cont, o.cont);
        std::swap(removed, o.removed);
        return *this;
    }
    ~Entry() { node_free_tree(gen); }

    const Node *value() const { return gen ? gen : orig; }
};

struct Cont {
    std::vector<Entry> kids;
    std::unordered_map<std::string, size_t> index; // a dictionary's latest entry per key
};

class Editor {
  public:
    Editor(const Layout &layout, Node *root, orvex_format_t format, std::string_view text)
        : L_(layout), format_(format), text_(text) {
        const size_t n = L_.items.size();
        first_.assign(n, NO_ITEM);
        next_.assign(n, NO_ITEM);
        prev_.assign(n, NO_ITEM);
        std::vector<uint32_t> &last = last_;
        last.assign(n, NO_ITEM);
        for (uint32_t i = 0; i < n; ++i) {
            const uint32_t p = L_.items[i].parent;
            if (p == NO_ITEM)
                continue;
            (last[p] == NO_ITEM ? first_[p] : next_[last[p]]) = i;
            prev_[i] = last[p];
            last[p] = i;
        }
        root_.item = 0;
        root_.orig = root;
        bool found = false;
        typed_ = format == ORVEX_FORMAT_OSTEP &&
                 (scan_tree(root, 1u << ORVEX_INT | 1u << ORVEX_REAL | 1u << ORVEX_BOOLEAN | 1u << ORVEX_DATE,
                            &found),
                  found);
        index_lines();
        detect_style();
    }

    void apply(const orvex_edit_op &op) {
        const int kind = kind_of(op);
        const std::vector<std::string> parts = checked_parts(op, kind, format_);
        const Node *value = as_node(op.value);
        // Down to the container of the last part.
        Entry *at = &root_;
        Node *gen = nullptr;
        for (size_t i = 0; i + 1 < parts.size(); ++i) {
            if (!gen && at->gen)
                gen = at->gen;
            if (gen) {
                gen = gen_child(gen, parts[i]);
                if (!gen || !is_container(gen->type))
                    refuse(ORVEX_ERR_NOT_FOUND, ORVEX_EDIT_NO_CONTAINER);
                continue;
            }
            Entry *kid = orig_child(*at, parts[i]);
            if (!kid || !is_container(kid->value()->type))
                refuse(ORVEX_ERR_NOT_FOUND, ORVEX_EDIT_NO_CONTAINER);
            at = kid;
        }
        if (!gen && at->gen)
            gen = at->gen;
        if (!gen && !is_container(at->orig->type))
            refuse(ORVEX_ERR_NOT_FOUND, ORVEX_EDIT_NO_CONTAINER);
        // A container the document holds empty, with nothing but blanks
        // inside, is written anew; one with comments gets its entries
        // before its closing.
        if (!gen && kind != ORVEX_EDIT_REMOVE && first_[at->item] == NO_ITEM &&
            only_blanks(L_.items[at->item])) {
            at->gen = copy_of(at->orig);
            at->cont.reset();
            gen = at->gen;
        }
        if (gen)
            gen_apply(gen, kind, parts.back(), value);
        else
            orig_apply(*at, kind, parts.back(), value);
    }

    // The edited text, in the UTF-8 (or single-byte) form the layout has.
    std::string compose() {
        std::vector<std::pair<Entry *, uint32_t>> todo{{&root_, 0}};
        while (!todo.empty()) {
            auto [e, depth] = todo.back();
            todo.pop_back();
            if (e->gen) {
                replace_value(*e, depth, true);
                continue;
            }
            if (e->cont)
                container(*e, depth, todo);
        }
        std::stable_sort(patches_.begin(), patches_.end(), [](const Patch &a, const Patch &b) {
            if (a.at != b.at)
                return a.at < b.at;
            return (a.end == a.at) > (b.end == b.at); // insertions before what starts there
        });
        std::string out;
        out.reserve(text_.size() + 64);
        uint64_t cursor = 0;
        for (const Patch &p : patches_) {
            if (p.at < cursor) { // deletions may overlap
                cursor = std::max(cursor, p.end);
                continue;
            }
            out.append(text_.data() + cursor, p.at - cursor);
            out += p.text;
            cursor = std::max(cursor, p.end);
        }
        out.append(text_.data() + cursor, text_.size() - cursor);
        if (out.empty()) // a .strings list without its last entry: the writer's empty list
            out = eol_;
        // An OpenStep text may hold U+FEFF in a bare string: brought to the
        // start by a removal, it would read as a byte-order mark.
        const char *const bom = "\xEF\xBB\xBF";
        if (format_ == ORVEX_FORMAT_OSTEP && out.compare(0, 3, bom) == 0 && text_.compare(0, 3, bom) != 0)
            out.insert(0, eol_);
        return out;
    }

  private:
    struct Patch {
        uint64_t at, end;
        std::string text;
    };
    struct Line {
        size_t level;
        std::string text;
    };

    const Layout &L_;
    orvex_format_t format_;
    std::string_view text_;
    std::vector<uint32_t> first_, next_, prev_, last_; // the layout's children, in document order
    Entry root_;
    bool typed_ = false;
    std::string unit_, eol_;
    std::vector<Patch> patches_;
    std::vector<uint64_t> lines_, firsts_;

    // ---- applying ops

    Cont &open(Entry &e) {
        if (e.cont)
            return *e.cont;
        e.cont.reset(new Cont);
        Cont &c = *e.cont;
        const bool dict = e.orig->type == ORVEX_DICT;
        uint32_t n = 0;
        for (uint32_t i = first_[e.item]; i != NO_ITEM; i = next_[i], ++n) {
            const LayoutItem &it = L_.items[i];
            if (dict) {
                auto found = c.index.find(it.key);
                if (found != c.index.end()) {
                    Entry &k = c.kids[found->second];
                    k.shadowed.push_back(k.item);
                    k.item = i;
                    continue;
                }
                c.index.emplace(it.key, c.kids.size());
            }
            c.kids.emplace_back();
            Entry &k = c.kids.back();
            k.item = i;
            if (dict) {
                k.key = it.key;
                const uint32_t at = dict_find(e.orig, it.key.data(), it.key.size());
                k.orig = at == NO_INDEX ? nullptr : e.orig->v.dict->entries[at].val;
            } else {
                k.orig = n < e.orig->v.arr.size ? e.orig->v.arr.items[n] : nullptr;
            }
            if (!k.orig) // the layout and the tree disagree: a fault of ours
                throw std::bad_alloc();
        }
        return c;
    }

    // The live entry at `part` of an original container, or null.
    Entry *orig_child(Entry &e, const std::string &part) {
        if (!is_container(e.orig->type))
            return nullptr;
        Cont &c = open(e);
        if (e.orig->type == ORVEX_DICT) {
            auto found = c.index.find(part);
            return found == c.index.end() || c.kids[found->second].removed ? nullptr : &c.kids[found->second];
        }
        uint32_t pos;
        if (!position_of(part, &pos))
            return nullptr;
        size_t k = live_at(c, pos);
        return k == c.kids.size() ? nullptr : &c.kids[k];
    }

    // The position in c.kids of the live item `pos`, or kids.size().
    static size_t live_at(const Cont &c, uint32_t pos) {
        for (size_t k = 0; k < c.kids.size(); ++k)
            if (!c.kids[k].removed && pos-- == 0)
                return k;
        return c.kids.size();
    }

    void orig_apply(Entry &e, int kind, const std::string &part, const Node *value) {
        Cont &c = open(e);
        size_t k = c.kids.size();
        uint32_t pos = 0;
        if (e.orig->type == ORVEX_DICT) {
            auto found = c.index.find(part);
            if (found != c.index.end() && !c.kids[found->second].removed)
                k = found->second;
        } else {
            if (!position_of(part, &pos))
                refuse(ORVEX_ERR_NOT_FOUND, ORVEX_EDIT_ABSENT);
            k = live_at(c, pos);
        }
        const bool live = k < c.kids.size();
        if (kind == ORVEX_EDIT_REMOVE || (kind == ORVEX_EDIT_SET && e.orig->type == ORVEX_ARRAY)) {
            if (!live)
                refuse(ORVEX_ERR_NOT_FOUND, ORVEX_EDIT_ABSENT);
            if (kind == ORVEX_EDIT_REMOVE)
                return kill(c.kids[k]);
            return replace(c.kids[k], value);
        }
        if (e.orig->type == ORVEX_DICT) {
            if (live && kind == ORVEX_EDIT_INSERT)
                refuse(ORVEX_ERR_INVALID_ARG, ORVEX_EDIT_EXISTS);
            if (live)
                return replace(c.kids[k], value);
            Entry fresh;
            fresh.key = part;
            fresh.gen = copy_of(value);
            c.index[part] = c.kids.size();
            c.kids.push_back(std::move(fresh));
            return;
        }
        if (!live && pos != live_count(c))
            refuse(ORVEX_ERR_NOT_FOUND, ORVEX_EDIT_ABSENT);
        Entry fresh;
        fresh.gen = copy_of(value);
        c.kids.insert(c.kids.begin() + static_cast<std::ptrdiff_t>(k), std::move(fresh));
    }

    static uint32_t live_count(const Cont &c) {
        uint32_t n = 0;
        for (const Entry &k : c.kids)
            n += !k.removed;
        return n;
    }

    static void replace(Entry &k, const Node *value) {
        if (!k.gen && !k.cont && orvex_equal(const_cast<Node *>(k.orig), const_cast<Node *>(value)))
            return; // the document holds it already: no byte changes
        Node *c = copy_of(value);
        node_free_tree(k.gen);
        k.gen = c;
        k.cont.reset();
    }

    static void kill(Entry &k) {
        k.removed = true;
        node_free_tree(k.gen);
        k.gen = nullptr;
        k.cont.reset();
    }

    // ---- the text around values

    bool is_blank(char c) const { return c == ' ' || c == '\t'; }

    // Line starts and each line's first byte that is not a blank, so that
    // questions about a line cost no scan of it: a document may be one line.
    void index_lines() {
        lines_.push_back(0);
        for (uint64_t q = 0; q < text_.size(); ++q)
            if (text_[q] == '\n')
                lines_.push_back(q + 1);
        firsts_.resize(lines_.size());
        for (size_t l = 0; l < lines_.size(); ++l) {
            uint64_t q = lines_[l];
            while (q < text_.size() && is_blank(text_[q]))
                ++q;
            firsts_[l] = q;
        }
    }

    size_t line_of(uint64_t pos) const {
        return static_cast<size_t>(std::upper_bound(lines_.begin(), lines_.end(), pos) - lines_.begin()) - 1;
    }

    uint64_t line_start(uint64_t pos) const { return lines_[line_of(pos)]; }

    bool starts_line(uint64_t pos) const { return firsts_[line_of(pos)] >= pos; }

    std::string indent_at(uint64_t pos) const {
        const size_t l = line_of(pos);
        return std::string(text_.substr(lines_[l], firsts_[l] - lines_[l]));
    }

    // Past a comment that starts at `q` and ends on its line, or `q`.
    uint64_t past_comment(uint64_t q) const {
        auto closes = [&](const char *open, const char *close) -> uint64_t {
            const size_t on = std::strlen(open);
            if (text_.compare(q, on, open) != 0)
                return q;
            const size_t c = text_.find(close, q + on);
            if (c == std::string_view::npos)
                return q;
            const size_t nl = text_.find('\n', q);
            return nl != std::string_view::npos && nl < c ? q : c + std::strlen(close);
        };
        if (format_ == ORVEX_FORMAT_XML)
            return closes("<!--", "-->");
        if (format_ != ORVEX_FORMAT_OSTEP)
            return q;
        if (text_.compare(q, 2, "//") == 0) {
            const size_t nl = text_.find('\n', q);
            return nl == std::string_view::npos ? text_.size() : (text_[nl - 1] == '\r' ? nl - 1 : nl);
        }
        return closes("/*", "*/");
    }

    // Past the line end after `pos` when only blanks and a comment follow
    // on the line; 0 when something else does.
    uint64_t line_rest(uint64_t pos) const {
        uint64_t q = pos;
        for (;;) {
            while (q < text_.size() && is_blank(text_[q]))
                ++q;
            const uint64_t c = past_comment(q);
            if (c == q)
                break;
            q = c;
        }
        if (q == text_.size())
            return q;
        if (text_[q] == '\r' && q + 1 < text_.size() && text_[q + 1] == '\n')
            return q + 2;
        return text_[q] == '\n' ? q + 1 : 0;
    }

    bool section_marker(std::string_view line) const {
        auto starts = [&](const char *s) { return line.substr(0, std::strlen(s)) == s; };
        const std::string_view end = " section */";
        return (starts("/* Begin ") || starts("/* End ")) && line.size() >= end.size() &&
               line.substr(line.size() - end.size()) == end;
    }

    // Up from line start `ls` over the comment lines right above it that
    // lie after `floor`.
    uint64_t leading_comments(uint64_t ls, uint64_t floor) const {
        if (format_ != ORVEX_FORMAT_OSTEP && format_ != ORVEX_FORMAT_XML)
            return ls;
        while (ls > floor && ls > 0) {
            const uint64_t pe = ls - 1, pls = line_start(pe);
            if (pls < floor)
                break;
            std::string_view line = text_.substr(pls, pe - pls);
            while (!line.empty() && (is_blank(line.back()) || line.back() == '\r'))
                line.remove_suffix(1);
            size_t lead = 0;
            while (lead < line.size() && is_blank(line[lead]))
                ++lead;
            line.remove_prefix(lead);
            if (line.empty() || section_marker(line))
                break;
            const char *open = format_ == ORVEX_FORMAT_XML ? "<!--" : "/*";
            const char *close = format_ == ORVEX_FORMAT_XML ? "-->" : "*/";
            const bool slashes = format_ == ORVEX_FORMAT_OSTEP && line.substr(0, 2) == "//";
            const size_t cn = std::strlen(close);
            if (slashes || (line.substr(0, std::strlen(open)) == open && past_comment(pls + lead) == pe)) {
                ls = pls;
                continue;
            }
            // The last line of a comment that opened further up.
            if (line.size() >= cn && line.substr(line.size() - cn) == close) {
                const size_t o = text_.rfind(open, pls);
                if (o != std::string_view::npos && o >= floor && starts_line(o) &&
                    text_.find(close, o) + cn == pls + lead + line.size()) {
                    ls = line_start(o);
                    continue;
                }
            }
            break;
        }
        return ls;
    }

    bool only_blanks(const LayoutItem &c) const {
        if (c.bracketless)
            return false;
        for (uint64_t q = c.inner; q < c.close; ++q)
            if (!is_blank(text_[q]) && text_[q] != '\n' && text_[q] != '\r')
                return false;
        return true;
    }

    // ---- positions of an original entry

    uint64_t start_of(uint32_t i) const {
        const LayoutItem &it = L_.items[i];
        return L_.items[it.parent].dict ? it.key_begin : it.begin;
    }
    uint64_t after_of(uint32_t i) const {
        const LayoutItem &it = L_.items[i];
        return it.has_sep ? it.sep + 1 : it.end;
    }

    // The bytes that go with entry `i`: its lines and the comments above
    // them, or on a line shared with others, the entry and a gap beside it.
    std::pair<uint64_t, uint64_t> extent(uint32_t i) const {
        const uint32_t prev = prev_[i], next = next_[i];
        const uint64_t floor = L_.items[L_.items[i].parent].inner;
        const uint64_t s = start_of(i), e = after_of(i);
        if (starts_line(s)) {
            if (uint64_t le = line_rest(e))
                return {leading_comments(line_start(s), prev == NO_ITEM ? floor : after_of(prev)), le};
        }
        if (next != NO_ITEM)
            return {s, start_of(next)};
        if (prev != NO_ITEM)
            return {after_of(prev), e};
        return {s, e};
    }

    void detect_style() {
        eol_ = "\n";
        const size_t nl = text_.find('\n');
        if (nl != std::string_view::npos && nl > 0 && text_[nl - 1] == '\r')
            eol_ = "\r\n";
        unit_ = format_ == ORVEX_FORMAT_JSON ? "  " : "\t";
        for (uint32_t i = 0; i < L_.items.size(); ++i) {
            const LayoutItem &it = L_.items[i];
            if (!it.container || it.bracketless || first_[i] == NO_ITEM)
                continue;
            const uint64_t s = start_of(first_[i]);
            if (!starts_line(s))
                continue;
            const std::string in = indent_at(it.begin), kid = indent_at(s);
            if (kid.size() > in.size() && kid.compare(0, in.size(), in) == 0) {
                unit_ = kid.substr(in.size());
                return;
            }
        }
    }

    // ---- new text

    // The writer's lines for `value` (under `key` when it is an entry),
    // nested `depth` containers deep: levels relative to that depth.
    std::vector<Line> writer_lines(const Node *value, const std::string *key, uint32_t depth, bool compact) {
        TreeOwner top(copy_of(value));
        uint32_t wrappers = 0;
        if (key) {
            Node *d = made(node_new(ORVEX_DICT));
            if (!dict_put(d, key->data(), key->size(), top.n)) {
                node_free_tree(d);
                throw std::bad_alloc();
            }
            top.n = d;
            ++wrappers;
        }
        for (; wrappers < depth; ++wrappers) {
            Node *a = made(node_new(ORVEX_ARRAY));
            if (!array_push(a, top.n)) {
                node_free_tree(a);
                throw std::bad_alloc();
            }
            top.n = a;
        }
        Output out;
        uint32_t len = 0;
        orvex_err_t e = ORVEX_ERR_FORMAT;
        if (format_ == ORVEX_FORMAT_XML)
            e = xml_write(top.n, out, &len, 0);
        else if (format_ == ORVEX_FORMAT_JSON)
            e = json_write(top.n, out, &len, compact ? 0 : ORVEX_WRITE_PRETTY);
        else if (format_ == ORVEX_FORMAT_OSTEP)
            e = ostep_write(top.n, out, &len, typed_ ? ORVEX_WRITE_TYPED : 0);
        if (e == ORVEX_ERR_NO_MEM)
            throw std::bad_alloc();
        if (e != ORVEX_ERR_SUCCESS)
            refuse(e, e == ORVEX_ERR_LIMIT ? ORVEX_EDIT_TOO_LONG : ORVEX_EDIT_NO_FORM);
        std::unique_ptr<char, decltype(&std::free)> buf(out.release(), &std::free);
        const std::string w(buf.get(), len);
        std::vector<Line> lines;
        if (format_ == ORVEX_FORMAT_JSON && compact) {
            lines.push_back({0, w.substr(wrappers, w.size() - 2 * wrappers)});
            return lines;
        }
        // Structural lines: XML text keeps its newlines inside <string> and <key>.
        std::vector<std::string> raw(1);
        bool content = false;
        for (size_t i = 0; i < w.size(); ++i) {
            const char c = w[i];
            if (format_ == ORVEX_FORMAT_XML && c == '<') {
                const size_t gt = w.find('>', i);
                const std::string_view tag(w.data() + i, gt - i + 1);
                content = tag == "<string>" || tag == "<key>";
                raw.back().append(tag);
                i = gt;
                continue;
            }
            if (c == '\n' && !content) {
                raw.emplace_back();
                continue;
            }
            raw.back().push_back(c);
        }
        while (!raw.empty() && raw.back().empty())
            raw.pop_back();
        size_t from = 0, to = raw.size();
        if (format_ == ORVEX_FORMAT_XML) {
            while (from < to && raw[from].compare(0, 6, "<plist") != 0)
                ++from;
            from += 1;
            to -= 1; // </plist>
        }
        from += wrappers;
        to -= wrappers;
        const std::string wunit = format_ == ORVEX_FORMAT_JSON ? "  " : "\t";
        for (size_t i = from; i < to; ++i) {
            size_t level = 0, q = 0;
            while (raw[i].compare(q, wunit.size(), wunit) == 0) {
                q += wunit.size();
                ++level;
            }
            lines.push_back({level >= wrappers ? level - wrappers : 0, raw[i].substr(q)});
        }
        return lines;
    }

    std::string render(const std::vector<Line> &lines, const std::string &base, bool flat) const {
        std::string s;
        for (size_t i = 0; i < lines.size(); ++i) {
            if (i > 0) {
                if (flat) {
                    if (format_ == ORVEX_FORMAT_OSTEP)
                        s += ' ';
                } else {
                    s += eol_;
                    s += base;
                    for (size_t l = 0; l < lines[i].level; ++l)
                        s += unit_;
                }
            }
            s += lines[i].text;
        }
        return s;
    }

    // The writer's ":" or ": " after the JSON key that starts `line` made
    // `colon`.
    static void respace_colon(std::string &line, const std::string &colon) {
        size_t q = 1;
        while (q < line.size() && line[q] != '"')
            q += line[q] == '\\' ? 2 : 1;
        const size_t c = q + 1;
        if (c >= line.size() || line[c] != ':')
            return;
        size_t e = c + 1;
        if (e < line.size() && line[e] == ' ')
            ++e;
        line.replace(c, e - c, colon);
    }

    bool line_based(uint32_t container) const {
        const LayoutItem &c = L_.items[container];
        if (c.bracketless)
            return true;
        const uint32_t f = first_[container];
        return f == NO_ITEM || starts_line(start_of(f));
    }

    // Entry `e` (original, now `gen`) written over its old value.
    void replace_value(Entry &e, uint32_t depth, bool root) {
        const LayoutItem &it = L_.items[e.item];
        const bool flat = !root && !line_based(it.parent);
        std::string v = render(writer_lines(e.gen, nullptr, depth, flat), indent_at(it.begin), flat);
        if (it.short_entry) // `key;` becomes `key = value;`
            patches_.push_back({it.end, it.end, " = " + v});
        else
            patches_.push_back({it.begin, it.end, std::move(v)});
    }

    void container(Entry &e, uint32_t depth, std::vector<std::pair<Entry *, uint32_t>> &todo) {
        const LayoutItem &c = L_.items[e.item];
        std::vector<Entry> &kids = e.cont->kids;
        const bool dict = e.orig->type == ORVEX_DICT;
        const bool comma = format_ == ORVEX_FORMAT_JSON || (format_ == ORVEX_FORMAT_OSTEP && !dict);
        const bool lines = line_based(e.item);
        std::vector<size_t> origs;
        size_t last_live = kids.size();
        for (size_t k = 0; k < kids.size(); ++k) {
            if (kids[k].item != NO_ITEM)
                origs.push_back(k);
            if (!kids[k].removed)
                last_live = k;
        }
        std::string base, gap = format_ == ORVEX_FORMAT_OSTEP ? " " : "", colon;
        // Taken from the first entries and the last in the text: a repeated
        // key's entry may stand elsewhere than its place among the others.
        const uint32_t first_item = first_[e.item];
        const bool trailing = format_ == ORVEX_FORMAT_OSTEP && comma && first_item != NO_ITEM &&
                              L_.items[last_[e.item]].has_sep;
        if (first_item != NO_ITEM) {
            const LayoutItem &first = L_.items[first_item];
            base = indent_at(start_of(first_item));
            if (dict && format_ == ORVEX_FORMAT_JSON) { // ": " or ":" as the document writes it
                colon = std::string(text_.substr(first.key_end, first.begin - first.key_end));
                if (colon.find(' ') != std::string::npos)
                    gap = " ";
            }
            if (next_[first_item] != NO_ITEM) {
                gap.clear();
                const uint64_t a = after_of(first_item), b = start_of(next_[first_item]);
                for (uint64_t q = a; q < b; ++q)
                    if (is_blank(text_[q]))
                        gap += text_[q];
            }
        } else if (!c.bracketless) {
            base = indent_at(c.begin) + unit_;
        }
        // Where entries added after the last original one go.
        uint64_t end_at = c.close;
        bool end_own_line = lines;
        std::string end_prefix;
        if (!origs.empty()) {
            const uint32_t z = last_[e.item]; // a repeated key's last entry may stand after all
            const uint64_t le = starts_line(start_of(z)) ? line_rest(after_of(z)) : 0;
            if (lines && le) {
                end_at = le;
                if (le == text_.size() && (le == 0 || text_[le - 1] != '\n'))
                    end_prefix = eol_;
            } else {
                end_at = after_of(z);
                end_own_line = false;
                if (lines)
                    end_prefix = eol_ + base;
            }
        } else if (starts_line(end_at)) { // before a closing on a line of its own
            end_at = line_start(end_at);
        } else if (end_at > 0 && text_[end_at - 1] != '\n') {
            end_prefix = eol_;
        }
        if (comma && dict) {
            // JSON objects: a comma after each entry left but the last in the
            // text (a repeated key's entries all stay), and before new ones.
            std::vector<uint32_t> removed;
            for (const Entry &kid : kids)
                if (kid.item != NO_ITEM && kid.removed) {
                    removed.push_back(kid.item);
                    removed.insert(removed.end(), kid.shadowed.begin(), kid.shadowed.end());
                }
            std::sort(removed.begin(), removed.end());
            auto gone = [&](uint32_t i) { return std::binary_search(removed.begin(), removed.end(), i); };
            bool added = false;
            for (const Entry &kid : kids)
                added = added || (kid.item == NO_ITEM && !kid.removed);
            uint32_t final_item = NO_ITEM;
            for (uint32_t i = first_[e.item]; i != NO_ITEM; i = next_[i])
                if (!gone(i))
                    final_item = i;
            for (uint32_t i = first_[e.item]; i != NO_ITEM; i = next_[i]) {
                if (gone(i))
                    continue;
                const LayoutItem &it = L_.items[i];
                const bool needs = i != final_item || added;
                if (needs && !it.has_sep)
                    patches_.push_back({it.end, it.end, ","});
                if (!needs && it.has_sep)
                    patches_.push_back({it.sep, it.sep + 1, std::string()});
            }
        }
        size_t o = 0; // origs before k
        for (size_t k = 0; k < kids.size(); ++k) {
            Entry &kid = kids[k];
            const bool last = k == last_live;
            if (kid.item != NO_ITEM) {
                ++o;
                const LayoutItem &it = L_.items[kid.item];
                if (kid.removed) {
                    auto [a, b] = extent(kid.item);
                    patches_.push_back({a, b, std::string()});
                    for (uint32_t s : kid.shadowed) {
                        auto [sa, sb] = extent(s);
                        patches_.push_back({sa, sb, std::string()});
                    }
                    continue;
                }
                if (comma && !dict) {
                    if (!last && !it.has_sep)
                        patches_.push_back({it.end, it.end, ","});
                    if (last && it.has_sep && !trailing)
                        patches_.push_back({it.sep, it.sep + 1, std::string()});
                }
                if (kid.gen)
                    replace_value(kid, depth + 1, false);
                else if (kid.cont)
                    todo.emplace_back(&kid, depth + 1);
                continue;
            }
            if (kid.removed)
                continue;
            std::vector<Line> wl = writer_lines(kid.gen, dict ? &kid.key : nullptr, depth + 1,
                                                !lines && format_ == ORVEX_FORMAT_JSON);
            if (!colon.empty() && !wl.empty())
                respace_colon(wl[0].text, colon);
            std::string t = render(wl, base, !lines);
            // OpenStep arrays written with a comma after every item keep that.
            if (comma && (!last || trailing))
                t += ',';
            if (o < origs.size()) { // before the next original entry
                const uint32_t nx = kids[origs[o]].item;
                if (lines && starts_line(start_of(nx)) && line_rest(after_of(nx))) {
                    const uint64_t at = extent(nx).first;
                    patches_.push_back({at, at, base + t + eol_});
                } else {
                    patches_.push_back({start_of(nx), start_of(nx), t + (lines ? eol_ + base : gap)});
                }
            } else if (end_own_line) {
                patches_.push_back({end_at, end_at, end_prefix + base + t + eol_});
                end_prefix.clear();
            } else {
                patches_.push_back({end_at, end_at, (lines ? end_prefix : gap) + t});
            }
        }
    }
};

// UTF-8 as the single-byte charset an XML document declared, characters
// beyond it as character references (new text stands only in content).
std::string to_declared(const std::string &s, unsigned max) {
    std::string out;
    out.reserve(s.size());
    const auto *p = reinterpret_cast<const unsigned char *>(s.data()), *end = p + s.size();
    while (p < end) {
        uint32_t cp = *p;
        size_t n = 1;
        if (cp >= 0x80) {
            n = utf8_seq_len(p, end);
            if (n == 0)
                n = 1;
            cp = n == 2   ? (p[0] & 0x1Fu) << 6 | (p[1] & 0x3Fu)
                 : n == 3 ? (p[0] & 0x0Fu) << 12 | (p[1] & 0x3Fu) << 6 | (p[2] & 0x3Fu)
                 : n == 4 ? (p[0] & 0x07u) << 18 | (p[1] & 0x3Fu) << 12 | (p[2] & 0x3Fu) << 6 | (p[3] & 0x3Fu)
                          : cp;
        }
        if (cp <= max) {
            out += static_cast<char>(cp);
        } else {
            char ref[16];
            static const char HEX[] = "0123456789ABCDEF";
            int k = 0;
            char digits[8];
            for (uint32_t v = cp; v; v >>= 4)
                digits[k++] = HEX[v & 15];
            size_t r = 0;
            ref[r++] = '&';
            ref[r++] = '#';
            ref[r++] = 'x';
            while (k)
                ref[r++] = digits[--k];
            ref[r++] = ';';
            out.append(ref, r);
        }
        p += n;
    }
    return out;
}

orvex_err_t edit_tree(Node *root, const orvex_edit_op *ops, uint32_t count, std::string &out,
                      EditFailure *why);

} // namespace

orvex_err_t edit_document(const char *data, uint64_t length, orvex_format_t format, const orvex_edit_op *ops,
                          uint32_t count, std::string &out, EditFailure *why) {
    out.clear();
    *why = EditFailure{};
    if ((!data && length) || (!ops && count)) {
        why->refusal = ORVEX_EDIT_BAD_ARGUMENT;
        return ORVEX_ERR_INVALID_ARG;
    }
    Node *first = nullptr;
    orvex_parse_result pr;
    orvex_format_t found = ORVEX_FORMAT_NONE;
    orvex_err_t e = orvex_parse(data, length, format, reinterpret_cast<orvex_t *>(&first), &found, &pr);
    why->format = found;
    TreeOwner tree(first);
    if (e != ORVEX_ERR_SUCCESS) {
        why->parse = pr;
        why->refusal = e == ORVEX_ERR_NO_MEM ? ORVEX_EDIT_OUT_OF_MEMORY : ORVEX_EDIT_BAD_DOCUMENT;
        return e;
    }
    if (found == ORVEX_FORMAT_BINARY)
        return edit_tree(tree.n, ops, count, out, why);

    // Text: read again, this time with the layout, from UTF-8.
    Layout layout;
    const uint8_t utf16 = found == ORVEX_FORMAT_JSON ? 0 : utf16_order(data, length);
    std::string utf8; // a UTF-16 document as UTF-8
    if (utf16) {
        const uint64_t mark = utf16_mark(utf16), units = (length - mark) / 2;
        utf8.resize(units * 3 + 1);
        size_t bad = 0;
        const size_t got = utf16_to_utf8_strict(reinterpret_cast<const unsigned char *>(data) + mark, units,
                                                utf16_little(utf16), &utf8[0], &bad);
        if (got == SIZE_MAX) // the reader took it: cannot happen
            return ORVEX_ERR_PARSE;
        utf8.resize(got);
    }
    const char *text = utf16 ? utf8.data() : data;
    const uint64_t n = utf16 ? utf8.size() : length;
    Node *root = nullptr;
    ParseError err;
    if (found == ORVEX_FORMAT_XML)
        e = xml_read_layout(text, n, utf16 != 0, &root, &err, &layout);
    else if (found == ORVEX_FORMAT_JSON)
        e = json_read_layout(text, n, &root, &err, &layout);
    else
        e = ostep_read_layout(text, n, &root, &err, &layout);
    TreeOwner laid(root);
    if (e != ORVEX_ERR_SUCCESS) { // the same reader took it once: only memory can fail
        why->refusal = ORVEX_EDIT_OUT_OF_MEMORY;
        return e == ORVEX_ERR_NO_MEM ? e : ORVEX_ERR_UNKNOWN;
    }
    const std::string_view view =
        layout.transcoded ? std::string_view(layout.text) : std::string_view(text, n);
    std::string edited;
    try {
        Editor ed(layout, root, found, view);
        for (uint32_t i = 0; i < count; ++i) {
            why->op = i;
            ed.apply(ops[i]);
        }
        why->op = ORVEX_EDIT_NO_OP;
        edited = ed.compose();
    } catch (const Refused &r) {
        why->refusal = r.why;
        return r.code;
    }
    if (utf16) {
        const uint64_t mark = utf16_mark(utf16);
        const size_t units = utf16_units(edited.data(), edited.size());
        if (mark + 2 * uint64_t(units) > MAX_OUT) {
            why->refusal = ORVEX_EDIT_TOO_LONG;
            return ORVEX_ERR_LIMIT;
        }
        out.resize(mark + 2 * units);
        std::memcpy(&out[0], data, mark);
        auto *dst = reinterpret_cast<unsigned char *>(&out[0]) + mark;
        utf8_to_utf16be(edited.data(), edited.size(), dst);
        if (utf16_little(utf16))
            for (size_t i = 0; i < units; ++i)
                std::swap(dst[2 * i], dst[2 * i + 1]);
        // Known by its first two characters, it must still start with two
        // ASCII ones; else it gets the mark it lacked.
        if (!mark && utf16_order(out.data(), out.size()) != utf16)
            out.insert(0, utf16_little(utf16) ? "\xFF\xFE" : "\xFE\xFF", 2);
    } else if (layout.charset) {
        out = to_declared(edited, layout.charset == 1 ? 0xFF : 0x7F);
    } else {
        out.swap(edited);
    }
    if (out.size() > MAX_OUT) {
        out.clear();
        why->refusal = ORVEX_EDIT_TOO_LONG;
        return ORVEX_ERR_LIMIT;
    }
    return ORVEX_ERR_SUCCESS;
}

namespace {

// A binary document: the ops on its tree, written whole.
orvex_err_t edit_tree(Node *root, const orvex_edit_op *ops, uint32_t count, std::string &out,
                      EditFailure *why) {
    try {
        for (uint32_t i = 0; i < count; ++i) {
            why->op = i;
            const int kind = kind_of(ops[i]);
            const std::vector<std::string> parts = checked_parts(ops[i], kind, ORVEX_FORMAT_BINARY);
            Node *at = root;
            for (size_t p = 0; p + 1 < parts.size(); ++p) {
                at = gen_child(at, parts[p]);
                if (!at || !is_container(at->type))
                    refuse(ORVEX_ERR_NOT_FOUND, ORVEX_EDIT_NO_CONTAINER);
            }
            if (!is_container(at->type))
                refuse(ORVEX_ERR_NOT_FOUND, ORVEX_EDIT_NO_CONTAINER);
            gen_apply(at, kind, parts.back(), as_node(ops[i].value));
        }
    } catch (const Refused &r) {
        why->refusal = r.why;
        return r.code;
    }
    why->op = ORVEX_EDIT_NO_OP;
    Output buf;
    uint32_t len = 0;
    orvex_err_t e = bin_write(root, buf, &len, 0);
    if (e != ORVEX_ERR_SUCCESS) {
        if (e == ORVEX_ERR_NO_MEM)
            throw std::bad_alloc();
        why->refusal = ORVEX_EDIT_TOO_LONG;
        return e;
    }
    std::unique_ptr<char, decltype(&std::free)> b(buf.release(), &std::free);
    out.assign(b.get(), len);
    return ORVEX_ERR_SUCCESS;
}

} // namespace
} // namespace orvex_store
