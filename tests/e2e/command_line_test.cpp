// The programs' command lines as a user meets them: --help and --version everywhere, errors that
// name what is wrong, pvtool log's formats and its checks of the log.

#include <gtest/gtest.h>

#include <sstream>

#include "base/program_text.h"
#include "e2e/run_program.h"
#include "engine/call_record.h"
#include "support/test_files.h"

namespace parvolin::e2e {
namespace {

using parvolin::test::TempFolder;
namespace fs = std::filesystem;

const fs::path kPrograms = fs::path(PARVOLIN_BINARY_DIR) / "programs";

struct Result {
  int status;
  std::string out, err;
};

class CommandLine : public ::testing::Test {
 protected:
  Result run(const std::string& program, const std::vector<std::string>& args) {
    const fs::path out = root_ / "out.txt", err = root_ / "err.txt";
    ProgramRun p(kPrograms / program, args,
                 {{"HOME", (root_ / "home").string()},
                  {"XDG_CONFIG_HOME", (root_ / "home" / "config").string()},
                  {"XDG_DATA_HOME", (root_ / "home" / "data").string()},
                  {"DISPLAY", ""},
                  {"WAYLAND_DISPLAY", ""},
                  {"TZ", "UTC"}},
                 root_.path(), out, err);
    const int status = p.wait();
    return {status, ProgramRun::readAll(out), ProgramRun::readAll(err)};
  }
  // The commands `pvtool --help` lists.
  std::vector<std::string> pvtoolCommands() {
    const Result help = run("pvtool", {"--help"});
    std::vector<std::string> names;
    std::istringstream lines(help.out.substr(help.out.find("commands:")));
    std::string line;
    // Rows "  NAME   summary".
    while (std::getline(lines, line)) {
      if (line.rfind("  ", 0) != 0 || line.size() < 3 || line[2] == ' ') continue;
      names.push_back(line.substr(2, line.find(' ', 2) - 2));
    }
    return names;
  }
  void writeLog(const fs::path& file, const std::vector<engine::CallRecord>& records,
                const std::string& tail = "") {
    std::string bytes;
    for (const auto& r : records) {
      const auto raw = engine::encodeCallRecord(r);
      bytes.append(reinterpret_cast<const char*>(raw.data()), raw.size());
    }
    test::writeFile(file, bytes + tail);
  }
  static engine::CallRecord call(std::uint8_t port, std::uint8_t type, std::string text) {
    engine::CallRecord r;
    r.portIndex = port;
    r.callType = type;
    text.resize(engine::kCallTextSize, ' ');
    std::copy(text.begin(), text.end(), r.callText.begin());
    r.startTime = 1'141'653'909;  // 2006-03-06 14:05:09 UTC
    r.durationSec = 42;
    r.firstAudioSec = 3;
    return r;
  }

