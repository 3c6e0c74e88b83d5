// orvexutil: converts, checks, prints and edits property lists from the
// command line. This file dispatches to the subcommands and holds their help.
#include "commands.hpp"
#include "diag.hpp"
#include "values.hpp"

#include <orvex/orvex.h>

#include <algorithm>
#include <cstdio>
#include <new>

namespace orvexutil {

namespace {

struct Command {
    const char *name;
    int (*run)(const Args &);
    const char *synopsis; // after "orvexutil "
    const char *help;
};

const Command COMMANDS[] = {
    {"convert", convert_command,
     "convert FORMAT [-o OUT | -e EXT] [--sort-keys] [--pretty] [--lossy] [--typed] FILE...",
     "Converts each FILE to FORMAT (xml, binary, json, openstep; xml1 and binary1\n"
     "name the first two too), in place unless\n"
     "-o or -e says otherwise. FILE - reads standard input and writes standard output.\n"
     "  -o OUT       write to OUT (one FILE only); -o - writes standard output\n"
     "  -e EXT       write beside each FILE, with its extension replaced by EXT\n"
     "  --sort-keys  write every dictionary with its keys in byte order\n"
     "  --pretty     json: indent the output\n"
     "  --lossy      json: write dates, data and UIDs in mapped forms\n"
     "  --typed      openstep: numbers, booleans and dates in the GNUstep typed forms\n"
     "               (without it they are written as text)\n"
     "A binary encoding is never written to a terminal unless -o - asks for it.\n"},
    {"create", create_command, "create FORMAT FILE",
     "Writes an empty dictionary as a FORMAT document to FILE (replacing what it\n"
     "held) or, for -, to standard output.\n"},
    {"lint", lint_command, "lint [-s] FILE...",
     "Checks that each FILE is a document Orvex reads: prints 'FILE: OK', or the\n"
     "rejection with its line and column (text) or byte (binary) on standard error.\n"
     "  -s  print nothing for documents that pass\n"
     "Exit status 0 only when every FILE passes.\n"},
    {"print", print_command, "print [--json] FILE",
     "Prints the document as an indented tree: text quoted, reals with a decimal\n"
     "point, dates in ISO 8601, data as its size and first bytes in hex, UIDs marked.\n"
     "  --json  print it as JSON for programs: every value {\"type\", \"value\"},\n"
     "          arrays with \"items\", dictionaries with \"entries\" in document order\n"},
    {"extract", extract_command,
     "extract KEYPATH FORMAT [-o OUT] [--raw [-n]] [-expect TYPE] [--sort-keys] [--pretty] [--lossy] "
     "[--typed] "
     "FILE",
     "Writes the value at KEYPATH as a FORMAT document to standard output or OUT.\n"
     "  --raw         for a scalar, write its bare text instead (data in base64)\n"
     "  -n            with --raw, without the final newline\n"
     "  -expect TYPE  fail (exit status 1) unless the value is of TYPE, a name\n"
     "                as 'type' prints it (or float for real)\n"},
    {"type", type_command, "type KEYPATH FILE",
     "Prints the type of the value at KEYPATH: bool, integer, real, string, date,\n"
     "data, uid, array, dictionary or null.\n"},
    {"set", set_command, "set KEYPATH -TYPE VALUE FILE",
     "Replaces the value at KEYPATH (or adds the dictionary entry) and writes FILE\n"
     "back. A text document keeps every byte but those of the value: comments,\n"
     "layout, escapes, encoding; a binary one is rewritten whole. -TYPE is one of:\n"
     "  -bool true|false|yes|no (any case)|1|0  -integer N  -real X (or -float)\n"
     "  -string TEXT  -data BASE64\n"
     "  -date YYYY[-MM[-DD[THH[:MM[:SS[.fraction]]]]]][Z], in UTC\n"
     "  -xml FRAGMENT  -json FRAGMENT   a whole value given as a document\n"
     "  -array  -dictionary             an empty container (no VALUE)\n"},
    {"insert", insert_command, "insert KEYPATH -TYPE VALUE [-append] FILE",
     "Inserts a value: at the array position KEYPATH ends with (the items from there\n"
     "move up), or as a new dictionary entry (refused when the key exists). With\n"
     "-append, KEYPATH names an array and the value goes at its end. Types as for set.\n"},
    {"remove", remove_command, "remove KEYPATH FILE",
     "Removes the value at KEYPATH (and in a text document its line) and writes\n"
     "FILE back.\n"},
    {"edit", edit_command, "edit FILE EDIT [, EDIT]...",
     "Applies several edits in order to one read of FILE and writes it once; each\n"
     "EDIT is set KEYPATH -TYPE VALUE, insert KEYPATH -TYPE VALUE [-append] or\n"
     "remove KEYPATH, as the commands of those names take them, and a lone ','\n"
     "argument separates them. Every word is its own argument, read by its\n"
     "position: a KEYPATH or VALUE may start with '-' (no -- is needed), and a VALUE\n"
     "may hold spaces or be ','. All or none: when one edit is refused FILE is left\n"
     "as it was and the message names the edit (\"edit 2 (remove a.b)\").\n"},
    {"copy", copy_command, "copy FROM TO FILE",
     "Sets the value at key path TO to a copy of the value at FROM, exactly as it\n"
     "is, as set would, and writes FILE back.\n"},
    {"merge", merge_command, "merge FROM TO FILE",
     "Sets each entry of the dictionary at key path FROM into the dictionary at TO,\n"
     "in FROM's order, in one edit: keys TO has get FROM's values, the others are\n"
     "added at its end. FILE is written back once.\n"},
};

const char KEYPATH_HELP[] = "A KEYPATH is dictionary keys and array positions (from 0) separated by '.';\n"
                            "write \\. for a dot and \\\\ for a backslash inside a key. Give -- before a\n"
                            "KEYPATH that starts with '-': it ends the options.\n";

const char STATUS_HELP[] = "Exit status: 0 success, 1 a document was rejected, a path was not found or a\n"
                           "file could not be read or written, 2 bad usage.\n";

const Command *find_command(const std::string &name) {
    for (const Command &c : COMMANDS)
        if (name == c.name)
            return &c;
    return nullptr;
}

std::string overview() {
    std::string text = "Usage: orvexutil COMMAND ARGS...   (orvexutil help COMMAND for more)\n\n";
    for (const Command &c : COMMANDS)
        text += std::string("  orvexutil ") + c.synopsis + "\n";
    return text + "  orvexutil help [COMMAND]\n  orvexutil --version\n\n" + KEYPATH_HELP + STATUS_HELP;
}

std::string command_help(const Command &c) {
    std::string text = std::string("Usage: orvexutil ") + c.synopsis + "\n\n" + c.help;
    // Every command taking key paths names them in its synopsis or its help.
    const std::string words = std::string(c.synopsis) + c.help;
    if (words.find("KEYPATH") != std::string::npos || words.find("key path") != std::string::npos)
        text += std::string("\n") + KEYPATH_HELP;
    return text;
}

int run(const Args &args) {
    if (args.empty()) {
        std::fputs(overview().c_str(), stderr);
        return STATUS_USAGE;
    }
    const std::string &name = args[0];
    if (name == "help" || name == "--help" || name == "-help" || name == "-h") {
        if (args.size() == 1) {
            std::fputs(overview().c_str(), stdout);
            return STATUS_OK;
        }
        const Command *c = find_command(args[1]);
        if (!c || args.size() > 2)
            throw UsageError{"", "no help for '" + args[1] + "'"};
        std::fputs(command_help(*c).c_str(), stdout);
        return STATUS_OK;
    }
    if (name == "--version") {
        std::printf("orvexutil %s\n", orvex_version());
        return STATUS_OK;
    }
    const Command *c = find_command(name);
    if (!c)
        throw UsageError{"", "unknown command '" + name + "'"};
    const Args rest(args.begin() + 1, args.end());
    if (!rest.empty() && (rest[0] == "--help" || rest[0] == "-help" || rest[0] == "-h")) {
        std::fputs(command_help(*c).c_str(), stdout);
        return STATUS_OK;
    }
    return c->run(rest);
}

} // namespace

bool Parsed::has(const std::string &flag) const {
    return std::find(flags.begin(), flags.end(), flag) != flags.end();
}

const std::string *Parsed::value(const std::string &option) const {
    for (const auto &v : values)
        if (v.first == option)
            return &v.second;
    return nullptr;
}

Parsed parse_options(const std::string &command, const Args &args, const std::vector<std::string> &flags,
                     const std::vector<std::string> &valued, bool value_types) {
    Parsed parsed;
    bool options_end = false;
    for (size_t i = 0; i < args.size(); i++) {
        const std::string &arg = args[i];
        if (options_end || arg == "-" || arg.empty() || arg[0] != '-') {
            parsed.operands.push_back(arg);
        } else if (arg == "--") {
            options_end = true;
        } else if (std::find(flags.begin(), flags.end(), arg) != flags.end()) {
            parsed.flags.push_back(arg);
        } else if (std::find(valued.begin(), valued.end(), arg) != valued.end()) {
            if (i + 1 == args.size())
                throw UsageError{command, arg + " needs a value"};
            if (parsed.value(arg))
                throw UsageError{command, arg + " given twice"};
            parsed.values.emplace_back(arg, args[++i]);
        } else if (value_types && is_type_option(arg)) {
            // -TYPE VALUE stands among the operands, where its position
            // gives it meaning; its VALUE may start with '-'.
            parsed.operands.push_back(arg);
            if (type_takes_value(arg)) {
                if (i + 1 == args.size())
                    throw UsageError{command, arg + " needs a value"};
                parsed.operands.push_back(args[++i]);
            }
        } else {
            throw UsageError{command,
                             "unknown option '" + arg + "' (give -- before an operand that starts with '-')"};
        }
    }
    return parsed;
}

} // namespace orvexutil

int main(int argc, char **argv) {
    using namespace orvexutil;
    try {
        return run(Args(argv + 1, argv + argc));
    } catch (const UsageError &error) {
        report("", (error.command.empty() ? "" : error.command + ": ") + error.message);
        std::fprintf(stderr, "Try 'orvexutil help%s'.\n",
                     error.command.empty() ? "" : (" " + error.command).c_str());
        return STATUS_USAGE;
    } catch (const Failure &failure) {
        report(failure);
        return STATUS_FAILED;
    } catch (const std::bad_alloc &) {
        report("", "out of memory");
        return STATUS_FAILED;
    }
}
