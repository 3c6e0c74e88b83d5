// What may run at once: distinct trees on any threads, and one tree read by
// several threads through calls that leave it alone (getters, lookups by key,
// iterators, the writers, copies taken from it). Meant for ThreadSanitizer,
// which CI runs it under; kept small enough for valgrind.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "documents.hpp"
#include "expect_tree.hpp"
#include "orvex/orvex++.h"

using namespace Orvex;
using orvex_test::describe;
using orvex_test::push_children;
using orvex_test::Tree;

namespace {

const int kThreads = 4;
const int kRounds = 2;

// A dictionary with more entries than a linear lookup serves, holding every
// type the four encodings all carry; `seed` makes each thread's own.
orvex_t make_tree(int seed) {
    orvex_t root = orvex_new_dict();
    for (int i = 0; i < 40; ++i) {
        orvex_t item = orvex_new_dict();
        orvex_dict_set_item(item, "name",
                            orvex_new_string(("entry " + std::to_string(seed * 100 + i)).c_str()));
        orvex_dict_set_item(item, "count", orvex_new_int(-i - seed));
        orvex_dict_set_item(item, "ratio", orvex_new_real(i / 8.0 + seed));
        orvex_dict_set_item(item, "on", orvex_new_bool(uint8_t(i & 1)));
        orvex_t list = orvex_new_array();
        for (int k = 0; k < 3; ++k)
            orvex_array_append_item(list, orvex_new_uint(uint64_t(i) * 1000003u + uint64_t(k)));
        orvex_dict_set_item(item, "list", list);
        orvex_dict_set_item(root, ("key " + std::to_string(i)).c_str(), item);
    }
    return root;
}

// The tree in each encoding, by the C writers (which check the outcome).
struct Documents {
    std::string xml, bin, json, ostep;
};

Documents encode(orvex_t tree) {
    using orvex_test::encode;
    return {encode(tree, ORVEX_FORMAT_XML), encode(tree, ORVEX_FORMAT_BINARY),
            encode(tree, ORVEX_FORMAT_JSON), encode(tree, ORVEX_FORMAT_OSTEP, ORVEX_OSTEP_TYPED)};
}

bool same_documents(const Documents &a, const Documents &b) {
    return a.xml == b.xml && a.bin == b.bin && a.json == b.json && a.ostep == b.ostep;
}

// Every dictionary item is found under the key it gives for itself.
bool lookups_agree(orvex_t root) {
    std::vector<orvex_t> todo{root};
    while (!todo.empty()) {
        orvex_t n = todo.back();
        todo.pop_back();
        orvex_t parent = orvex_get_parent(n);
        if (orvex_get_node_type(parent) == ORVEX_DICT) {
            char *key = nullptr;
            orvex_dict_get_item_key(n, &key);
            const bool found = key && orvex_dict_get_item(parent, key) == n;
            std::free(key);
            if (!found)
                return false;
        }
        push_children(n, todo);
    }
    return true;
}

// What the object model reads of a tree through its const calls.
std::string model_digest(const Node &root) {
    std::string out;
    std::vector<const Node *> todo{&root};
    while (!todo.empty()) {
        const Node *n = todo.back();
        todo.pop_back();
        out += std::to_string(n->GetType()) + ' ';
        if (auto *d = dynamic_cast<const Dictionary *>(n)) {
            for (auto e = d->begin(); e != d->end(); ++e) {
                out += e->first + (d->Find(e->first) == e ? " " : " lost ");
                todo.push_back(e->second);
            }
            // Document order, and the lookups that add nothing.
            for (const auto &[key, node] : d->InOrder())
                out += key +
                       ((*d)[key] == node && d->Get(key) == node && As<Node>(node) == node ? " " : " lost ");
        } else if (auto *a = dynamic_cast<const Array *>(n)) {
            for (const Node *c : *a)
                todo.push_back(c);
        } else if (auto *s = dynamic_cast<const String *>(n)) {
            out += s->GetValue();
        } else if (auto *i = dynamic_cast<const Integer *>(n)) {
            out += std::to_string(i->GetValue());
        } else if (auto *r = dynamic_cast<const Real *>(n)) {
            out += std::to_string(r->GetValue());
        } else if (auto *b = dynamic_cast<const Boolean *>(n)) {
            out += b->GetValue() ? "yes" : "no";
        }
        out += '\n';
    }
    return out;
}

// What one thread sees of the shared trees, and what it must see.
struct Shared {
    orvex_t tree;
    const Dictionary *model;
    Documents docs;
    std::string text, model_text;
    std::string sorted_bin; // binary with keys sorted, which orders them beside the tree
};

// Reads, copies and writes a thread's own trees, from all four encodings,
// through both interfaces; then changes its copies.
void own_trees(int seed, std::vector<std::string> &faults) {
    Tree mine(make_tree(seed));
    const Documents docs = encode(mine.get());
    const struct {
        const std::string &doc;
        orvex_format_t format;
        Structure *(*read)(const std::string &);
    } forms[] = {
        {docs.xml, ORVEX_FORMAT_XML, Structure::FromXml},
        {docs.bin, ORVEX_FORMAT_BINARY, nullptr},
        {docs.json, ORVEX_FORMAT_JSON, Structure::FromJson},
        {docs.ostep, ORVEX_FORMAT_OSTEP, Structure::FromOpenStep},
    };
    for (const auto &f : forms) {
        const std::string what = "thread " + std::to_string(seed) + ", format " + std::to_string(f.format);
        orvex_t root = nullptr;
        orvex_parse(f.doc.data(), f.doc.size(), f.format, &root, nullptr, nullptr);
        Tree parsed(root);
        if (!orvex_equal(parsed.get(), mine.get()))
            faults.push_back(what + ": C reader");
        Tree copy(orvex_copy(parsed.get()));
        orvex_dict_set_item(copy.get(), "added", orvex_new_string("by this thread"));
        orvex_dict_remove_item(copy.get(), "key 3");
        if (!lookups_agree(copy.get()) || orvex_dict_get_size(copy.get()) != 40)
            faults.push_back(what + ": changed copy");

        std::unique_ptr<Structure> model(f.read ? f.read(f.doc)
                                                : Structure::FromBin(f.doc.data(), f.doc.size()));
        auto *dict = dynamic_cast<Dictionary *>(model.get());
        if (!dict || !orvex_equal(dict->GetOrvex(), mine.get())) {
            faults.push_back(what + ": C++ reader");
            continue;
        }
        Dictionary changed(*dict);
        (*dict)["missing"]; // a mirror-only entry in the tree read, none in the copy
        changed.Set("added", String("by this thread"));
        changed.Remove("key 3");
        if (changed.size() != 40 || dict->size() != 41 || !same_documents(encode(dict->GetOrvex()), docs))
            faults.push_back(what + ": C++ copy");
        const std::vector<char> bin = changed.ToBin();
        Tree again(nullptr);
        orvex_from_bin(bin.data(), uint32_t(bin.size()), &again.n);
        if (!orvex_equal(again.get(), changed.GetOrvex()) || changed.ToXml().empty())
            faults.push_back(what + ": C++ writers");
    }
}

// Reads and writes the shared trees, and takes copies of them, without
// changing them.
void shared_trees(const Shared &s, int seed, std::vector<std::string> &faults) {
    const std::string what = "thread " + std::to_string(seed) + ", shared tree: ";
    if (describe(s.tree) != s.text || !lookups_agree(s.tree))
        faults.push_back(what + "C reads");
    if (!same_documents(encode(s.tree), s.docs))
        faults.push_back(what + "C writers");
    Tree copy(orvex_copy(s.tree));
    orvex_dict_set_item(copy.get(), "key 0", orvex_new_null());
    if (orvex_equal(copy.get(), s.tree) || orvex_dict_get_size(copy.get()) != 40)
        faults.push_back(what + "C copy");

    if (model_digest(*s.model) != s.model_text)
        faults.push_back(what + "C++ reads");
    if (s.model->ToXml() != s.docs.xml ||
        s.model->ToBin() != std::vector<char>(s.docs.bin.begin(), s.docs.bin.end()) ||
        s.model->ToJson() != s.docs.json || s.model->ToOpenStep(ORVEX_OSTEP_TYPED) != s.docs.ostep)
        faults.push_back(what + "C++ writers");
    if (Write(*s.model, ORVEX_FORMAT_BINARY, ORVEX_WRITE_SORTED) != s.sorted_bin)
        faults.push_back(what + "sorted writer");
    Dictionary mine(*s.model);
    mine["key 0"];
    mine.Set("key 1", Integer(int64_t(seed)));
    if (!orvex_equal(s.model->GetOrvex(), s.tree) || mine.size() != 40 ||
        orvex_equal(mine.GetOrvex(), s.tree))
        faults.push_back(what + "C++ copy");
}

} // namespace

