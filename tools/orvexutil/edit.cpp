// The key-path commands: extract and type read a value; set, insert, remove,
// edit, copy and merge change the document through orvex_edit, which keeps
// every byte of a text document but those of what changed.
#include "commands.hpp"
#include "diag.hpp"
#include "files.hpp"
#include "formats.hpp"
#include "keypath.hpp"
#include "values.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>
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

Failure container_expected(const Document &doc, const KeyPath &path, const char *what, orvex_t found) {
    return Failure{doc.path, "key path '" + path.text() + "' is " + a_type(orvex_get_node_type(found)) +
                                 ", not " + what};
}

// One edit for orvex_edit, with what the tool's messages name.
struct Op {
    Op(orvex_edit_kind k, KeyPath p, bool at_end = false, orvex_t v = nullptr)
        : kind(k), path(std::move(p)), append(at_end), value(v) {}
    orvex_edit_kind kind;
    KeyPath path;
    bool append;       // insert at the end of the array at `path`
    orvex_t value;     // lent: by a value made from the command line or by the document read
    std::string label; // before each message about it: "" for a single edit
};

orvex_edit_kind kind_of(const std::string &command) {
    return command == "set" ? ORVEX_EDIT_SET : command == "insert" ? ORVEX_EDIT_INSERT : ORVEX_EDIT_REMOVE;
}

// The key path orvex_edit is given for `op` in `doc`. Looks the path up
// first, as extract and type do, so that a refusal reads as theirs; throws
// Failure naming what is missing or already there.
std::string resolve(const Document &doc, const Op &op) {
    const KeyPath &path = op.path;
    const size_t depth = path.parts().size();
    if (op.append) {
        const orvex_t found = follow(doc, path, depth);
        if (orvex_get_node_type(found) != ORVEX_ARRAY)
            throw container_expected(doc, path, "an array", found);
        return path.text() + "." + std::to_string(orvex_array_get_size(found));
    }
    const std::string &last = path.parts().back();
    const orvex_t parent = follow(doc, path, depth - 1);
    const orvex_type type = orvex_get_node_type(parent);
    if (type == ORVEX_DICT) {
        if (op.kind == ORVEX_EDIT_REMOVE)
            follow(doc, path, depth); // names what is missing
        else if (op.kind == ORVEX_EDIT_INSERT && orvex_get_path(doc.handle(), path.text().c_str()))
            throw Failure{doc.path, "key path '" + path.text() + "': " +
                                        (depth == 1 ? "the root" : "'" + path.prefix(depth - 1) + "'") +
                                        " already has '" + last + "'"};
    } else if (type == ORVEX_ARRAY) {
        uint32_t position = 0;
        const bool is_position = orvex_path_position(last.c_str(), last.size(), &position) != 0;
        const uint32_t size = orvex_array_get_size(parent);
        // insert may also add at the end
        if (!(is_position && (position < size || (op.kind == ORVEX_EDIT_INSERT && position == size))))
            follow(doc, path, depth); // names what is missing
    } else {
        follow(doc, path, depth); // a scalar holds nothing: names what is missing
    }
    return path.text();
}

std::string resolve_labelled(const Document &doc, const Op &op) {
    try {
        return resolve(doc, op);
    } catch (Failure &failure) {
        failure.message = op.label + failure.message;
        throw;
    }
}

using Buffer = std::unique_ptr<char, void (*)(void *)>;

// orvex_edit over `ops` with their `paths`, the buffer it returns.
Buffer run_edit(const std::string &bytes, const std::vector<Op> &ops, size_t first,
                const std::vector<std::string> &paths, orvex_edit_result &result, uint64_t &length) {
    std::vector<orvex_edit_op> raw;
    for (size_t i = 0; i < paths.size(); i++)
        raw.push_back({ops[first + i].kind, paths[i].c_str(), ops[first + i].value});
    char *out = nullptr;
    length = 0;
    orvex_edit(bytes.data(), bytes.size(), ORVEX_FORMAT_NONE, raw.data(), uint32_t(raw.size()), &out, &length,
               &result);
    return Buffer(out, std::free);
}

