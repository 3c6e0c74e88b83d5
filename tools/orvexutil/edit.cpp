// The key-path commands: extract and type read a value; set, insert and
// remove change the document and write it back in its own encoding.
#include "commands.hpp"
#include "diag.hpp"
#include "files.hpp"
#include "formats.hpp"
#include "keypath.hpp"
#include "values.hpp"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <utility>
#include <vector>

namespace orvexutil {

namespace {

// An edit command line: KEYPATH -TYPE [VALUE] [-append] FILE, the -TYPE
// read by its position.
struct EditLine {
    std::string keypath, option, value, file;
    bool append = false;
};

EditLine parse_edit(const std::string &command, const Args &args, bool with_value, bool may_append) {
    const Parsed parsed = parse_options(
        command, args, may_append ? std::vector<std::string>{"-append"} : std::vector<std::string>{}, {},
        with_value);
    EditLine line;
    line.append = parsed.has("-append");
    const std::vector<std::string> &ops = parsed.operands;
    size_t i = 0;
    auto next = [&](const char *what) -> const std::string & {
        if (i == ops.size())
            throw UsageError{command, std::string("expected ") + what};
        return ops[i++];
    };
    line.keypath = next("KEYPATH");
    if (with_value) {
        line.option = next("-TYPE");
        if (!is_type_option(line.option))
            throw UsageError{command, "unknown value type '" + line.option + "'"};
        if (type_takes_value(line.option))
            line.value = next("VALUE");
    }
    line.file = next("FILE");
    if (i < ops.size())
        throw UsageError{command, "unexpected argument '" + ops[i] + "'"};
    return line;
}

// Writes an edited document back over its file, in the encoding it was read in.
// The deepest nesting of containers in the tree at `root` (0 for a scalar),
// without recursion.
size_t container_depth(orvex_t root) {
    size_t deepest = 0;
    std::vector<std::pair<orvex_t, size_t>> todo{{root, 1}};
    while (!todo.empty()) {
        const auto [node, depth] = todo.back();
        todo.pop_back();
        const orvex_type type = orvex_get_node_type(node);
        if (type != ORVEX_ARRAY && type != ORVEX_DICT)
            continue;
        deepest = std::max(deepest, depth);
        if (type == ORVEX_ARRAY) {
            for (uint32_t i = 0, n = orvex_array_get_size(node); i < n; ++i)
                todo.emplace_back(orvex_array_get_item(node, i), depth + 1);
            continue;
        }
        for_each_entry(node, [&, depth = depth](const char *, uint64_t, orvex_t value) {
            todo.emplace_back(value, depth + 1);
        });
    }
    return deepest;
}

void write_back(const Document &doc) {
    if (!doc.format || !doc.format->write)
        throw Failure{doc.path, "its encoding cannot be written in this build"};
    // Readers refuse deeper documents: an edit must not write one.
    const size_t depth = container_depth(doc.handle());
    if (depth > ORVEX_MAX_DEPTH)
        throw Failure{doc.path, "the edit would nest containers " + std::to_string(depth) +
                                    " deep; documents may nest at most " + std::to_string(ORVEX_MAX_DEPTH)};
    // Written in the form it was read in. Typed forms appear only where the
    // tree holds a number, boolean or date, which plain OpenStep never reads
    // as: asking for them always keeps both kinds.
    // OpenStep and XML are written in the encoding they were read in; JSON
    // only in UTF-8 (RFC 8259), its mark put back by hand.
    WriteOptions options;
    const bool openstep = doc.format->id == ORVEX_FORMAT_OSTEP;
    const bool json = doc.format->id == ORVEX_FORMAT_JSON;
    const bool utf16 = doc.encoding == Encoding::UTF16LE || doc.encoding == Encoding::UTF16BE;
    if (openstep) {
        options.flags = OPT_TYPED;
        options.form = doc.bare_list ? ORVEX_WRITE_STRINGS : 0;
    }
    if (openstep || doc.format->id == ORVEX_FORMAT_XML)
        options.form |= doc.encoding == Encoding::UTF8_BOM  ? ORVEX_WRITE_BOM
                        : doc.encoding == Encoding::UTF16LE ? ORVEX_WRITE_UTF16LE
                        : doc.encoding == Encoding::UTF16BE ? ORVEX_WRITE_UTF16BE
                                                            : 0;
    std::string bytes = encode(*doc.format, doc.handle(), options, doc.path);
    if (json && doc.encoding == Encoding::UTF8_BOM)
        bytes.insert(0, "\xEF\xBB\xBF");
    if (doc.path == "-")
        refuse_terminal("", *doc.format);
    deliver(doc.path, bytes);
    if (doc.had_comments)
        report(doc.path, "note: its comments were not kept");
    if (utf16 && json)
        report(doc.path, "note: written back in UTF-8, not the UTF-16 it was read in");
}

Failure container_expected(const Document &doc, const KeyPath &path, const char *what, orvex_t found) {
    return Failure{doc.path, "key path '" + path.text() + "' is " + a_type(orvex_get_node_type(found)) +
                                 ", not " + what};
}

int edit(const std::string &command, const Args &args) {
    const EditLine line = parse_edit(command, args, command != "remove", command == "insert");
    const KeyPath path(command, line.keypath);
    std::unique_ptr<Orvex::Node> value;
    if (command != "remove")
        value = make_value(command, line.option, line.value);
    Document doc = Document::load(line.file);
    const size_t depth = path.parts().size();
    const std::string &last = path.parts().back();

    if (line.append) {
        const orvex_t found = follow(doc, path, depth);
        if (orvex_get_node_type(found) != ORVEX_ARRAY)
            throw container_expected(doc, path, "an array", found);
        auto *array = static_cast<Orvex::Array *>(wrapper_at(doc, path, depth));
        array->Append(*value);
        keep_exact(array->Back()->GetOrvex(), value->GetOrvex());
        write_back(doc);
        return STATUS_OK;
    }

    const orvex_type type = orvex_get_node_type(follow(doc, path, depth - 1));
    if (type == ORVEX_DICT) {
        auto *dict = static_cast<Orvex::Dictionary *>(wrapper_at(doc, path, depth - 1));
        const bool present = dict->Find(last) != dict->End();
        if (command == "remove") {
            if (!present)
                follow(doc, path, depth); // names what is missing
            dict->Remove(last);
        } else {
            if (command == "insert" && present)
                throw Failure{doc.path, "key path '" + path.text() + "': " +
                                            (depth == 1 ? "the root" : "'" + path.prefix(depth - 1) + "'") +
                                            " already has '" + last + "'"};
            auto entry = dict->Set(last, *value);
            keep_exact(entry->second->GetOrvex(), value->GetOrvex());
        }
    } else if (type == ORVEX_ARRAY) {
        auto *array = static_cast<Orvex::Array *>(wrapper_at(doc, path, depth - 1));
        uint32_t position = 0;
        const bool is_position = orvex_path_position(last.c_str(), last.size(), &position) != 0;
        // insert may also add at the end
        if (!(is_position &&
              (position < array->size() || (command == "insert" && position == array->size()))))
            follow(doc, path, depth); // names what is missing
        if (command != "insert")
            array->Remove(position);
        if (command != "remove") {
            array->Insert(*value, position);
            keep_exact((*array)[position]->GetOrvex(), value->GetOrvex());
        }
    } else {
        follow(doc, path, depth); // a scalar holds nothing: names what is missing
    }
    write_back(doc);
    return STATUS_OK;
}

} // namespace

int extract_command(const Args &args) {
    const Parsed parsed = parse_options(
        "extract", args, {"--raw", "-n", "--pretty", "--lossy", "--typed", "--sort-keys"}, {"-o", "-expect"});
    if (parsed.operands.size() != 3)
        throw UsageError{"extract", "expected KEYPATH FORMAT FILE"};
    const KeyPath path("extract", parsed.operands[0]);
    const WriteOptions options = write_options(parsed);
    const bool raw = parsed.has("--raw");
    if (parsed.has("-n") && !raw)
        throw UsageError{"extract", "-n applies to --raw only"};
    const std::string *expect = parsed.value("-expect");
    orvex_type expected = ORVEX_NONE;
    if (expect && !parse_type_name(*expect, expected))
        throw UsageError{"extract", "-expect '" + *expect + "': not a type (" + type_names() + ")"};
    const Format *format = find_format(parsed.operands[1]);
    if (!raw)
        format = &writable_format("extract", parsed.operands[1], options);
    else if (!format)
        throw UsageError{"extract",
                         "unknown format '" + parsed.operands[1] + "' (one of " + format_names() + ")"};
    const std::string *out = parsed.value("-o");
    if (!out && !raw)
        refuse_terminal("extract", *format);

    const Document doc = Document::load(parsed.operands[2]);
    const orvex_t found = follow(doc, path, path.parts().size());
    if (expect && !same_type(orvex_get_node_type(found), expected))
        throw Failure{doc.path, "key path '" + path.text() + "' is " + a_type(orvex_get_node_type(found)) +
                                    ", not " + a_type(expected)};
    std::string bytes;
    if (raw) {
        if (!raw_text(found, bytes))
            throw UsageError{"extract", "--raw needs a scalar; key path '" + path.text() + "' is " +
                                            a_type(orvex_get_node_type(found))};
        if (!parsed.has("-n"))
            bytes += "\n";
    } else {
        bytes = encode(*format, found, options, doc.path);
    }
    deliver(out ? *out : "-", bytes);
    return STATUS_OK;
}

int type_command(const Args &args) {
    const Parsed parsed = parse_options("type", args, {}, {});
    if (parsed.operands.size() != 2)
        throw UsageError{"type", "expected KEYPATH FILE"};
    const KeyPath path("type", parsed.operands[0]);
    const Document doc = Document::load(parsed.operands[1]);
    const orvex_t found = follow(doc, path, path.parts().size());
    write_stdout(std::string(type_name(orvex_get_node_type(found))) + "\n");
    return STATUS_OK;
}

int set_command(const Args &args) { return edit("set", args); }
int insert_command(const Args &args) { return edit("insert", args); }
int remove_command(const Args &args) { return edit("remove", args); }

} // namespace orvexutil