TEST(Threads, SeparateTreesAndSharedReadsRunAtOnce) {
    Tree tree(make_tree(kThreads));
    std::unique_ptr<Dictionary> model(
        dynamic_cast<Dictionary *>(Node::FromOrvex(orvex_copy(tree.get()), nullptr)));
    ASSERT_NE(model, nullptr);
    const Shared shared{tree.get(),           model.get(),
                        encode(tree.get()),   describe(tree.get()),
                        model_digest(*model), Write(*model, ORVEX_FORMAT_BINARY, ORVEX_WRITE_SORTED)};
    ASSERT_FALSE(shared.docs.xml.empty() || shared.docs.bin.empty() || shared.docs.json.empty() ||
                 shared.docs.ostep.empty());

    std::vector<std::vector<std::string>> faults(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&shared, &faults, t] {
            for (int round = 0; round < kRounds; ++round) {
                own_trees(t, faults[size_t(t)]);
                shared_trees(shared, t, faults[size_t(t)]);
            }
        });
    for (std::thread &t : threads)
        t.join();
    for (const auto &list : faults)
        for (const std::string &f : list)
            ADD_FAILURE() << f;
    EXPECT_EQ(describe(tree.get()), shared.text);
    EXPECT_EQ(model_digest(*model), shared.model_text);
}

