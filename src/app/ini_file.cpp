#include "app/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <optional>

#include "platform/encoding.h"

namespace xm {
namespace {

// The value buffer of the private-profile read: 10239 bytes and the terminating NUL.
constexpr std::size_t kMaxValueBytes = 10239;
// How much of a file is looked at; a write never makes a file larger than this.
constexpr std::size_t kMaxFileBytes = std::size_t{1} << 20;
// How many temporary names a write tries before it gives up.
constexpr int kTemporaryAttempts = 100;

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Closes now and tells whether the close (the last chance to report a write error) succeeded.
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

bool IsBlank(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 1 && byte <= 32;
}

std::string_view UpToNul(std::string_view text) {
  return text.substr(0, text.find('\0'));
}

std::string_view SkipLeading(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  return text;
}

std::string_view Trim(std::string_view text) {
  text = SkipLeading(text);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Length of the code page 936 character at `i`: two for a lead byte with a valid second byte.
std::size_t CharLength(std::string_view text, std::size_t i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  if (lead < 0x81 || lead > 0xFE || i + 1 >= text.size()) return 1;
  const auto trail = static_cast<unsigned char>(text[i + 1]);
  return (trail >= 0x40 && trail <= 0x7E) || (trail >= 0x80 && trail <= 0xFE) ? 2 : 1;
}

char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Section and key names: ASCII letters match in either case; two-byte characters match exactly,
// so a second byte that happens to be an ASCII letter is not folded.
bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size();) {
    const std::size_t length = CharLength(a, i);
    if (length == 2) {
      if (a.substr(i, 2) != b.substr(i, 2)) return false;
    } else if (AsciiLower(a[i]) != AsciiLower(b[i])) {
      return false;
    }
    i += length;
  }
  return true;
}

// The longest head of `text` that fits the value buffer without cutting a character in half.
std::string CutToBuffer(std::string_view text) {
  if (text.size() <= kMaxValueBytes) return std::string(text);
  std::size_t end = 0;
  while (end < kMaxValueBytes) {
    const std::size_t length = CharLength(text, end);
    if (end + length > kMaxValueBytes) break;
    end += length;
  }
  return std::string(text.substr(0, end));
}

enum class LineKind { kOther, kSection, kKey };

struct ParsedLine {
  LineKind kind = LineKind::kOther;
  std::string_view name;
  std::string_view value;  // raw, blanks and quotes still on
};

ParsedLine ParseLine(std::string_view line) {
  ParsedLine parsed;
  line = SkipLeading(line);
  if (line.empty() || line.front() == ';') return parsed;
  if (line.front() == '[') {
    for (std::size_t i = 1; i < line.size(); i += CharLength(line, i)) {
      if (line[i] == ']') {
        parsed.kind = LineKind::kSection;
        parsed.name = Trim(line.substr(1, i - 1));
        return parsed;
      }
    }
    return parsed;  // no closing bracket: not a header
  }
  // '=' is below 0x40 and so never the second byte of a two-byte character.
  const std::size_t equals = line.find('=');
  if (equals == std::string_view::npos) return parsed;
  parsed.kind = LineKind::kKey;
  parsed.name = Trim(line.substr(0, equals));
  parsed.value = line.substr(equals + 1);
  return parsed;
}

std::string_view Unquote(std::string_view value) {
  value = Trim(value);
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return value;
}

// Where `key` of `section` is in a file's contents, or where it would go.
struct Location {
  bool section_found = false;
  bool key_found = false;
  // The found key's line, without its line end.
  std::size_t key_begin = 0;
  std::size_t key_end = 0;
  std::string_view raw_value;
  // For a missing key: the end of the section's last line that is not blank, and whether that
  // line lacks a line end of its own.
  std::size_t insert_at = 0;
  bool insert_needs_line_end = false;
};

Location Find(std::string_view contents, std::string_view section, std::string_view key) {
  Location location;
  bool inside = false;
  std::size_t begin = 0;
  while (begin < contents.size()) {
    const std::size_t newline = contents.find('\n', begin);
    const bool has_line_end = newline != std::string_view::npos;
    const std::size_t next = has_line_end ? newline + 1 : contents.size();
    std::size_t end = has_line_end ? newline : contents.size();
    if (end > begin && contents[end - 1] == '\r') --end;
    const std::string_view line = contents.substr(begin, end - begin);
    const ParsedLine parsed = ParseLine(line);

    if (parsed.kind == LineKind::kSection) {
      if (inside) break;  // the first matching section ends here
      inside = SameName(parsed.name, section);
      location.section_found = inside;
    }
    if (inside) {
      if (parsed.kind == LineKind::kKey && SameName(parsed.name, key)) {
        location.key_found = true;
        location.key_begin = begin;
        location.key_end = end;
        location.raw_value = parsed.value;
        break;
      }
      if (!Trim(line).empty()) {
        location.insert_at = next;
        location.insert_needs_line_end = !has_line_end;
      }
    }
    begin = next;
  }
  return location;
}

enum class ReadResult { kOk, kMissing, kFailed };

// Reads at most `limit` + 1 bytes of a regular file, so that a caller can tell a file over the
// limit. Opening does not block (a FIFO planted at the name is refused, not waited on).
ReadResult ReadHead(const std::string& path, std::size_t limit, std::string* contents,
                    std::optional<mode_t>* mode) {
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (!fd.valid()) return errno == ENOENT ? ReadResult::kMissing : ReadResult::kFailed;
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return ReadResult::kFailed;
  if (mode != nullptr) *mode = info.st_mode & 07777;
  contents->clear();
  const std::size_t wanted = limit + 1;
  std::size_t initial = static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 0) + 1;
  contents->resize(initial < wanted ? initial : wanted);
  std::size_t filled = 0;
  while (filled < wanted) {
    if (filled == contents->size()) contents->resize(wanted);
    const ssize_t got = ::read(fd.get(), contents->data() + filled, contents->size() - filled);
    if (got < 0) {
      if (errno == EINTR) continue;
      return ReadResult::kFailed;
    }
    if (got == 0) break;
    filled += static_cast<std::size_t>(got);
  }
  contents->resize(filled);
  return ReadResult::kOk;
}

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t written = ::write(fd, data.data(), data.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// Replaces `path` with a file holding `contents`, or leaves it alone and returns false.
bool ReplaceFile(const std::string& path, std::string_view contents, std::optional<mode_t> mode) {
  const std::string prefix = path + "." + std::to_string(::getpid()) + ".";
  std::string temporary;
  int raw_fd = -1;
  for (int attempt = 0; attempt < kTemporaryAttempts && raw_fd < 0; ++attempt) {
    temporary = prefix + std::to_string(attempt) + ".tmp";
    raw_fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (raw_fd < 0 && errno != EEXIST) return false;
  }
  if (raw_fd < 0) return false;
  FileDescriptor fd(raw_fd);
  bool ok = WriteAll(fd.get(), contents);
  if (ok && mode.has_value()) ok = ::fchmod(fd.get(), *mode) == 0;
  if (ok) ok = ::fsync(fd.get()) == 0;
  ok = fd.Close() && ok;
  if (ok) ok = ::rename(temporary.c_str(), path.c_str()) == 0;
  if (!ok) {
    ::unlink(temporary.c_str());
    return false;
  }
  // Make the rename itself durable; the new file is in place either way.
  const std::size_t slash = path.rfind('/');
  const std::string directory =
      slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
  FileDescriptor dir(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.valid()) ::fsync(dir.get());
  return true;
}

}  // namespace