// Throws the Failure for the op orvex_edit refused among `ops[first..]`:
// the tool's own words when a lookup in the document as the ops before it
// leave it finds the cause, the editor's otherwise.
[[noreturn]] void refused(const std::string &file, const std::string &bytes, const std::vector<Op> &ops,
                          size_t first, const std::vector<std::string> &paths,
                          const orvex_edit_result &result) {
    if (result.refusal == ORVEX_EDIT_OUT_OF_MEMORY)
        throw std::bad_alloc();
    if (result.refusal == ORVEX_EDIT_BAD_DOCUMENT)
        throw Failure{file, rejection_text(result.parse)};
    if (result.op == ORVEX_EDIT_NO_OP || result.op >= paths.size())
        throw Failure{file, result.reason ? result.reason : orvex_err_text(result.code)};
    const size_t at = first + result.op;
    const Op &op = ops[at];
    if (result.refusal == ORVEX_EDIT_TOO_DEEP) {
        const size_t depth = op.path.parts().size() + (op.append ? 1 : 0) + container_depth(op.value);
        throw Failure{file, op.label + "the edit would nest containers " + std::to_string(depth) +
                                " deep; documents may nest at most " + std::to_string(ORVEX_MAX_DEPTH)};
    }
    if (result.op > 0 && (result.refusal == ORVEX_EDIT_ABSENT || result.refusal == ORVEX_EDIT_EXISTS ||
                          result.refusal == ORVEX_EDIT_NO_CONTAINER)) {
        orvex_edit_result before{};
        uint64_t length = 0;
        const Buffer out =
            run_edit(bytes, ops, first, std::vector<std::string>(paths.begin(), paths.begin() + result.op),
                     before, length);
        if (out) {
            const Document doc = Document::parse(file, out.get(), size_t(length));
            resolve_labelled(doc, op);
        }
    }
    throw Failure{file, op.label + "key path '" + op.path.text() +
                            "': " + (result.reason ? result.reason : orvex_err_text(result.code))};
}

// `bytes` with `ops` applied in order, all or none; the document's format
// through `format`. Ops run in one orvex_edit call, but for an append: the
// end of an array is looked up in the document as the ops before it left it.
std::string apply(const std::string &file, std::string bytes, const std::vector<Op> &ops,
                  const Format *&format) {
    {
        const Document doc = Document::parse(file, bytes.data(), bytes.size());
        format = doc.format;
    }
    for (size_t first = 0; first < ops.size();) {
        size_t end = first + 1;
        while (end < ops.size() && !ops[end].append)
            end++;
        std::vector<std::string> paths;
        {
            const Document doc = Document::parse(file, bytes.data(), bytes.size());
            paths.push_back(resolve_labelled(doc, ops[first]));
        }
        for (size_t i = first + 1; i < end; i++)
            paths.push_back(ops[i].path.text());
        orvex_edit_result result{};
        uint64_t length = 0;
        const Buffer out = run_edit(bytes, ops, first, paths, result, length);
        if (!out)
            refused(file, bytes, ops, first, paths, result);
        bytes.assign(out.get(), size_t(length));
        first = end;
    }
    return bytes;
}

std::string bytes_of(const std::string &file) {
    const Bytes read = read_input(file);
    return std::string(read.empty() ? "" : read.data(), read.size());
}

void write_back(const std::string &file, const std::string &bytes, const Format *format) {
    if (file == "-" && format)
        refuse_terminal("", *format);
    deliver(file, bytes);
}

int edit(const std::string &command, const Args &args) {
    const EditLine line = parse_edit(command, args, command != "remove", command == "insert");
    Op op{kind_of(command), KeyPath(command, line.keypath), line.append};
    std::unique_ptr<Orvex::Node> value;
    if (command != "remove") {
        value = make_value(command, line.option, line.value);
        op.value = value->GetOrvex();
    }
    const Format *format = nullptr;
    const std::string bytes = apply(line.file, bytes_of(line.file), {op}, format);
    write_back(line.file, bytes, format);
    return STATUS_OK;
}

// A key as one part of a key path.
std::string escape_key(const char *key, uint64_t length) {
    std::string part;
    for (uint64_t i = 0; i < length; i++) {
        if (key[i] == '.' || key[i] == '\\')
            part += '\\';
        part += key[i];
    }
    return part;
}

} // namespace