// The nodes of one binary document share blocks, and so do their texts:
// replaced and freed on several threads at once, each part still gives back
// its own and the last frees the block.
TEST(Threads, PartsOfOneBinaryTreeFreedOnSeveralThreads) {
    Tree source(make_tree(1));
    for (int i = 0; i < 40; ++i) {
        orvex_t item = orvex_dict_get_item(source.get(), ("key " + std::to_string(i)).c_str());
        orvex_dict_set_item(item, "note", orvex_new_string(std::string(size_t(16 + i * 2), 'n').c_str()));
        orvex_dict_set_item(item, "blob", orvex_new_data(std::string(100, char(i)).data(), 100));
    }
    const std::string bin = orvex_test::encode(source.get(), ORVEX_FORMAT_BINARY);
    for (int round = 0; round < kRounds; ++round) {
        orvex_t read = nullptr;
        ASSERT_EQ(orvex_from_bin(bin.data(), uint32_t(bin.size()), &read), ORVEX_ERR_SUCCESS);
        std::vector<std::vector<orvex_t>> parts(kThreads);
        for (int i = 0; i < 40; i += 2)
            parts[size_t(i % kThreads)].push_back(
                orvex_detach(orvex_dict_get_item(read, ("key " + std::to_string(i)).c_str())));
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&parts, t] {
                for (orvex_t p : parts[size_t(t)]) {
                    orvex_set_string_val(orvex_dict_get_item(p, "note"), "replaced");
                    orvex_free(p);
                }
            });
        EXPECT_EQ(orvex_dict_get_size(read), 20u);
        orvex_free(read);
        for (std::thread &t : threads)
            t.join();
    }
}

// A tree's wrappers share blocks counted atomically: trees read on one thread
// and torn down on others.
TEST(Threads, ModelTreesReadOnOneThreadDeletedOnOthers) {
    Tree source(make_tree(2));
    const std::string bin = orvex_test::encode(source.get(), ORVEX_FORMAT_BINARY);
    for (int round = 0; round < kRounds; ++round) {
        std::vector<Structure *> roots;
        for (int t = 0; t < kThreads; ++t)
            roots.push_back(Structure::FromBin(std::vector<char>(bin.begin(), bin.end())));
        std::vector<std::thread> threads;
        for (Structure *root : roots)
            threads.emplace_back([root] { delete root; });
        for (std::thread &t : threads)
            t.join();
    }
}
