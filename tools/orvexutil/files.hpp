// Reading documents and writing them without ever leaving a target half
// written, through the library's file calls.
#ifndef ORVEXUTIL_FILES_HPP
#define ORVEXUTIL_FILES_HPP

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

namespace orvexutil {

// The bytes of a document read, in memory of their own.
class Bytes {
  public:
    const char *data() const { return _data.get(); }
    size_t size() const { return _size; }
    bool empty() const { return _size == 0; }

  private:
    friend Bytes read_input(const std::string &path);
    std::unique_ptr<char, void (*)(void *)> _data{nullptr, std::free};
    size_t _size = 0;
};

// The bytes of `path` ("-": standard input, read as /dev/stdin), as
// orvex_read_file_bytes reads them. Throws Failure when it cannot be read or
// is longer than 2^32-1 bytes.
Bytes read_input(const std::string &path);

// Replaces `path` by `bytes` as orvex_write_file_bytes does: atomically, the
// target's mode, owner, group, symbolic link and hard links kept. Throws
// Failure, the target left as it was, also for a target the user may not
// write.
void write_file(const std::string &path, const std::string &bytes);

// Writes `bytes` to standard output; throws Failure when that fails.
void write_stdout(const std::string &bytes);

bool stdout_is_terminal();

} // namespace orvexutil

#endif
