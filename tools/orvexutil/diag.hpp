// Diagnostics and exit statuses: every message the tool writes to standard
// error goes through here, so they all read "orvexutil: FILE: what".
#ifndef ORVEXUTIL_DIAG_HPP
#define ORVEXUTIL_DIAG_HPP

#include <orvex/orvex.h>

#include <string>

namespace orvexutil {

enum Status { STATUS_OK = 0, STATUS_FAILED = 1, STATUS_USAGE = 2 };

// A bad command line: main prints the message and where to find the usage,
// and exits with STATUS_USAGE.
struct UsageError {
    std::string command; // the subcommand whose help to point to; empty for the tool
    std::string message;
};

// A document rejected, a path not found or a file not read or written, in
// `file`: exit status STATUS_FAILED. Commands over several files report it
// and go on with the next file.
struct Failure {
    std::string file;
    std::string message;
};

// How a file is named in messages: "-" is standard input.
std::string display_name(const std::string &path);
// Writes "orvexutil: FILE: message" (or "orvexutil: message" without a file).
void report(const std::string &file, const std::string &message);
void report(const Failure &failure);
// Where and why a reader refused a document: "line L, column C: reason" for
// text encodings, "byte N: reason" for binary and undetected input.
std::string rejection_text(const orvex_parse_result &result);
// The errno text of the last failed system call.
std::string system_error();

} // namespace orvexutil

#endif
