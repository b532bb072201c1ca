#pragma once

#include <string>
#include <string_view>

namespace xm {

// Private-profile (INI) files, read and written by file, section and key.
//
// Every argument is a code page 936 byte string and ends at its first NUL byte, if any. The file
// name is turned into the UTF-8 name of the file system when the file is opened.
//
// File format: lines end in CR LF (LF alone is accepted too). Leading and trailing bytes 1..32
// (blanks and control characters) around names and values do not count.
//   [section]     a section header; the name ends at the first ']' (text after it is ignored)
//   key=value     a key in the section above it; the key ends at the first '='
//   ; comment     ignored, as is any other line without '=' and any key before the first section
// Section and key names match without regard to ASCII case; the two bytes of a code page 936
// character are compared exactly. When a section or a key appears more than once, the first one
// counts. Only the first 1 MiB of a file is looked at: what lies beyond (and the line that crosses
// that bound) is treated as absent.

// The value of `key` in `section` of `file`. Leading bytes 1..32 of file, section and key are
// skipped; if one of them is empty then, the result is empty and no file is read. A missing or
// unreadable file (or anything that is not a regular file), section or key gives `default_value`.
// A present key gives its value without the blanks around it and without one pair of matching
// single or double quotes around it. The result, default or value, is cut to 10239 bytes (a buffer
// of 10240 with its NUL); a two-byte character is never cut in half, so a cut result may be one
// byte shorter.
std::string ReadIniText(std::string_view file, std::string_view section, std::string_view key,
                        std::string_view default_value);

// Sets `key` in `section` of `file` to `value`, creating the file, the section or the key where
// they are missing. A new file holds "[section]\r\nkey=value\r\n"; in an existing file the first
// such key's line is replaced, a missing key is added after the last line of the first such
// section that is not blank, and a missing section is appended at the end. Every other byte of the
// file is kept.
//
// The write replaces the file as a whole: the new contents go to a temporary file beside it
// ("<file>.<process id>.<n>.tmp", created exclusively, never through a link), are flushed to disk
// and renamed over the old file. A rewritten file keeps its permission bits; a new one is created
// with mode 0666 less the umask.
//
// Returns false, leaving the file as it was, when the write fails, when the file exists but is not
// a regular file, is larger than 1 MiB, or cannot be read, when the result would be larger than
// 1 MiB, and when the names or the value cannot be stored so that they read back: an empty file
// name, section or key, a CR or LF in any of them, a key holding '=' or starting with '[' or ';',
// or a section name holding ']'.
bool WriteIniText(std::string_view file, std::string_view section, std::string_view key,
                  std::string_view value);

}  // namespace xm
