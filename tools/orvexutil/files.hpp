// Reading documents and writing them without ever leaving a target half
// written.
#ifndef ORVEXUTIL_FILES_HPP
#define ORVEXUTIL_FILES_HPP

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

namespace orvexutil {

// The store reads documents of at most this many bytes.
constexpr uint64_t MAX_DOCUMENT = 0xFFFFFFFFu;

// The bytes of a document read, in memory of their own.
class Bytes {
  public:
    const char *data() const { return _data.get(); }
    size_t size() const { return _size; }
    bool empty() const { return _size == 0; }

  private:
    friend Bytes read_all(int fd, const std::string &path);
    std::unique_ptr<char, void (*)(void *)> _data{nullptr, std::free};
    size_t _size = 0;
};

// The bytes of `path` ("-": standard input). Throws Failure when it cannot be
// read or is longer than MAX_DOCUMENT (a regular file before it is read, a
// pipe once one byte past the bound has come).
Bytes read_input(const std::string &path);

// Replaces `path` by `bytes` atomically: a temporary file beside it is written,
// flushed to disk and renamed over it. An existing target keeps its mode,
// and its owner and group where the user may give them; a symbolic link is
// followed; a target with other hard links is rewritten in place once the
// temporary file is complete, so the links stay one file. Throws Failure,
// leaving the target as it was and no temporary file behind, also for a
// target the user may not write.
void write_file(const std::string &path, const std::string &bytes);

// Writes `bytes` to standard output; throws Failure when that fails.
void write_stdout(const std::string &bytes);

bool stdout_is_terminal();

} // namespace orvexutil

#endif