  TempFolder root_;
};

TEST_F(CommandLine, EveryProgramAndEveryPvtoolCommandHasHelpAndVersion) {
  const std::string version(base::versionNumber());
  const std::vector<std::string> commands = pvtoolCommands();
  ASSERT_EQ(commands.size(), 12u);
  struct Case {
    std::string program;
    std::vector<std::string> args;
    std::string usage;  // the help's first line starts so
  };
  std::vector<Case> cases = {{"parvolin", {}, "usage: parvolin"},
                             {"lvplayer", {}, "usage: lvplayer"},
                             {"pvtool", {}, "usage: pvtool COMMAND"}};
  for (const std::string& c : commands) cases.push_back({"pvtool", {c}, "usage: pvtool " + c});
  for (const Case& c : cases) {
    const std::string name = c.program + (c.args.empty() ? "" : " " + c.args[0]);
    for (const char* option : {"--help", "-h"}) {
      std::vector<std::string> args = c.args;
      args.push_back(option);
      const Result help = run(c.program, args);
      EXPECT_EQ(help.status, 0) << name << " " << option;
      EXPECT_EQ(help.out.rfind(c.usage, 0), 0u) << name << ":\n" << help.out;
      EXPECT_EQ(help.err, "") << name;
    }
    std::vector<std::string> args = c.args;
    args.push_back("--version");
    const Result v = run(c.program, args);
    EXPECT_EQ(v.status, 0) << name;
    EXPECT_EQ(v.out, c.program + " " + version + "\n") << name;
  }
  // Without a command pvtool lists them on standard error, as a usage error.
  const Result bare = run("pvtool", {});
  EXPECT_EQ(bare.status, 2);
  EXPECT_EQ(bare.out, "");
  EXPECT_NE(bare.err.find("commands:"), std::string::npos);
}

// The manual pages keep up with the programs: every pvtool command and every option that a
// --help shows is in the manual of its program.
TEST_F(CommandLine, ManualPagesNameEveryCommandAndOptionTheHelpShows) {
  auto manual = [](const std::string& program) {
    return test::readFile(fs::path(PARVOLIN_SOURCE_DIR) / "docs/man" / (program + ".1.scd"));
  };
  // Every "--name" of the help.
  auto expectOptionsIn = [&](const std::string& help, const std::string& page,
                             const std::string& what) {
    for (std::size_t at = help.find("--"); at != std::string::npos; at = help.find("--", at + 2)) {
      const std::size_t end =
          help.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-", at + 2);
      const std::string option = help.substr(at, end - at);
      if (option.size() > 2) {
        EXPECT_NE(page.find(option), std::string::npos) << what << ": " << option;
      }
      at = end == std::string::npos ? help.size() : end - 2;
    }
  };
  const std::string pvtoolPage = manual("pvtool");
  ASSERT_FALSE(pvtoolPage.empty());
  for (const std::string& command : pvtoolCommands()) {
    EXPECT_NE(pvtoolPage.find("*" + command + "*"), std::string::npos) << command;
    expectOptionsIn(run("pvtool", {command, "--help"}).out, pvtoolPage, "pvtool " + command);
  }
  expectOptionsIn(run("parvolin", {"--help"}).out, manual("parvolin"), "parvolin");
  expectOptionsIn(run("lvplayer", {"--help"}).out, manual("lvplayer"), "lvplayer");
}

TEST_F(CommandLine, ErrorsNameTheFileOrOptionAndWhatIsWrong) {
  test::writeFile(root_ / "notes.txt", "hello");
  test::writeFile(root_ / "bin.scenario", "unit A\n\x1b]0;owned\x07 1/1 ring\n");
  const std::string dir = root_.path().string();
  struct Case {
    std::string program;
    std::vector<std::string> args;
    int status;
    std::string message;
  };
  const Case cases[] = {
      {"pvtool", {"log", dir}, 1, "pvtool log: " + dir + ": Is a directory"},
      {"pvtool", {"capture", dir}, 1, "pvtool capture: " + dir + ": Is a directory"},
      {"pvtool", {"capture", "notes.txt"}, 2, "not a stream capture: no PVCAP001 header"},
      {"pvtool",
       {"sim", dir, "-o", "x.pvcap"},
       1,
       dir + ": cannot read the scenario: Is a directory"},
      {"pvtool",
       {"sim", "bin.scenario", "-o", "x.pvcap"},
       1,
       "unknown statement '\\x1B]0;owned\\x07'"},
      {"pvtool", {"sim", "builtin", "-o", "x.pvcap", "--seconds", "x"}, 2, "--seconds must be"},
      {"pvtool", {"replay", "c.pvcap", "--folder", "o"}, 2, "--setting N is needed"},
      {"pvtool", {"log", "--csv", "--json"}, 2, "--csv and --json contradict each other"},
      {"pvtool", {"log", "a", "b"}, 2, "one log at a time"},
      {"pvtool",
       {"units", "--simulate", "--realtime", "--virtual"},
       2,
       "--realtime and --virtual contradict each other"},
      {"pvtool", {"frobnicate\x1b[2J"}, 2, "unknown command 'frobnicate\\x1B[2J'"},
      {"parvolin",
       {"--headless", "--simulate", "--realtime", "--virtual"},
       2,
       "--realtime and --virtual contradict each other"},
      {"parvolin", {"--headless", "--minimized"}, 2, "--headless has none"},
      {"parvolin", {"--colour"}, 2, "unknown option '--colour'"},
  };
  for (const Case& c : cases) {
    const Result r = run(c.program, c.args);
    EXPECT_EQ(r.status, c.status) << c.args[0] << " " << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.message << "\n--\n" << r.err;
    EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << "raw escape on the terminal";
  }
}

// Three real calls, one with bytes that are not text, between two records that cannot be real,
// and a record cut short at the end.
class PvtoolLog : public CommandLine {
 protected:
  void SetUp() override {
    writeLog(root_ / "log.ZERU",
             {call(1, 7, "5551234"), call(81, 7, "1"), call(4, 9, "0123\x1b\xff\"x,"),
              call(0, 86, "2"), call(15, 11, "")},
             "torn");
  }
};

TEST_F(PvtoolLog, SkipsAndReportsRecordsThatCannotBeRealWithTheirOffsets) {
  const Result r = run("pvtool", {"log", "log.ZERU"});
  EXPECT_EQ(r.status, 4);
  EXPECT_NE(r.err.find("log.ZERU: byte 32: port 82 is above 16; record skipped"), std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("log.ZERU: byte 96: call type 86 is never logged; record skipped"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("byte 160: 4 bytes after the last whole record"), std::string::npos)
      << r.err;
  EXPECT_EQ(
      r.out,
      "Port  2  In   7  5551234                 2006-03-06 14:05:09     42 s  audio after 3 s\n"
      "Port  5  Out  9  0123\\x1B\\xFF\"x,         2006-03-06 14:05:09     42 s  audio after 3 s\n"
      "Port 16  VAR 11                          2006-03-06 14:05:09     42 s  audio after 3 s\n");
}

TEST_F(PvtoolLog, CsvIsRfc4180AndJsonIsOneDocumentOrOneObjectALine) {
  const Result csv = run("pvtool", {"log", "log.ZERU", "--csv"});
  EXPECT_EQ(csv.status, 4);
  EXPECT_EQ(csv.out,
            "port,callType,type,callText,start,startTime,durationSec,firstAudioSec\r\n"
            "2,7,In,5551234,2006-03-06 14:05:09,1141653909,42,3\r\n"
            "5,9,Out,\"0123\\x1B\\xFF\"\"x,\",2006-03-06 14:05:09,1141653909,42,3\r\n"
            "16,11,VAR,,2006-03-06 14:05:09,1141653909,42,3\r\n");

  const std::string second =
      R"({"port":5,"callType":9,"type":"Out","callText":"0123\\x1B\\xFF\"x,",)"
      R"("start":"2006-03-06 14:05:09","startTime":1141653909,"durationSec":42,"firstAudioSec":3})";
  const Result jsonl = run("pvtool", {"log", "--jsonl", "log.ZERU"});
  EXPECT_EQ(jsonl.status, 4);
  std::istringstream lines(jsonl.out);
  std::vector<std::string> objects;
  for (std::string line; std::getline(lines, line);) objects.push_back(line);
  ASSERT_EQ(objects.size(), 3u) << jsonl.out;
  EXPECT_EQ(objects[1], second);

  const Result json = run("pvtool", {"log", "--json", "log.ZERU"});
  EXPECT_EQ(json.out, "[\n" + objects[0] + ",\n" + objects[1] + ",\n" + objects[2] + "\n]\n");

  writeLog(root_ / "empty.ZERU", {});
  EXPECT_EQ(run("pvtool", {"log", "--json", "empty.ZERU"}).out, "[]\n");
  const Result none = run("pvtool", {"log", "--csv", "empty.ZERU"});
  EXPECT_EQ(none.status, 0);
  EXPECT_EQ(none.out, "port,callType,type,callText,start,startTime,durationSec,firstAudioSec\r\n");
}

TEST_F(PvtoolLog, WithoutAFileReadsTheConfiguredRecordingFolder) {
  fs::create_directories(root_ / "rec");
  writeLog(root_ / "rec" / "ParvolinLog.ZERU", {call(2, 6, "?")});
  test::writeFile(root_ / "p.conf", "[Parvolin]\nParvolinPath=" + (root_ / "rec").string() + "\n");
  const Result r = run("pvtool", {"log", "--config", "p.conf"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.rfind("Port  3  In   6  ?", 0), 0u) << r.out;

  // The user's own settings, where the recorder keeps them.
  fs::create_directories(root_ / "home" / "config" / "ParvolinUsb");
  fs::copy_file(root_ / "p.conf", root_ / "home" / "config" / "ParvolinUsb" / "Parvolin.conf");
  EXPECT_EQ(run("pvtool", {"log"}).out, r.out);

  const Result missing = run("pvtool", {"log", "--config", "none.conf"});
  EXPECT_EQ(missing.status, 2) << "refused as every program refuses it";
  EXPECT_NE(missing.err.find("--config: none.conf: no such settings file"), std::string::npos)
      << missing.err;
  test::writeFile(root_ / "empty.conf", "");
  const Result unset = run("pvtool", {"log", "--config", "empty.conf"});
  EXPECT_EQ(unset.status, 1);
  EXPECT_NE(unset.err.find("name no recording folder"), std::string::npos) << unset.err;
  EXPECT_EQ(run("pvtool", {"log", "x.ZERU", "--config", "p.conf"}).status, 2);
}

}  // namespace
}  // namespace parvolin::e2e
