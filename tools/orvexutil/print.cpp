// print: the document as an indented tree for people, or with --json as
// typed JSON for programs.
#include "commands.hpp"
#include "diag.hpp"
#include "files.hpp"
#include "formats.hpp"
#include "keypath.hpp"
#include "text/json_text.hpp"
#include "text/utf8.hpp"
#include "values.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace orvexutil {

namespace {

// Where a value stands: under a key, at a position, or at the root.
struct Label {
    enum { ROOT, KEY, POSITION } kind;
    std::string key;
    uint32_t position;
};

class Visitor {
  public:
    virtual ~Visitor() = default;
    virtual void scalar(const Label &label, orvex_t node, size_t depth) = 0;
    virtual void open(const Label &label, orvex_t node, size_t depth) = 0;
    virtual void close(orvex_t node, size_t depth) = 0;
};

struct Freer {
    void operator()(void *p) const { std::free(p); }
};

// Visits the tree at `root` in document order, with a stack of its own so
// that no depth is too deep.
void walk(orvex_t root, Visitor &visitor) {
    struct Level {
        orvex_t node;
        std::unique_ptr<void, Freer> iter; // dictionaries
        uint32_t next;                     // arrays
    };
    std::vector<Level> stack;
    auto enter = [&](const Label &label, orvex_t node) {
        const orvex_type type = orvex_get_node_type(node);
        if (type != ORVEX_DICT && type != ORVEX_ARRAY) {
            visitor.scalar(label, node, stack.size());
            return;
        }
        visitor.open(label, node, stack.size());
        Level level{node, nullptr, 0};
        if (type == ORVEX_DICT) {
            orvex_dict_iter iter = nullptr;
            orvex_dict_new_iter(node, &iter);
            if (!iter)
                throw std::bad_alloc();
            level.iter.reset(iter);
        }
        stack.push_back(std::move(level));
    };
    enter(Label{Label::ROOT, "", 0}, root);
    while (!stack.empty()) {
        Level &top = stack.back();
        if (top.iter) {
            const char *key = nullptr;
            uint64_t length = 0;
            orvex_t value = nullptr;
            orvex_dict_next_item_ref(top.node, top.iter.get(), &key, &length, &value);
            if (key) {
                enter(Label{Label::KEY, std::string(key, length), 0}, value);
                continue;
            }
        } else if (top.next < orvex_array_get_size(top.node)) {
            const uint32_t position = top.next++;
            enter(Label{Label::POSITION, "", position}, orvex_array_get_item(top.node, position));
            continue;
        }
        const orvex_t done = top.node;
        stack.pop_back();
        visitor.close(done, stack.size());
    }
}

// Text in double quotes with C-style escapes for quotes, backslashes and
// control characters; other bytes as they are.
std::string quoted(const std::string &text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\x%02x", c);
                out += buf;
            } else {
                out += char(c);
            }
        }
    }
    return out + "\"";
}

std::string count_text(uint32_t n, const char *one, const char *many) {
    return n == 0 ? "(empty)" : "(" + std::to_string(n) + " " + (n == 1 ? one : many) + ")";
}

class TreePrinter : public Visitor {
  public:
    std::string out;
    void scalar(const Label &label, orvex_t node, size_t depth) override {
        line(label, depth, describe(node));
    }
    void open(const Label &label, orvex_t node, size_t depth) override {
        line(label, depth,
             orvex_get_node_type(node) == ORVEX_DICT
                 ? "dictionary " + count_text(orvex_dict_get_size(node), "entry", "entries")
                 : "array " + count_text(orvex_array_get_size(node), "item", "items"));
    }
    void close(orvex_t, size_t) override {}

  private:
    void line(const Label &label, size_t depth, const std::string &text) {
        out.append(depth * 2, ' ');
        if (label.kind == Label::KEY)
            out += (needs_quotes(label.key) ? quoted(label.key) : label.key) + ": ";
        else if (label.kind == Label::POSITION)
            out += std::to_string(label.position) + ": ";
        out += text + "\n";
    }
    static bool needs_quotes(const std::string &key) {
        if (key.empty() || key.front() == ' ' || key.back() == ' ' || key.front() == '"')
            return true;
        for (unsigned char c : key)
            if (c < 0x20 || c == 0x7F || c == ':')
                return true;
        return false;
    }
    static std::string describe(orvex_t node) {
        std::string text;
        switch (orvex_get_node_type(node)) {
        case ORVEX_STRING:
            raw_text(node, text);
            return quoted(text);
        case ORVEX_KEY:
            raw_text(node, text);
            return "key " + quoted(text);
        case ORVEX_DATE:
            raw_text(node, text);
            return "date " + text;
        case ORVEX_UID:
            raw_text(node, text);
            return "uid " + text;
        case ORVEX_NULL:
            return "null";
        case ORVEX_DATA: {
            uint64_t length = 0;
            const char *bytes = orvex_get_data_ptr(node, &length);
            text = "data (" + std::to_string(length) + (length == 1 ? " byte)" : " bytes)");
            const uint64_t shown = length < 16 ? length : 16;
            for (uint64_t i = 0; i < shown; i++) {
                char buf[4];
                std::snprintf(buf, sizeof buf, " %02x", unsigned(uint8_t(bytes[i])));
                text += buf;
            }
            return shown < length ? text + " ..." : text;
        }
        default:
            raw_text(node, text);
            return text;
        }
    }
};

