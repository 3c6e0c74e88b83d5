#include "expect_tree.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace orvex_test {
namespace {

// A small JSON reader for the sample trees: objects, arrays, strings.
struct Json {
    const std::string &s;
    size_t i = 0;

    void ws() {
        while (i < s.size() && std::strchr(" \t\r\n", s[i]))
            ++i;
    }
    void expect(char c) {
        ws();
        if (i >= s.size() || s[i] != c)
            throw std::runtime_error(std::string("expected ") + c);
        ++i;
    }
    bool peek(char c) {
        ws();
        return i < s.size() && s[i] == c;
    }
    static void put_utf8(std::string &o, unsigned long cp) {
        if (cp < 0x80) {
            o += char(cp);
        } else if (cp < 0x800) {
            o += char(0xC0 | (cp >> 6));
            o += char(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            o += char(0xE0 | (cp >> 12));
            o += char(0x80 | ((cp >> 6) & 0x3F));
            o += char(0x80 | (cp & 0x3F));
        } else {
            o += char(0xF0 | (cp >> 18));
            o += char(0x80 | ((cp >> 12) & 0x3F));
            o += char(0x80 | ((cp >> 6) & 0x3F));
            o += char(0x80 | (cp & 0x3F));
        }
    }
    unsigned long hex4() {
        if (i + 4 > s.size())
            throw std::runtime_error("short escape");
        unsigned long v = std::stoul(s.substr(i, 4), nullptr, 16);
        i += 4;
        return v;
    }
    std::string str() {
        expect('"');
        std::string o;
        while (i < s.size() && s[i] != '"') {
            char c = s[i++];
            if (c != '\\') {
                o += c;
                continue;
            }
            char e = s[i++];
            switch (e) {
            case 'n':
                o += '\n';
                break;
            case 't':
                o += '\t';
                break;
            case 'r':
                o += '\r';
                break;
            case 'b':
                o += '\b';
                break;
            case 'f':
                o += '\f';
                break;
            case 'u': {
                unsigned long cp = hex4();
                if (cp >= 0xD800 && cp < 0xDC00 && s.compare(i, 2, "\\u") == 0) {
                    i += 2;
                    unsigned long lo = hex4();
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
                }
                put_utf8(o, cp);
                break;
            }
            default:
                o += e;
            }
        }
        expect('"');
        return o;
    }
};

double date_since_2001(const std::string &t) {
    struct tm tm {};
    int y, mo, d, h, mi;
    double sec;
    if (std::sscanf(t.c_str(), "%d-%d-%dT%d:%d:%lfZ", &y, &mo, &d, &h, &mi, &sec) != 6)
        throw std::runtime_error("bad date " + t);
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    double whole = std::floor(sec);
    tm.tm_sec = int(whole);
    time_t unix_sec = timegm(&tm);
    return double(unix_sec) - 978307200.0 + (sec - whole);
}

std::vector<unsigned char> base64(const std::string &in) {
    static const std::string alpha = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::vector<unsigned char> out;
    unsigned acc = 0;
    int bits = 0;
    for (char c : in) {
        size_t v = alpha.find(c);
        if (v == std::string::npos)
            continue;
        acc = (acc << 6) | unsigned(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back((acc >> bits) & 0xFF);
        }
    }
    return out;
}

orvex_t value(Json &j);

orvex_t scalar(const std::string &kind, const std::string &text) {
    if (kind == "bool")
        return orvex_new_bool(text == "true");
    if (kind == "int") {
        if (!text.empty() && text[0] == '-')
            return orvex_new_int(std::strtoll(text.c_str(), nullptr, 10));
        return orvex_new_uint(std::strtoull(text.c_str(), nullptr, 10));
    }
    if (kind == "real") {
        if (text == "nan")
            return orvex_new_real(NAN);
        if (text == "inf")
            return orvex_new_real(INFINITY);
        if (text == "-inf")
            return orvex_new_real(-INFINITY);
        return orvex_new_real(std::strtod(text.c_str(), nullptr));
    }
    if (kind == "string") {
        orvex_t n = orvex_new_string("");
        // Text may hold NUL bytes: go through data, then retype in place is
        // not possible from C, so build from the bytes when they are NUL-free.
        if (text.find('\0') != std::string::npos)
            throw std::runtime_error("NUL in expected string is not representable");
        orvex_set_string_val(n, text.c_str());
        return n;
    }
    if (kind == "data") {
        auto bytes = base64(text);
        return orvex_new_data(reinterpret_cast<const char *>(bytes.data()), bytes.size());
    }
    if (kind == "date")
        return orvex_new_date(date_since_2001(text));
    if (kind == "uid")
        return orvex_new_uid(std::strtoull(text.c_str(), nullptr, 10));
    throw std::runtime_error("unknown kind " + kind);
}

orvex_t value(Json &j) {
    j.expect('{');
    std::string kind = j.str();
    j.expect(':');
    orvex_t result = nullptr;
    if (kind == "array") {
        result = orvex_new_array();
        j.expect('[');
        while (!j.peek(']')) {
            orvex_array_append_item(result, value(j));
            if (j.peek(','))
                j.expect(',');
        }
        j.expect(']');
    } else if (kind == "dict") {
        result = orvex_new_dict();
        j.expect('[');
        while (!j.peek(']')) {
            j.expect('[');
            std::string key = j.str();
            j.expect(',');
            orvex_dict_set_item(result, key.c_str(), value(j));
            j.expect(']');
            if (j.peek(','))
                j.expect(',');
        }
        j.expect(']');
    } else if (kind == "bool") {
        j.ws();
        bool t = j.s.compare(j.i, 4, "true") == 0;
        j.i += t ? 4 : 5;
        result = scalar(kind, t ? "true" : "false");
    } else {
        result = scalar(kind, j.str());
    }
    while (j.peek(',')) { // "approx" and other annotations
        j.expect(',');
        j.str();
        j.expect(':');
        j.str();
    }
    j.expect('}');
    return result;
}

void dump(orvex_t n, std::ostringstream &o, int depth) {
    std::string pad(size_t(depth) * 2, ' ');
    switch (orvex_get_node_type(n)) {
    case ORVEX_ARRAY: {
        o << pad << "array\n";
        for (uint32_t i = 0; i < orvex_array_get_size(n); ++i)
            dump(orvex_array_get_item(n, i), o, depth + 1);
        break;
    }
    case ORVEX_DICT: {
        o << pad << "dict\n";
        orvex_dict_iter it = nullptr;
        orvex_dict_new_iter(n, &it);
        for (;;) {
            char *k = nullptr;
            orvex_t v = nullptr;
            orvex_dict_next_item(n, it, &k, &v);
            if (!v) {
                std::free(k);
                break;
            }
            o << pad << "  key " << k << "\n";
            std::free(k);
            dump(v, o, depth + 2);
        }
        std::free(it);
        break;
    }
    case ORVEX_INT: {
        int64_t s = 0;
        uint64_t u = 0;
        orvex_get_int_val(n, &s);
        orvex_get_uint_val(n, &u);
        if (orvex_int_val_is_negative(n))
            o << pad << "int " << s << "\n";
        else
            o << pad << "int " << u << "\n";
        break;
    }
    case ORVEX_REAL: {
        double d = 0;
        orvex_get_real_val(n, &d);
        char buf[64];
        std::snprintf(buf, sizeof buf, "%a", d);
        o << pad << "real " << buf << "\n";
        break;
    }
    case ORVEX_DATE: {
        double d = 0;
        orvex_get_date_val(n, &d);
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.6f", d);
        o << pad << "date " << buf << "\n";
        break;
    }
    case ORVEX_STRING: {
        uint64_t len = 0;
        const char *p = orvex_get_string_ptr(n, &len);
        o << pad << "string \"" << std::string(p, len) << "\"\n";
        break;
    }
    case ORVEX_KEY: {
        char *k = nullptr;
        orvex_get_key_val(n, &k);
        o << pad << "key " << (k ? k : "") << "\n";
        std::free(k);
        break;
    }
    case ORVEX_DATA: {
        uint64_t len = 0;
        orvex_get_data_ptr(n, &len);
        o << pad << "data (" << len << " bytes)\n";
        break;
    }
    case ORVEX_BOOLEAN: {
        uint8_t b = 0;
        orvex_get_bool_val(n, &b);
        o << pad << (b ? "true" : "false") << "\n";
        break;
    }
    case ORVEX_UID: {
        uint64_t u = 0;
        orvex_get_uid_val(n, &u);
        o << pad << "uid " << u << "\n";
        break;
    }
    case ORVEX_NULL:
        o << pad << "null\n";
        break;
    default:
        o << pad << "(none)\n";
    }
}

} // namespace

orvex_t expect_tree_from_json(const std::string &json) {
    Json j{json};
    return value(j);
}

orvex_t load_expect_tree(const std::string &path) {
    auto bytes = read_file(path);
    if (bytes.empty())
        return nullptr;
    return expect_tree_from_json(std::string(bytes.begin(), bytes.end()));
}

std::vector<char> read_file(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

void push_children(orvex_t n, std::vector<orvex_t> &todo) {
    const orvex_type t = orvex_get_node_type(n);
    if (t == ORVEX_ARRAY) {
        for (uint32_t i = 0; i < orvex_array_get_size(n); ++i)
            todo.push_back(orvex_array_get_item(n, i));
    } else if (t == ORVEX_DICT) {
        orvex_dict_iter it = nullptr;
        orvex_dict_new_iter(n, &it);
        for (orvex_t v = nullptr; orvex_dict_next_item(n, it, nullptr, &v), v;)
            todo.push_back(v);
        std::free(it);
    }
}

orvex_t copy_with(orvex_t tree, const std::function<void(orvex_t)> &fix) {
    orvex_t copy = orvex_copy(tree);
    std::vector<orvex_t> todo{copy};
    while (!todo.empty()) {
        orvex_t n = todo.back();
        todo.pop_back();
        const orvex_type t = orvex_get_node_type(n);
        if (t == ORVEX_ARRAY || t == ORVEX_DICT)
            push_children(n, todo);
        else
            fix(n);
    }
    return copy;
}

orvex_t in_whole_seconds(orvex_t tree) {
    return copy_with(tree, [](orvex_t n) {
        if (orvex_get_node_type(n) == ORVEX_DATE) {
            int64_t sec = 0;
            orvex_get_unix_date_val(n, &sec);
            orvex_set_unix_date_val(n, sec);
        }
    });
}

orvex_t array_of(std::initializer_list<orvex_t> items) {
    orvex_t a = orvex_new_array();
    for (orvex_t i : items)
        orvex_array_append_item(a, i);
    return a;
}

std::string data_path(const std::string &name) { return std::string(ORVEX_TEST_DATA) + "/" + name; }

std::string describe(orvex_t node) {
    std::ostringstream o;
    dump(node, o, 0);
    return o.str();
}

} // namespace orvex_test
