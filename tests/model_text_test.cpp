// Text and byte value classes: String, Key, Data.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "orvex/orvex++.h"

using namespace Orvex;

namespace {

const std::string kFive("ab\0cd", 5);

struct Holder : Node {
    Holder() : Node(ORVEX_DICT, nullptr) {}
    Node *Clone() const override { return nullptr; }
    template <class T> T *Adopt(const char *key, orvex_t item) {
        orvex_dict_set_item(_node, key, item);
        return new T(item, this);
    }
    orvex_t Item(const char *key) const { return orvex_dict_get_item(_node, key); }
};

} // namespace

TEST(TextValues, TextEndsAtTheFirstNul) {
    EXPECT_EQ(String(kFive).GetValue(), "ab");
    EXPECT_EQ(Key(kFive).GetValue(), "ab");
    String s;
    s.SetValue(kFive);
    EXPECT_EQ(s.GetValue(), "ab");
    s = kFive;
    EXPECT_EQ(s.GetValue(), "ab");
    Key k;
    k.SetValue(kFive);
    EXPECT_EQ(k.GetValue(), "ab");
    EXPECT_EQ(String().GetValue(), "");
    EXPECT_EQ(Key().GetValue(), "");
}

TEST(TextValues, NullTextIsEmpty) {
    const char *none = nullptr;
    String s(none);
    EXPECT_EQ(s.GetType(), ORVEX_STRING);
    EXPECT_EQ(s.GetValue(), "");
    String t("x");
    t = none;
    EXPECT_EQ(t.GetValue(), "");
    // The store gives no text for a node of another type.
    Integer other(int64_t(1));
    EXPECT_EQ(String(other.GetOrvex(), &other).GetValue(), "");
    EXPECT_EQ(Key(other.GetOrvex(), &other).GetValue(), "");
}

TEST(TextValues, TextAssignmentToARootReplacesItsNode) {
    String s("old");
    s = std::string("new");
    EXPECT_EQ(s.GetValue(), "new");
    EXPECT_EQ(s.GetParent(), nullptr);
    // Assigning the node's own text must not read it after it is freed.
    s = orvex_get_string_ptr(s.GetOrvex(), nullptr);
    EXPECT_EQ(s.GetValue(), "new");
    const orvex_t before = s.GetOrvex();
    String &same = s;
    s = same;
    EXPECT_EQ(s.GetOrvex(), before);
    String other("other");
    s = other;
    other.SetValue("changed");
    EXPECT_EQ(s.GetValue(), "other");
}

TEST(TextValues, KeyReportsKeyTypeThroughEveryCopy) {
    Key k("name");
    Key copy(k);
    Key assigned;
    assigned = k;
    Node *clone = k.Clone();
    for (const Node *n : {static_cast<const Node *>(&k), static_cast<const Node *>(&copy),
                          static_cast<const Node *>(&assigned), static_cast<const Node *>(clone)}) {
        EXPECT_EQ(n->GetType(), ORVEX_KEY);
        EXPECT_EQ(static_cast<const Key *>(n)->GetValue(), "name");
    }
    EXPECT_EQ(Key().GetType(), ORVEX_KEY);
    delete clone;
}

TEST(ByteValues, EveryByteSurvives) {
    const std::vector<char> five(kFive.begin(), kFive.end());
    Data d(five);
    EXPECT_EQ(d.GetValue(), five);
    EXPECT_EQ(Data(kFive.data(), 5).GetValue(), five);
    Data copy(d);
    Node *clone = d.Clone();
    Data assigned;
    assigned = d;
    EXPECT_EQ(copy.GetValue(), five);
    EXPECT_EQ(static_cast<Data *>(clone)->GetValue(), five);
    EXPECT_EQ(assigned.GetValue(), five);
    delete clone;
    Data set;
    set.SetValue(five);
    EXPECT_EQ(set.GetValue(), five);

    EXPECT_TRUE(Data(std::vector<char>()).GetValue().empty());
    EXPECT_TRUE(Data(static_cast<const char *>(nullptr), 0).GetValue().empty());
    EXPECT_TRUE(Data().GetValue().empty());
    set.SetValue({});
    EXPECT_TRUE(set.GetValue().empty());
}

TEST(TextValues, AssigningToAChildChangesItInPlace) {
    Holder h;
    String *s = h.Adopt<String>("s", orvex_new_string("a"));
    orvex_t key = orvex_new_string("a");
    orvex_set_key_val(key, "a");
    Key *k = h.Adopt<Key>("k", key);
    Data *d = h.Adopt<Data>("d", orvex_new_data("x", 1));
    const orvex_t sh = s->GetOrvex();

    *s = String("bb");
    EXPECT_EQ(s->GetOrvex(), sh);
    EXPECT_EQ(h.Item("s"), sh);
    EXPECT_EQ(s->GetValue(), "bb");
    *s = std::string("cc");
    EXPECT_EQ(h.Item("s"), sh);
    *s = "dd";
    EXPECT_EQ(String(h.Item("s"), &h).GetValue(), "dd");
    // The whole stored text moves in, NUL bytes included, as a node copy would.
    orvex_t nul_text = orvex_new_string("");
    orvex_set_string_val_len(nul_text, kFive.data(), kFive.size());
    *s = String(nul_text, nullptr);
    uint64_t text_len = 0;
    orvex_get_string_ptr(h.Item("s"), &text_len);
    EXPECT_EQ(text_len, 5u);

    *k = Key("kk");
    EXPECT_EQ(orvex_get_node_type(h.Item("k")), ORVEX_KEY);
    EXPECT_EQ(k->GetValue(), "kk");

    *d = Data(kFive.data(), 5);
    uint64_t len = 0;
    orvex_get_data_ptr(h.Item("d"), &len);
    EXPECT_EQ(len, 5u);
    // Another wrapper over the same node, and the wrapper itself: nothing moves.
    Data alias(d->GetOrvex(), &h);
    *d = alias;
    *d = *d;
    EXPECT_EQ(d->GetValue(), std::vector<char>(kFive.begin(), kFive.end()));
    EXPECT_EQ(orvex_dict_get_size(h.GetOrvex()), 3u);
    delete s;
    delete k;
    delete d;
}
