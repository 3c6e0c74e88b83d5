// Factory on containers, document readers and writers of the object model.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bin_doc.hpp"
#include "expect_tree.hpp"
#include "mirror_check.hpp"
#include "orvex/orvex++.h"

using namespace Orvex;
using orvex_test::data_path;
using orvex_test::mirror_mismatch;
using orvex_test::read_file;

namespace {

std::string ReadText(const std::string &name) {
    std::vector<char> bytes = read_file(data_path(name));
    return std::string(bytes.begin(), bytes.end());
}

// A binary document: an array holding the string "a\0b", then the offset
// table and the trailer (1-byte offsets and references, 2 objects, top 0,
// table at 14).
const char kNulStringDoc[] = "bplist00\xA1\x01\x53"
                             "a\0b"
                             "\x08\x0A"
                             "\0\0\0\0\0\0\x01\x01"
                             "\0\0\0\0\0\0\0\x02"
                             "\0\0\0\0\0\0\0\0"
                             "\0\0\0\0\0\0\0\x0E";
const std::vector<char> kNulString(kNulStringDoc, kNulStringDoc + sizeof kNulStringDoc - 1);

// A binary document: one dictionary of ASCII keys, in the order given, each
// holding its position as an integer.
std::vector<char> KeyedBin(const std::vector<std::string> &keys) {
    using orvex_test::be;
    const size_t n = keys.size();
    std::string dict(1, char(n < 15 ? 0xD0 + n : 0xDF));
    if (n >= 15)
        dict += "\x10" + be(n, 1);
    std::vector<std::string> objs(1);
    for (size_t i = 0; i < 2 * n; ++i)
        dict += char(1 + i);
    for (const std::string &k : keys)
        objs.push_back(k.size() < 15 ? char(0x50 + k.size()) + k : "\x5F\x10" + be(k.size(), 1) + k);
    for (size_t i = 0; i < n; ++i)
        objs.push_back("\x10" + be(i, 1));
    objs[0] = dict;
    const std::string doc = orvex_test::make_doc(objs);
    return std::vector<char>(doc.begin(), doc.end());
}

} // namespace

TEST(ModelFactory, WrapsNestedContainersWithTheirParents) {
    orvex_t store = orvex_new_dict();
    orvex_t list = orvex_new_array();
    orvex_array_append_item(list, orvex_new_int(1));
    orvex_array_append_item(list, orvex_new_int(2));
    orvex_dict_set_item(store, "list", list);

    Node *root = Node::FromOrvex(store, nullptr);
    Dictionary *d = dynamic_cast<Dictionary *>(root);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->GetOrvex(), store);
    Array *a = dynamic_cast<Array *>((*d)["list"]);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->GetParent(), d);
    EXPECT_EQ(a->GetOrvex(), list);
    ASSERT_EQ(a->size(), 2u);
    for (Node *item : *a) {
        EXPECT_NE(dynamic_cast<Integer *>(item), nullptr);
        EXPECT_EQ(item->GetParent(), a);
    }
    delete root; // frees the store tree once
}

TEST(ModelReaders, KeepOnlyContainerRoots) {
    Structure *s = Structure::FromXml(ReadText("library.xml"));
    ASSERT_NE(s, nullptr);
    EXPECT_NE(dynamic_cast<Dictionary *>(s), nullptr);
    EXPECT_EQ(s->GetParent(), nullptr);
    delete s;

    const std::string lone = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                             "<plist version=\"1.0\"><string>x</string></plist>\n";
    EXPECT_EQ(Structure::FromXml(lone), nullptr); // parsed, then freed
    EXPECT_EQ(Structure::FromXml("<plist><dict>"), nullptr);
    EXPECT_EQ(Structure::FromBin(std::vector<char>()), nullptr);
    orvex_format_t format = ORVEX_FORMAT_XML;
    EXPECT_EQ(Structure::FromMemory("garbage", 7, &format), nullptr);
}

