#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <string>

#include "app/ini_file.h"
#include "platform/encoding.h"

namespace xm {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& contents) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << contents;
}

// Runs `body` in a child process and gives its exit status (-1 if it did not exit normally).
int RunInChild(const std::function<int()>& body) {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(body());
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

class IniFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "xm-ini-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ignored);
    for (const auto& entry : fs::recursive_directory_iterator(dir_, ignored)) {
      if (entry.is_directory(ignored) && !entry.is_symlink(ignored)) {
        fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
      }
    }
    fs::remove_all(dir_, ignored);
  }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  // The names of everything in the directory.
  std::set<std::string> Entries() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }

  std::string dir_;
};

TEST_F(IniFileTest, NewFileHoldsTheSectionAndKeyLineInCodePage936) {
  const std::string name = "7351视频播放器宽度.ini";
  ASSERT_TRUE(
      WriteIniText(Utf8ToCp936(Path(name)), Utf8ToCp936("配置"), Utf8ToCp936("宽度"), "1022"));
  // The file name on disk is UTF-8; the contents stay code page 936.
  EXPECT_EQ(ReadFile(Path(name)), "[\xC5\xE4\xD6\xC3]\r\n\xBF\xED\xB6\xC8=1022\r\n");
  EXPECT_EQ(Entries(), std::set<std::string>{name});
  EXPECT_EQ(ReadIniText(Utf8ToCp936(Path(name)), Utf8ToCp936("配置"), Utf8ToCp936("宽度"), "0"),
            "1022");
}

TEST_F(IniFileTest, ReaderFindsKeysByTheProfileRules) {
  const std::string file = Path("sizes.ini");
  const std::string section = Utf8ToCp936("配置");
  WriteFile(file,
            "; comment=1\r\n"
            "orphan=before any section\r\n"
            "[Other]\r\n"
            "width=other\r\n"
            " [ " +
                section +
                " ] trailing words\r\n"
                "  Width = 640 \r\n" +
                Utf8ToCp936("宽度") +
                "=1022\n"
                "empty=\r\n"
                "blank=   \r\n"
                "quoted= \"  a b  \" \r\n"
                "single='x'\r\n"
                "mismatched=\"x'\r\n"
                "lone=\"\r\n"
                "inner=a \"b\" c\r\n"
                "semicolon=1 ; not a comment\r\n"
                "dup=first\r\n"
                "dup=second\r\n"
                "; commented=1\r\n"
                "noequals\r\n"
                "[" +
                section +
                "]\r\n"
                "late=second section\r\n"
                "[\x81\x41]\r\n"
                "k=upper second byte\r\n"
                "[last]\r\n"
                "k=no line end");
  const struct {
    std::string section;
    std::string key;
    std::string expected;
  } kCases[] = {
      {section, Utf8ToCp936("宽度"), "1022"},
      {section, "width", "640"},
      {" \t" + section, "\x01WIDTH ", "640"},  // blanks and control bytes around names
      {section, "empty", ""},                  // present but empty: not the default
      {section, "blank", ""},
      {section, "quoted", "  a b  "},
      {section, "single", "x"},
      {section, "mismatched", "\"x'"},
      {section, "lone", "\""},
      {section, "inner", "a \"b\" c"},
      {section, "semicolon", "1 ; not a comment"},
      {section, "dup", "first"},
      {section, "late", "default"},  // only the first section of a name counts
      {section, "noequals", "default"},
      {section, "commented", "default"},
      {section, "; commented", "default"},
      {section, "orphan", "default"},
      {"OTHER", "WIDTH", "other"},
      {section, Utf8ToCp936("宽"), "default"},
      {section, Utf8ToCp936("宽度x"), "default"},
      {Utf8ToCp936("配置x"), Utf8ToCp936("宽度"), "default"},
      {Utf8ToCp936("配"), Utf8ToCp936("宽度"), "default"},
      {"\x81\x41", "K", "upper second byte"},
      {"\x81\x61", "k", "default"},  // the second byte of a character is not case-folded
      {"last", "k", "no line end"},
      {"", "width", ""},  // an empty name gives the empty text, not the default
      {section, " \t", ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.section + " / " + c.key);
    EXPECT_EQ(ReadIniText(file, c.section, c.key, "default"), c.expected);
  }

  EXPECT_EQ(ReadIniText("  " + file, "other", "width", "default"), "other");
  EXPECT_EQ(ReadIniText("", "other", "width", "default"), "");
  EXPECT_EQ(ReadIniText(Path("missing.ini"), "other", "width", " 7 "), " 7 ");
  EXPECT_EQ(ReadIniText(dir_, "other", "width", "7"), "7");  // a directory
}