std::string ReadIniText(std::string_view file, std::string_view section, std::string_view key,
                        std::string_view default_value) {
  file = SkipLeading(UpToNul(file));
  section = Trim(UpToNul(section));
  key = Trim(UpToNul(key));
  default_value = UpToNul(default_value);
  if (file.empty() || section.empty() || key.empty()) return std::string();

  std::string contents;
  if (ReadHead(Cp936ToUtf8(file), kMaxFileBytes, &contents, nullptr) != ReadResult::kOk) {
    return CutToBuffer(default_value);
  }
  if (contents.size() > kMaxFileBytes) {
    // Keep the whole lines within the bound.
    const std::size_t newline = std::string_view(contents).substr(0, kMaxFileBytes).rfind('\n');
    contents.resize(newline == std::string::npos ? 0 : newline + 1);
  }
  const Location location = Find(contents, section, key);
  if (!location.key_found) return CutToBuffer(default_value);
  return CutToBuffer(Unquote(UpToNul(location.raw_value)));
}

bool WriteIniText(std::string_view file, std::string_view section, std::string_view key,
                  std::string_view value) {
  file = SkipLeading(UpToNul(file));
  section = Trim(UpToNul(section));
  key = Trim(UpToNul(key));
  value = UpToNul(value);
  if (file.empty() || section.empty() || key.empty()) return false;
  for (const std::string_view text : {section, key, value}) {
    if (text.find_first_of("\r\n") != std::string_view::npos) return false;
  }
  // The lines must read back as the section and the key they are meant to be.
  const std::string section_line = "[" + std::string(section) + "]";
  const std::string key_line = std::string(key) + "=" + std::string(value);
  const ParsedLine parsed_section = ParseLine(section_line);
  const ParsedLine parsed_key = ParseLine(key_line);
  if (parsed_section.kind != LineKind::kSection || parsed_section.name != section ||
      parsed_key.kind != LineKind::kKey || parsed_key.name != key) {
    return false;
  }

  const std::string path = Cp936ToUtf8(file);
  std::string old_contents;
  std::optional<mode_t> mode;
  switch (ReadHead(path, kMaxFileBytes, &old_contents, &mode)) {
    case ReadResult::kOk:
      if (old_contents.size() > kMaxFileBytes) return false;
      break;
    case ReadResult::kMissing:
      old_contents.clear();
      break;
    case ReadResult::kFailed:
      return false;
  }

  const Location location = Find(old_contents, section, key);
  const std::string_view old_view = old_contents;
  std::string contents;
  if (location.key_found) {
    contents.append(old_view.substr(0, location.key_begin));
    contents.append(key_line);
    contents.append(old_view.substr(location.key_end));
  } else if (location.section_found) {
    contents.append(old_view.substr(0, location.insert_at));
    if (location.insert_needs_line_end) contents.append("\r\n");
    contents.append(key_line).append("\r\n");
    contents.append(old_view.substr(location.insert_at));
  } else {
    contents.append(old_view);
    if (!contents.empty() && contents.back() != '\n') contents.append("\r\n");
    contents.append(section_line).append("\r\n").append(key_line).append("\r\n");
  }
  if (contents.size() > kMaxFileBytes) return false;
  return ReplaceFile(path, contents, mode);
}

}  // namespace xm
