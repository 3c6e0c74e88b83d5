// Reading documents and writing them without ever leaving a target half
// written.
#ifndef ORVEXUTIL_FILES_HPP
#define ORVEXUTIL_FILES_HPP

#include <cstdint>
#include <string>
#include <vector>

namespace orvexutil {

// The store reads documents of at most this many bytes.
constexpr uint64_t MAX_DOCUMENT = 0xFFFFFFFFu;

// The bytes of `path` ("-": standard input). Throws Failure when it cannot be
// read or is longer than MAX_DOCUMENT (refused before it is read whole).
std::vector<char> read_input(const std::string &path);

// Replaces `path` by `bytes` atomically: a temporary file beside it is written,
// flushed to disk and renamed over it. An existing target keeps its
// permissions; a symbolic link is followed. Throws Failure, leaving the
// target as it was and no temporary file behind.
void write_file(const std::string &path, const std::string &bytes);

// Writes `bytes` to standard output; throws Failure when that fails.
void write_stdout(const std::string &bytes);

bool stdout_is_terminal();

} // namespace orvexutil

#endif