TEST(ModelReaders, XmlAndBinaryGiveEqualTreesAndReportTheFormat) {
    orvex_format_t xml_format = ORVEX_FORMAT_NONE, bin_format = ORVEX_FORMAT_NONE;
    Structure *from_xml = Structure::FromMemory(read_file(data_path("library.xml")), &xml_format);
    const std::vector<char> bin = read_file(data_path("library.bin"));
    Structure *from_bin = Structure::FromMemory(bin.data(), bin.size(), &bin_format);
    ASSERT_NE(from_xml, nullptr);
    ASSERT_NE(from_bin, nullptr);
    EXPECT_EQ(xml_format, ORVEX_FORMAT_XML);
    EXPECT_EQ(bin_format, ORVEX_FORMAT_BINARY);
    EXPECT_TRUE(orvex_equal(from_xml->GetOrvex(), from_bin->GetOrvex()));
    Dictionary *d = dynamic_cast<Dictionary *>(from_bin);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->size(), d->GetSize());
    delete from_xml;
    delete from_bin;

    Structure *plain = Structure::FromBin(bin);
    ASSERT_NE(plain, nullptr);
    delete plain;
}

TEST(ModelReaders, DictionaryKeysInAnyOrderReachTheMirrorInByteOrder) {
    std::vector<std::string> many; // past any small-input sorting path
    for (int i = 40; i-- > 0;)
        many.push_back("same prefix " + std::to_string(i * 7 % 40) + std::string(size_t(i % 3), 'x'));
    const std::vector<std::vector<std::string>> cases = {
        {"b", std::string("a\0c", 3), std::string("a\0b", 3), "a"},        // equal once cut at the NUL byte
        {"ninechars", "eightchr", "sevench", "eightchr2", "ninechar", ""}, // around the 8-byte prefix
        {"a key too long to sit inline, second", "a key too long to sit inline, first", "z"},
        many,
    };
    for (const auto &keys : cases) {
        Structure *doc = Structure::FromBin(KeyedBin(keys));
        Dictionary *d = dynamic_cast<Dictionary *>(doc);
        ASSERT_NE(d, nullptr) << keys[0];
        EXPECT_EQ(mirror_mismatch(*d), "");
        delete doc;
    }
    // Bytes above 0x7F sort after ASCII; a document's order is kept nowhere.
    Structure *doc = Structure::FromXml("<plist><dict><key>\xC3\xA9</key><true/><key>z</key><false/>"
                                        "<key>Z</key><true/><key>zz</key><dict><key>b</key><true/>"
                                        "<key>a</key><false/></dict></dict></plist>");
    Dictionary *d = dynamic_cast<Dictionary *>(doc);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(mirror_mismatch(*d), "");
    EXPECT_EQ(d->Begin()->first, "Z");
    EXPECT_EQ(std::prev(d->End())->first, "\xC3\xA9");
    Dictionary *inner = dynamic_cast<Dictionary *>(d->Find("zz")->second);
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(mirror_mismatch(*inner), "");
    delete doc;
}

TEST(ModelReaders, RefuseSizesBeyond32Bits) {
    // The low 32 bits would name the whole, valid document.
    const std::vector<char> bin = read_file(data_path("empty-array.bin"));
    ASSERT_FALSE(bin.empty());
    Structure *ok = Structure::FromBin(bin.data(), bin.size());
    ASSERT_NE(ok, nullptr);
    delete ok;
    const uint64_t huge = (uint64_t(1) << 32) + bin.size();
    EXPECT_EQ(Structure::FromBin(bin.data(), huge), nullptr);
    orvex_format_t format = ORVEX_FORMAT_XML;
    EXPECT_EQ(Structure::FromMemory(bin.data(), huge, &format), nullptr);
    EXPECT_EQ(format, ORVEX_FORMAT_NONE);
}

