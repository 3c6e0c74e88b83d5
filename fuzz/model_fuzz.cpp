// The object model under a byte-driven sequence of operations on a parsed
// document. After every operation the whole tree is checked against the
// store: each wrapper stands for the store node at its place, parents agree
// on both sides, size() == GetSize() for arrays, and for dictionaries the
// difference is exactly the null entries that operator[] added to the
// mirror alone. Everything is deleted at the end; the leak checker does the
// rest.
//
// Input: two bytes (little-endian) giving the document's length, the
// document, then the operations.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "fuzz_check.hpp"
#include "mirror_check.hpp"
#include "orvex/orvex++.h"
#include "tree_compare.hpp"

using namespace Orvex;

namespace {

// ORVEX_FUZZ_TRACE=1 in the environment prints each operation.
const bool trace = std::getenv("ORVEX_FUZZ_TRACE") != nullptr;

class Bytes {
  public:
    Bytes(const uint8_t *p, size_t n) : p_(p), n_(n) {}
    bool empty() const { return n_ == 0; }
    uint8_t next() {
        if (!n_)
            return 0;
        --n_;
        return *p_++;
    }
    std::string key() {
        // A small alphabet, with NUL, so keys collide and get cut.
        static const char alphabet[] = {'a', 'b', '\0', 'C'};
        std::string k;
        for (unsigned n = next() % 4; n > 0; --n)
            k.push_back(alphabet[next() % 4]);
        return k;
    }

  private:
    const uint8_t *p_;
    size_t n_;
};

// Every wrapper in the tree under `root`, containers and values, in
// depth-first order.
void collect(Structure *root, std::vector<Node *> &all) {
    std::vector<Node *> todo{root};
    while (!todo.empty()) {
        Node *n = todo.back();
        todo.pop_back();
        all.push_back(n);
        if (auto *a = dynamic_cast<Array *>(n)) {
            for (Node *c : *a)
                if (c)
                    todo.push_back(c);
        } else if (auto *d = dynamic_cast<Dictionary *>(n)) {
            for (auto &e : *d)
                if (e.second)
                    todo.push_back(e.second);
        }
    }
}

// The whole tree against the store, the root's parent on both sides included.
void check_tree(Structure *root) {
    FUZZ_CHECK(root->GetParent() == nullptr);
    FUZZ_CHECK(orvex_get_parent(root->GetOrvex()) == nullptr);
    const std::string fault = orvex_test::mirror_mismatch(*root, orvex_test::MirrorOnly::Allowed);
    if (!fault.empty()) {
        std::fprintf(stderr, "mirror and store differ at %s\n", fault.c_str());
        std::abort();
    }
}

// Whether `n` is `s` or one of its ancestors: taking a copy of it into `s`
// changes it, so the copy cannot be compared with it afterwards.
bool holds(const Node *n, const Structure *s) {
    for (const Node *p = s; p; p = p->GetParent())
        if (p == n)
            return true;
    return false;
}

// A container's new child must be an exact copy of what was passed; only a
// key's text ends at its first NUL.
void check_copy(const Node *child, const Node *from, const Structure *into) {
    if (holds(from, into))
        return;
    fuzz::Losses loss;
    loss.text_to_nul = dynamic_cast<const Key *>(from) != nullptr;
    FUZZ_CHECK(fuzz::equal_with(child->GetOrvex(), from->GetOrvex(), loss));
}

// A fresh value of a type chosen by `b`; the caller deletes it.
Node *make_value(Bytes &in) {
    uint8_t b = in.next();
    switch (b % 10) {
    case 0:
        return new Boolean(b & 0x80);
    case 1:
        return new Integer(static_cast<int64_t>(-1 - b));
    case 2:
        return new Integer(static_cast<uint64_t>(b) << 56);
    case 3:
        return new Real(b / 3.0);
    case 4:
        return new String(in.key());
    case 5:
        return new Key(in.key());
    case 6:
        return new Data(std::vector<char>(b % 5, 'x'));
    case 7:
        return new Date(static_cast<int64_t>(b) * 86400);
    case 8:
        return new Uid(static_cast<uint64_t>(b));
    default:
        return (b & 1) ? static_cast<Node *>(new Array()) : new Dictionary();
    }
}

template <class T> T *pick_of(std::vector<Node *> &all, uint8_t b) {
    std::vector<T *> of;
    for (Node *n : all)
        if (auto *t = dynamic_cast<T *>(n))
            of.push_back(t);
    return of.empty() ? nullptr : of[b % of.size()];
}

struct State {
    Structure *root = nullptr;
    Structure *cur = nullptr;   // the container the operations apply to
    Structure *spare = nullptr; // a root made by copy or Clone, or null

    ~State() {
        delete root;
        delete spare;
    }