// JSON text as the JSON writer escapes it; bytes that are not UTF-8 become
// U+FFFD, so the output always parses.
std::string json_string(const std::string &text) {
    using orvex_store::JSON_SPECIAL;
    std::string out = "\"";
    const auto *p = reinterpret_cast<const unsigned char *>(text.data()), *e = p + text.size();
    while (p < e) {
        const unsigned char *run = p;
        while (p < e && !JSON_SPECIAL.v[*p])
            ++p;
        out.append(reinterpret_cast<const char *>(run), size_t(p - run));
        if (p == e)
            break;
        if (const size_t n = *p >= 0x80 ? orvex_store::utf8_seq_len(p, e) : 0) {
            out.append(reinterpret_cast<const char *>(p), n);
            p += n;
            continue;
        }
        char buf[orvex_store::JSON_ESCAPE_MAX];
        out.append(buf, orvex_store::json_escape(*p++, buf));
    }
    return out + "\"";
}

// Every value as {"type": ..., "value": ...}; arrays as "items", dictionaries
// as "entries" in document order.
class JsonPrinter : public Visitor {
  public:
    std::string out;
    void scalar(const Label &label, orvex_t node, size_t depth) override {
        begin(label, depth, orvex_get_node_type(node));
        std::string text;
        switch (orvex_get_node_type(node)) {
        case ORVEX_NULL:
            break;
        case ORVEX_BOOLEAN:
        case ORVEX_INT:
        case ORVEX_UID:
            raw_text(node, text);
            out += ", \"value\": " + text;
            break;
        case ORVEX_REAL: {
            double value = 0;
            orvex_get_real_val(node, &value);
            raw_text(node, text);
            out += ", \"value\": " + (std::isfinite(value) ? text : json_string(text));
            break;
        }
        case ORVEX_DATA: {
            uint64_t length = 0;
            orvex_get_data_ptr(node, &length);
            raw_text(node, text);
            out += ", \"size\": " + std::to_string(length) + ", \"value\": " + json_string(text);
            break;
        }
        default:
            raw_text(node, text);
            out += ", \"value\": " + json_string(text);
        }
        out += "}";
    }
    void open(const Label &label, orvex_t node, size_t depth) override {
        const orvex_type type = orvex_get_node_type(node);
        begin(label, depth, type);
        out += type == ORVEX_DICT ? ", \"entries\": {" : ", \"items\": [";
        first.push_back(true);
    }
    void close(orvex_t node, size_t depth) override {
        const bool empty = first.back();
        first.pop_back();
        if (!empty) {
            out += "\n";
            out.append(depth * 2, ' ');
        }
        out += orvex_get_node_type(node) == ORVEX_DICT ? "}}" : "]}";
        if (depth == 0)
            out += "\n";
    }

  private:
    std::vector<bool> first; // per open container: nothing written in it yet
    void begin(const Label &label, size_t depth, orvex_type type) {
        if (!first.empty()) {
            out += first.back() ? "\n" : ",\n";
            first.back() = false;
            out.append(depth * 2, ' ');
        }
        if (label.kind == Label::KEY)
            out += json_string(label.key) + ": ";
        out += std::string("{\"type\": \"") + type_name(type) + "\"";
    }
};

} // namespace

int print_command(const Args &args) {
    const Parsed parsed = parse_options("print", args, {"--json"}, {});
    if (parsed.operands.size() != 1)
        throw UsageError{"print", "expected one FILE"};
    const Document doc = Document::load(parsed.operands[0]);
    if (parsed.has("--json")) {
        JsonPrinter printer;
        walk(doc.handle(), printer);
        if (orvex_get_node_type(doc.handle()) != ORVEX_DICT &&
            orvex_get_node_type(doc.handle()) != ORVEX_ARRAY)
            printer.out += "\n";
        write_stdout(printer.out);
    } else {
        TreePrinter printer;
        walk(doc.handle(), printer);
        write_stdout(printer.out);
    }
    return STATUS_OK;
}

} // namespace orvexutil