TEST_F(IniFileTest, ValueIsCutToTheBuffer) {
  const std::string file = Path("long.ini");
  const std::string kx(10239, 'x');
  const std::string two_byte = "\xBF\xED";
  WriteFile(file, "[s]\r\nexact=" + kx + "\r\nlonger=" + kx + "yz\r\nsplit=" + kx.substr(1) +
                      two_byte + "\r\nquoted=\"" + kx + "\"\r\n");
  EXPECT_EQ(ReadIniText(file, "s", "exact", ""), kx);
  EXPECT_EQ(ReadIniText(file, "s", "longer", ""), kx);
  EXPECT_EQ(ReadIniText(file, "s", "split", ""), kx.substr(1));  // no half character at the end
  EXPECT_EQ(ReadIniText(file, "s", "quoted", ""), kx);
}

TEST_F(IniFileTest, OnlyTheFirstMebibyteIsRead) {
  const std::string file = Path("big.ini");
  std::string contents = "[s]\r\nearly=1\r\n";
  // The bound falls inside the value of "crossing".
  contents += "filler=" + std::string((1 << 20) - contents.size() - 23, 'f') + "\r\n";
  contents += "crossing=123456789\r\nlate=2\r\n";
  ASSERT_EQ(contents.find("crossing=12345"), (1u << 20) - 14);
  WriteFile(file, contents);
  EXPECT_EQ(ReadIniText(file, "s", "early", "d"), "1");
  EXPECT_EQ(ReadIniText(file, "s", "crossing", "d"), "d");  // the line crossing the bound is gone
  EXPECT_EQ(ReadIniText(file, "s", "late", "d"), "d");

  // A file the reader would cut is not rewritten: that would lose its tail.
  EXPECT_FALSE(WriteIniText(file, "s", "early", ""));
  EXPECT_EQ(ReadFile(file), contents);
}

TEST_F(IniFileTest, RewriteChangesOnlyTheOneKey) {
  const struct {
    const char* before;
    const char* section;
    const char* key;
    const char* after;
  } kCases[] = {
      {"; top\r\n[a]\r\nk = old ; c\r\nx=1\n\r\n[b]\r\nk=b\r\n", "A", "K",
       "; top\r\n[a]\r\nK=new\r\nx=1\n\r\n[b]\r\nk=b\r\n"},
      {"[a]\r\nk=old", "a", "k", "[a]\r\nk=new"},
      {"[a]\r\nx=1\r\n\r\n[b]\r\ny=2", "a", "k", "[a]\r\nx=1\r\nk=new\r\n\r\n[b]\r\ny=2"},
      {"[a]\r\nx=1", "a", "k", "[a]\r\nx=1\r\nk=new\r\n"},
      {"[a]", "a", "k", "[a]\r\nk=new\r\n"},
      {"[a]\r\nx=1", "b", "k", "[a]\r\nx=1\r\n[b]\r\nk=new\r\n"},
      {"[a]\nx=1\n", "b", "k", "[a]\nx=1\n[b]\r\nk=new\r\n"},
      {"[a]\r\n[a]\r\nk=1\r\n", "a", "k", "[a]\r\nk=new\r\n[a]\r\nk=1\r\n"},
      {"k=0\r\n[a]\r\nk=1\r\n", "a", "k", "k=0\r\n[a]\r\nk=new\r\n"},
      {"", "s", "k", "[s]\r\nk=new\r\n"},
  };
  const std::string file = Path("rewrite.ini");
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.before);
    WriteFile(file, c.before);
    ASSERT_TRUE(WriteIniText(file, c.section, c.key, "new"));
    EXPECT_EQ(ReadFile(file), c.after);
    EXPECT_EQ(ReadIniText(file, c.section, c.key, "default"), "new");
  }
  EXPECT_EQ(Entries(), std::set<std::string>{"rewrite.ini"});
}