    // A node to pass in: fresh, from the tree (possibly `cur` or an
    // ancestor of it), or the spare. `owned` holds it when fresh.
    const Node *source(Bytes &in, std::vector<Node *> &all, std::unique_ptr<Node> &owned) {
        uint8_t b = in.next();
        if (b < 128) {
            owned.reset(make_value(in));
            return owned.get();
        }
        if (b < 240 || !spare)
            return all[in.next() % all.size()];
        return spare;
    }

    void step(Bytes &in) {
        std::vector<Node *> all;
        collect(root, all);
        auto *arr = dynamic_cast<Array *>(cur);
        auto *dict = dynamic_cast<Dictionary *>(cur);
        std::unique_ptr<Node> owned;
        uint8_t op = in.next() % 14;
        if (trace)
            std::fprintf(stderr, "op %u on %s of %u\n", op, arr ? "array" : "dict", cur->GetSize());
        switch (op) {
        case 0: { // move to another container of the tree
            Structure *s = pick_of<Structure>(all, in.next());
            cur = s ? s : root;
            break;
        }
        case 1: { // append or set
            const Node *v = source(in, all, owned);
            if (arr) {
                size_t before = arr->size();
                arr->Append(v);
                FUZZ_CHECK(arr->size() == before + 1);
                check_copy(arr->Back(), v, arr);
            } else {
                std::string k = in.key();
                // Setting may replace the entry that holds `v`, deleting it.
                auto old = dict->Find(k);
                bool replaced = false;
                for (const Node *p = v; old != dict->end() && p; p = p->GetParent())
                    replaced = replaced || p == old->second;
                auto it = dict->Set(k, v);
                FUZZ_CHECK(it != dict->end() && it->second && it->second->GetParent() == dict);
                if (!replaced)
                    check_copy(it->second, v, dict);
            }
            break;
        }
        case 2: { // insert at any position, past the end included
            if (!arr)
                break;
            const Node *v = source(in, all, owned);
            unsigned pos = in.next() % (arr->size() + 2);
            size_t before = arr->size();
            try {
                arr->Insert(v, pos);
                FUZZ_CHECK(pos <= before && arr->size() == before + 1);
                check_copy((*arr)[pos], v, arr);
            } catch (const std::out_of_range &) {
                FUZZ_CHECK(pos > before && arr->size() == before);
            }
            break;
        }
        case 3: { // remove by position or key
            if (arr) {
                unsigned pos = in.next() % (arr->size() + 1);
                size_t before = arr->size();
                try {
                    arr->Remove(pos);
                    FUZZ_CHECK(pos < before && arr->size() == before - 1);
                } catch (const std::out_of_range &) {
                    FUZZ_CHECK(pos == before);
                }
            } else {
                std::string k = in.key();
                dict->Remove(k);
                FUZZ_CHECK(dict->Find(k) == dict->end());
            }
            break;
        }
        case 4: { // remove by node: any wrapper of the tree, child or not
            Node *n = all[in.next() % all.size()];
            if (n == cur || n == root)
                break; // would delete what the loop still uses
            // Only a child goes; it is never an ancestor of `cur`.
            bool child = n->GetParent() == cur;
            if (arr) {
                size_t before = arr->size();
                arr->Remove(n);
                FUZZ_CHECK(arr->size() == (child ? before - 1 : before));
            } else {
                size_t before = dict->size();
                try {
                    dict->Remove(n);
                    FUZZ_CHECK(child && dict->size() == before - 1);
                } catch (const std::logic_error &) {
                    FUZZ_CHECK(!child && dict->size() == before);
                }
            }
            break;
        }
        case 5: { // operator[]
            if (arr) {
                unsigned pos = in.next() % (arr->size() + 1);
                try {
                    Node *n = (*arr)[pos];
                    FUZZ_CHECK(pos < arr->size());
                    FUZZ_CHECK(!n || n->GetParent() == arr);
                } catch (const std::out_of_range &) {
                    FUZZ_CHECK(pos == arr->size());
                }
            } else {
                std::string k = in.key();
                bool had = dict->Find(k) != dict->end();
                size_t before = dict->size();
                Node *n = (*dict)[k];
                FUZZ_CHECK(dict->size() == before + (had ? 0 : 1));
                FUZZ_CHECK(!n || n->GetParent() == dict);
            }
            break;
        }
        case 6: { // assignment from a container of the same kind anywhere
            uint8_t b = in.next();
            bool from_spare = (b & 1) && spare;
            if (arr) {
                Array *src = from_spare ? dynamic_cast<Array *>(spare) : pick_of<Array>(all, b >> 1);
                if (!src)
                    break;
                Array expect(*src);
                *arr = *src;
                FUZZ_CHECK(orvex_equal(arr->GetOrvex(), expect.GetOrvex()));
            } else {
                Dictionary *src =
                    from_spare ? dynamic_cast<Dictionary *>(spare) : pick_of<Dictionary>(all, b >> 1);
                if (!src)
                    break;
                Dictionary expect(*src);
                *dict = *src;
                FUZZ_CHECK(orvex_equal(dict->GetOrvex(), expect.GetOrvex()));
            }
            break;
        }
        case 7: { // copy construction or Clone into the spare
            Structure *s = nullptr;
            if (in.next() & 1)
                s = arr ? static_cast<Structure *>(new Array(*arr)) : new Dictionary(*dict);
            else
                s = static_cast<Structure *>(cur->Clone());
            FUZZ_CHECK(s->GetParent() == nullptr && orvex_equal(s->GetOrvex(), cur->GetOrvex()));
            check_tree(s);
            delete spare;
            spare = s;
            break;
        }
        case 8: { // Front/Back, lookups by identity
            Node *n = all[in.next() % all.size()];
            if (arr) {
                unsigned i = arr->GetNodeIndex(n);
                FUZZ_CHECK((i < arr->size()) == (n->GetParent() == arr));
                if (arr->size()) {
                    FUZZ_CHECK(arr->Front() == (*arr)[0u] && arr->Back() == (*arr)[arr->size() - 1]);
                } else {
                    FUZZ_CHECK(!arr->Front() && !arr->Back());
                }
            } else {
                std::string k = dict->GetNodeKey(n);
                if (n->GetParent() == dict)
                    FUZZ_CHECK(dict->Find(k) != dict->end() && dict->Find(k)->second == n);
            }
            break;
        }
        case 9: { // encode the whole tree and read it back
            if (in.next() & 1) {
                std::string xml = root->ToXml();
                std::unique_ptr<Structure> back(Structure::FromXml(xml));
                if (back)
                    check_tree(back.get());
            } else {
                std::vector<char> bin = root->ToBin();
                std::unique_ptr<Structure> back(Structure::FromBin(bin));
                if (trace && back)
                    std::fprintf(stderr, "%s\n----\n%s\n", root->ToXml().c_str(), back->ToXml().c_str());
                bool odd_date, key_value;
                fuzz::find_losses(root->GetOrvex(), &odd_date, &key_value);
                fuzz::Losses loss;
                loss.key_values_as_strings = key_value;
                FUZZ_CHECK(back && fuzz::equal_with(root->GetOrvex(), back->GetOrvex(), loss));
                check_tree(back.get());
            }
            break;
        }
        case 10: // make the spare the root, the root the spare
            if (spare) {
                std::swap(root, spare);
                cur = root;
            }
            break;
        case 11: { // assign into a value wrapper held by a container
            Node *n = all[in.next() % all.size()];
            std::unique_ptr<Node> v(make_value(in));
            if (auto *s = dynamic_cast<String *>(n)) {
                if (auto *w = dynamic_cast<String *>(v.get()))
                    *s = *w;
            } else if (auto *i = dynamic_cast<Integer *>(n)) {
                if (auto *w = dynamic_cast<Integer *>(v.get()))
                    *i = *w;
            } else if (auto *dt = dynamic_cast<Data *>(n)) {
                if (auto *w = dynamic_cast<Data *>(v.get()))
                    *dt = *w;
            }
            break;
        }
        default: // move to the parent
            if (cur->GetParent())
                cur = static_cast<Structure *>(cur->GetParent());
            break;
        }
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2)
        return 0;
    size_t doc = data[0] | (size_t(data[1]) << 8);
    if (doc > size - 2)
        doc = size - 2;
    {
        // A small document may expand to a million nodes: valid, but too
        // large to check after every step.
        orvex_t probe = nullptr;
        orvex_from_memory(reinterpret_cast<const char *>(data + 2), uint32_t(doc), &probe, nullptr);
        const bool large = probe && fuzz::larger_than(probe, 4096);
        orvex_free(probe);
        if (large)
            return 0;
    }
    State st;
    st.root = Structure::FromMemory(reinterpret_cast<const char *>(data + 2), doc, nullptr);
    if (!st.root)
        return 0;
    st.cur = st.root;
    check_tree(st.root);
    Bytes in(data + 2 + doc, size - 2 - doc);
    for (int steps = 0; !in.empty() && steps < 64; ++steps) {
        st.step(in);
        check_tree(st.root);
        if (st.spare)
            check_tree(st.spare);
        // Appending a tree to itself doubles it: stop before the checks
        // take longer than the operations are worth.
        std::vector<Node *> all;
        collect(st.root, all);
        if (st.spare)
            collect(st.spare, all);
        if (all.size() > 4096)
            break;
    }
    return 0;
}