int edit_command(const Args &args) {
    if (args.empty())
        throw UsageError{"edit", "expected FILE"};
    const std::string &file = args[0];
    std::vector<Op> ops;
    std::vector<std::unique_ptr<Orvex::Node>> values;
    for (size_t i = 1; i < args.size();) {
        auto next = [&](const char *what) -> const std::string & {
            if (i == args.size())
                throw UsageError{"edit", "edit " + std::to_string(ops.size() + 1) + ": expected " + what};
            return args[i++];
        };
        const std::string command = next("set, insert or remove");
        if (command != "set" && command != "insert" && command != "remove")
            throw UsageError{"edit", "edit " + std::to_string(ops.size() + 1) + ": '" + command +
                                         "' is not set, insert or remove"};
        const std::string keypath = next("KEYPATH");
        Op op{kind_of(command), KeyPath("edit", keypath)};
        op.label = "edit " + std::to_string(ops.size() + 1) + " (" + command + " " + keypath + "): ";
        if (command != "remove") {
            const std::string option = next("-TYPE");
            if (!is_type_option(option))
                throw UsageError{"edit", "unknown value type '" + option + "'"};
            values.push_back(make_value("edit", option, type_takes_value(option) ? next("VALUE") : ""));
            op.value = values.back()->GetOrvex();
        }
        if (command == "insert" && i < args.size() && args[i] == "-append") {
            op.append = true;
            i++;
        }
        ops.push_back(std::move(op));
        if (i == args.size())
            break;
        // A ',' VALUE was read above: only one standing here separates.
        if (args[i] != ",")
            throw UsageError{"edit", "expected ',' after edit " + std::to_string(ops.size()) + ", not '" +
                                         args[i] + "'"};
        if (++i == args.size())
            throw UsageError{"edit", "expected an edit after the last ','"};
    }
    if (ops.empty())
        throw UsageError{"edit", "expected at least one edit after FILE"};
    const Format *format = nullptr;
    const std::string bytes = apply(file, bytes_of(file), ops, format);
    write_back(file, bytes, format);
    return STATUS_OK;
}

int copy_command(const Args &args) {
    const Parsed parsed = parse_options("copy", args, {}, {});
    if (parsed.operands.size() != 3)
        throw UsageError{"copy", "expected FROM TO FILE"};
    const KeyPath from("copy", parsed.operands[0]);
    const std::string &file = parsed.operands[2];
    std::string bytes = bytes_of(file);
    const Document doc = Document::parse(file, bytes.data(), bytes.size());
    Op op{ORVEX_EDIT_SET, KeyPath("copy", parsed.operands[1])};
    op.value = follow(doc, from, from.parts().size());
    const Format *format = nullptr;
    bytes = apply(file, std::move(bytes), {op}, format);
    write_back(file, bytes, format);
    return STATUS_OK;
}

int merge_command(const Args &args) {
    const Parsed parsed = parse_options("merge", args, {}, {});
    if (parsed.operands.size() != 3)
        throw UsageError{"merge", "expected FROM TO FILE"};
    const KeyPath from("merge", parsed.operands[0]), to("merge", parsed.operands[1]);
    const std::string &file = parsed.operands[2];
    std::string bytes = bytes_of(file);
    const Document doc = Document::parse(file, bytes.data(), bytes.size());
    const orvex_t source = follow(doc, from, from.parts().size());
    if (orvex_get_node_type(source) != ORVEX_DICT)
        throw container_expected(doc, from, "a dictionary", source);
    const orvex_t target = follow(doc, to, to.parts().size());
    if (orvex_get_node_type(target) != ORVEX_DICT)
        throw container_expected(doc, to, "a dictionary", target);
    std::vector<Op> ops;
    for_each_entry(source, [&](const char *key, uint64_t length, orvex_t value) {
        if (std::memchr(key, 0, size_t(length)))
            throw Failure{file, "key path '" + from.text() +
                                    "' holds a key with a NUL byte, which no key "
                                    "path names"};
        Op op{ORVEX_EDIT_SET, KeyPath("merge", to.text() + "." + escape_key(key, length))};
        op.value = value;
        ops.push_back(std::move(op));
    });
    const Format *format = nullptr;
    bytes = apply(file, std::move(bytes), ops, format);
    write_back(file, bytes, format);
    return STATUS_OK;
}

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