TEST_F(IniFileTest, RewriteKeepsThePermissionBits) {
  const std::string old_file = Path("old.ini");
  WriteFile(old_file, "[s]\r\nk=1\r\n");
  ASSERT_EQ(::chmod(old_file.c_str(), 0640), 0);
  ASSERT_TRUE(WriteIniText(old_file, "s", "k", "2"));
  struct stat info {};
  ASSERT_EQ(::stat(old_file.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);

  const mode_t old_mask = ::umask(027);
  const bool written = WriteIniText(Path("new.ini"), "s", "k", "2");
  ::umask(old_mask);
  ASSERT_TRUE(written);
  ASSERT_EQ(::stat(Path("new.ini").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);  // 0666 less the umask
}

TEST_F(IniFileTest, WriterRefusesWhatWouldNotReadBack) {
  const std::string file = Path("kept.ini");
  const std::string before = "[a]\r\nk=1\r\n";
  WriteFile(file, before);
  const struct {
    const char* section;
    const char* key;
    const char* value;
  } kCases[] = {
      {"a", "k", "2\r\nevil=1"}, {"a", "k", "2\n"},   {"a\nb", "k", "2"}, {"a]b", "k", "2"},
      {"a", "k=x", "2"},         {"a", "[k]", "2"},   {"a", ";k", "2"},   {"", "k", "2"},
      {"a", " ", "2"},           {"a\x81", "k", "2"},  // a lead byte would swallow the ']'
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.section) + " / " + c.key + " / " + c.value);
    EXPECT_FALSE(WriteIniText(file, c.section, c.key, c.value));
  }
  EXPECT_FALSE(WriteIniText("", "a", "k", "2"));
  EXPECT_EQ(ReadFile(file), before);
  EXPECT_EQ(Entries(), std::set<std::string>{"kept.ini"});
}

TEST_F(IniFileTest, SpecialFilesAreNeitherWaitedOnNorReplaced) {
  const std::string fifo = Path("fifo.ini");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(ReadIniText(fifo, "s", "k", "d"), "d");  // returns at once: no writer needed
  EXPECT_FALSE(WriteIniText(fifo, "s", "k", "1"));
  EXPECT_FALSE(WriteIniText(dir_, "s", "k", "1"));
  EXPECT_TRUE(fs::is_fifo(fifo));
  EXPECT_EQ(Entries(), std::set<std::string>{"fifo.ini"});
}

TEST_F(IniFileTest, LinkAtTheTemporaryNameIsNotFollowed) {
  const std::string file = Path("sizes.ini");
  const std::string victim = Path("victim");
  WriteFile(victim, "untouched");
  // The temporary names this process tries first: "<file>.<pid>.<n>.tmp".
  const std::string prefix = file + "." + std::to_string(::getpid()) + ".";
  ASSERT_EQ(::symlink(victim.c_str(), (prefix + "0.tmp").c_str()), 0);
  ASSERT_EQ(::symlink(Path("nowhere").c_str(), (prefix + "1.tmp").c_str()), 0);

  ASSERT_TRUE(WriteIniText(file, "s", "k", "1"));
  EXPECT_EQ(ReadFile(file), "[s]\r\nk=1\r\n");
  EXPECT_EQ(ReadFile(victim), "untouched");
  EXPECT_FALSE(fs::exists(Path("nowhere")));
  EXPECT_TRUE(fs::is_symlink(prefix + "0.tmp"));
  EXPECT_TRUE(fs::is_symlink(prefix + "1.tmp"));
  EXPECT_EQ(Entries().size(), 4u);
}