TEST(ModelWriters, EncodeOnlyTheContainersSubtree) {
    Dictionary empty;
    const std::string xml = empty.ToXml();
    EXPECT_FALSE(xml.empty());
    Structure *back = Structure::FromXml(xml);
    ASSERT_NE(dynamic_cast<Dictionary *>(back), nullptr);
    EXPECT_EQ(back->GetSize(), 0u);
    delete back;

    Dictionary root;
    Array inner;
    inner.Append(Integer(int64_t(-1)));
    inner.Append(Data(std::vector<char>{'\0', '\1'}));
    root.Set("inner", inner);
    root.Set("other", String("not in the subtree"));
    const Array *held = static_cast<Array *>(root["inner"]);

    char *raw = nullptr;
    uint32_t raw_length = 0;
    orvex_to_bin(held->GetOrvex(), &raw, &raw_length);
    const std::vector<char> bin = held->ToBin();
    EXPECT_EQ(bin.size(), raw_length); // NUL bytes kept
    free(raw);
    for (Structure *again : {Structure::FromBin(bin), Structure::FromXml(held->ToXml())}) {
        ASSERT_NE(again, nullptr);
        EXPECT_TRUE(orvex_equal(again->GetOrvex(), inner.GetOrvex()));
        delete again;
    }
}

TEST(ModelReaders, StringHoldingNulKeepsEveryByteThroughCopies) {
    Structure *doc = Structure::FromBin(kNulString);
    Array *a = dynamic_cast<Array *>(doc);
    ASSERT_NE(a, nullptr);
    String *held = dynamic_cast<String *>((*a)[0]);
    ASSERT_NE(held, nullptr);
    uint64_t length = 0;
    orvex_get_string_ptr(held->GetOrvex(), &length);
    ASSERT_EQ(length, 3u);

    const std::string whole(orvex_get_string_ptr(held->GetOrvex(), nullptr), 3);
    EXPECT_EQ(held->GetValue(), whole);
    EXPECT_EQ(String(*held).GetValue(), whole);
    Array copies;
    copies.Append(held);
    orvex_get_string_ptr(copies[0]->GetOrvex(), &length);
    EXPECT_EQ(length, 3u);

    String assigned;
    assigned = *held;
    orvex_get_string_ptr(assigned.GetOrvex(), &length);
    EXPECT_EQ(length, 3u);
    delete doc;
}

TEST(ModelWriters, StrictJsonSaysWhichValueHasNoForm) {
    const std::pair<orvex_t, std::string> rows[] = {
        {orvex_new_unix_date(0), "date"},
        {orvex_new_data("", 0), "data"},
        {orvex_new_uid(1), "UID"},
        {orvex_new_real(NAN), "real NaN"},
        {orvex_new_real(INFINITY), "real infinity"},
        {orvex_new_real(-INFINITY), "real -infinity"},
    };
    for (const auto &row : rows) {
        const std::string json = R"({"Items": [0, 1, 2, {}]})";
        orvex_t store = nullptr;
        orvex_from_json(json.data(), uint32_t(json.size()), &store);
        orvex_dict_set_item(orvex_get_path(store, "Items.3"), "Add.ed", row.first);
        std::unique_ptr<Structure> d(static_cast<Structure *>(Node::FromOrvex(store, nullptr)));
        const Structure *items = static_cast<const Structure *>(d->At("Items"));
        std::string why = "stale";
        EXPECT_EQ(d->ToJson(false, false, &why), "");
        EXPECT_EQ(why, "the " + row.second + " at key path 'Items.3.Add\\.ed' has no JSON form");
        EXPECT_EQ(d->ToJson(false, false), ""); // as it always was
        EXPECT_EQ(items->ToJson(true, false, &why), "");
        EXPECT_EQ(why, "the " + row.second + " at key path '3.Add\\.ed' has no JSON form");
        EXPECT_EQ(d->ToJson(true, true, &why), d->ToJson(true, true)); // lossy writes it
        EXPECT_EQ(why, "");
    }
}
