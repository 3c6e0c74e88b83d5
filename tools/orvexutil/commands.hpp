// The subcommands: each takes its arguments (after the subcommand's name)
// and returns the exit status; a bad command line throws UsageError.
#ifndef ORVEXUTIL_COMMANDS_HPP
#define ORVEXUTIL_COMMANDS_HPP

#include "formats.hpp"

#include <string>
#include <vector>

namespace orvexutil {

using Args = std::vector<std::string>;

int convert_command(const Args &args);
int create_command(const Args &args);
int lint_command(const Args &args);
int print_command(const Args &args);
int extract_command(const Args &args);
int type_command(const Args &args);
int set_command(const Args &args);
int insert_command(const Args &args);
int remove_command(const Args &args);
int edit_command(const Args &args);
int copy_command(const Args &args);
int merge_command(const Args &args);

// Throws UsageError when `format` is binary and standard output a terminal.
void refuse_terminal(const std::string &command, const Format &format);
// Writes `bytes` to standard output ("-") or, atomically, to the file `target`.
void deliver(const std::string &target, const std::string &bytes);

// The options and operands of a command line: `flags` are options without a
// value, `valued` those followed by one. "--" ends the options: every
// argument after it is an operand, so a key path may start with '-'. "-" is
// an operand (standard input or output). With `value_types`, a -TYPE and
// its VALUE (set, insert) are kept among the operands, in place, before
// "--" as after it.
struct Parsed {
    std::vector<std::string> operands;
    std::vector<std::string> flags;
    std::vector<std::pair<std::string, std::string>> values;
    bool has(const std::string &flag) const;
    // The value of `option`, or null when it was not given.
    const std::string *value(const std::string &option) const;
};
// The writer options --pretty, --lossy and --sort-keys given.
WriteOptions write_options(const Parsed &parsed);
Parsed parse_options(const std::string &command, const Args &args, const std::vector<std::string> &flags,
                     const std::vector<std::string> &valued, bool value_types = false);

} // namespace orvexutil

#endif