TEST_F(IniFileTest, FailedWriteLeavesNoFileBehind) {
  const std::string locked = Path("locked");
  ASSERT_EQ(::mkdir(locked.c_str(), 0755), 0);
  WriteFile(locked + "/old.ini", "[s]\r\nk=1\r\n");
  ASSERT_EQ(::chmod(locked.c_str(), 0555), 0);
  ASSERT_EQ(::chmod(dir_.c_str(), 0755), 0);

  // Root may write anywhere: the writer then runs as an ordinary user.
  const int status = RunInChild([&] {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) return 10;
    if (WriteIniText(locked + "/new.ini", "s", "k", "2")) return 11;
    if (WriteIniText(locked + "/old.ini", "s", "k", "2")) return 12;
    if (WriteIniText(Path("no-such-dir/new.ini"), "s", "k", "2")) return 13;
    return 0;
  });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(ReadFile(locked + "/old.ini"), "[s]\r\nk=1\r\n");
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(locked)) {
    names.insert(entry.path().filename().string());
  }
  EXPECT_EQ(names, std::set<std::string>{"old.ini"});
  EXPECT_FALSE(fs::exists(Path("no-such-dir")));

  // A write that fails half-way (here: the file size limit) removes its temporary.
  const std::string file = Path("sizes.ini");
  WriteFile(file, "[s]\r\nk=1\r\n");
  const int limited = RunInChild([&] {
    const struct rlimit limit = {64, 64};
    if (::signal(SIGXFSZ, SIG_IGN) == SIG_ERR || ::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 10;
    return WriteIniText(file, "s", "k", std::string(100, 'v')) ? 11 : 0;
  });
  EXPECT_EQ(limited, 0);
  EXPECT_EQ(ReadFile(file), "[s]\r\nk=1\r\n");
  EXPECT_EQ(Entries(), (std::set<std::string>{"locked", "sizes.ini"}));
}

TEST_F(IniFileTest, ConcurrentWritersNeverLeaveATornFile) {
  const std::string file = Path("shared.ini");
  ASSERT_TRUE(WriteIniText(file, "s", "k", "start"));
  constexpr int kWrites = 300;
  std::set<std::string> allowed = {"[s]\r\nk=start\r\n"};
  // Values of different lengths, so that a torn file would show.
  auto value = [](int writer, int i) {
    return std::string(1 + (i * 7 + writer * 13) % 40, writer == 0 ? 'a' : 'b') + std::to_string(i);
  };
  for (int writer = 0; writer < 2; ++writer) {
    for (int i = 0; i < kWrites; ++i) allowed.insert("[s]\r\nk=" + value(writer, i) + "\r\n");
  }

  pid_t children[2];
  for (int writer = 0; writer < 2; ++writer) {
    children[writer] = ::fork();
    ASSERT_GE(children[writer], 0);
    if (children[writer] == 0) {
      for (int i = 0; i < kWrites; ++i) {
        if (!WriteIniText(file, "s", "k", value(writer, i))) ::_exit(1);
      }
      ::_exit(0);
    }
  }
  // Meanwhile every read sees one whole version of the file.
  int running = 2;
  int bad_reads = 0;
  int statuses[2] = {-1, -1};
  while (running > 0) {
    if (allowed.count(ReadFile(file)) == 0) ++bad_reads;
    const std::string value_read = ReadIniText(file, "s", "k", "missing");
    if (allowed.count("[s]\r\nk=" + value_read + "\r\n") == 0) ++bad_reads;
    for (int writer = 0; writer < 2; ++writer) {
      int status = 0;
      if (statuses[writer] == -1 && ::waitpid(children[writer], &status, WNOHANG) > 0) {
        statuses[writer] = WIFEXITED(status) ? WEXITSTATUS(status) : 99;
        --running;
      }
    }
  }
  EXPECT_EQ(statuses[0], 0);
  EXPECT_EQ(statuses[1], 0);
  EXPECT_EQ(bad_reads, 0);
  const std::string last = ReadFile(file);
  EXPECT_TRUE(last == "[s]\r\nk=" + value(0, kWrites - 1) + "\r\n" ||
              last == "[s]\r\nk=" + value(1, kWrites - 1) + "\r\n")
      << last;
  EXPECT_EQ(Entries(), std::set<std::string>{"shared.ini"});
}

}  // namespace
}  // namespace xm
