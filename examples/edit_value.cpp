// edit_value FILE KEYPATH VALUE [OUT]
//
// Reads FILE in whichever encoding it is in (XML, binary, JSON or OpenStep),
// sets the value at KEYPATH to VALUE keeping its type (a number stays a
// number), lists the root dictionary's keys in the order the document has
// them, and writes the document to OUT (FILE itself when OUT is left out) in
// the encoding it was read in.
//
//     edit_value Info.plist CFBundleVersion 1.2
//     edit_value settings.json servers.0.port 8080 new.json
#include <orvex/orvex++.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <iostream>
#include <memory>
#include <string>

using namespace Orvex;

namespace {

const char *format_name(orvex_format_t format) {
    switch (format) {
    case ORVEX_FORMAT_XML:
        return "XML";
    case ORVEX_FORMAT_BINARY:
        return "binary";
    case ORVEX_FORMAT_JSON:
        return "JSON";
    case ORVEX_FORMAT_OSTEP:
        return "OpenStep";
    default:
        return "unknown";
    }
}

// Gives `target` the value `text` means in its own type; false for a type
// this program does not edit (containers, data, dates, UIDs).
bool set_from_text(Node &target, const std::string &text) {
    if (auto *s = target.As<String>())
        s->SetValue(text);
    else if (auto *i = target.As<Integer>())
        i->SetValue(int64_t(std::stoll(text))); // throws on text that is no number
    else if (auto *r = target.As<Real>())
        r->SetValue(std::stod(text));
    else if (auto *b = target.As<Boolean>())
        b->SetValue(text == "true" || text == "YES" || text == "1");
    else
        return false;
    return true;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 4 && argc != 5) {
        std::cerr << "usage: edit_value FILE KEYPATH VALUE [OUT]\n";
        return 2;
    }
    const std::string path = argv[1], keypath = argv[2], text = argv[3];
    const std::string out = argc == 5 ? argv[4] : path;

    orvex_parse_result why;
    orvex_format_t format = ORVEX_FORMAT_NONE;
    std::unique_ptr<Node> doc = ReadFile(path, &why, &format);
    if (!doc) {
        if (why.code == ORVEX_ERR_IO)
            std::cerr << path << ": " << std::strerror(errno) << '\n';
        else
            std::cerr << path << ":" << why.line << ":" << why.column << ": " << why.reason << '\n';
        return 1;
    }
    std::cout << "read " << path << " (" << format_name(format) << ")\n";

    auto *root = doc->As<Structure>();
    Node *target = root ? root->At(keypath) : nullptr;
    if (!target) {
        std::cerr << path << ": nothing at '" << keypath << "'\n";
        return 1;
    }
    try {
        if (!set_from_text(*target, text)) {
            std::cerr << path << ": '" << keypath << "' is not a string, number or boolean\n";
            return 1;
        }
    } catch (const std::exception &) {
        std::cerr << "'" << text << "' is not a number\n";
        return 1;
    }

    if (auto *dict = doc->As<Dictionary>())
        for (const auto &[key, node] : dict->InOrder())
            std::cout << "  " << key << (node == target ? " (changed)" : "") << '\n';

    // OpenStep has no numbers or booleans of its own: keep them typed.
    const uint32_t flags = format == ORVEX_FORMAT_OSTEP ? ORVEX_WRITE_TYPED : 0;
    const orvex_err_t err = WriteFile(*doc, out, format, flags);
    if (err != ORVEX_ERR_SUCCESS) {
        std::cerr << out << ": " << (err == ORVEX_ERR_IO ? std::strerror(errno) : orvex_err_text(err))
                  << '\n';
        return 1;
    }
    std::cout << "wrote " << out << '\n';
    return 0;
}
