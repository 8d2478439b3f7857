#include "sim/scenario.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <map>

#include "base/file_io.h"
#include "base/program_text.h"
#include "device/digit_code.h"
#include "device/unit_link.h"
#include "device/unit_protocol.h"
#include "sim/audio_source.h"
#include "sim/random_calls.h"
#include "sim/scenario_values.h"

namespace parvolin::sim {

using device::digitNibble;
using device::DigitTable;
using device::kCallerNumberDigits;
using device::kDialledNumberDigits;
namespace {

constexpr std::int64_t kDialDigitSpacingMs = 300;

class Parser {
 public:
  Parser(std::string_view name, std::filesystem::path baseDir)
      : name_(name), baseDir_(std::move(baseDir)) {}

  bool parseLine(std::string_view line, int number);
  Scenario& scenario() { return scenario_; }
  const std::string& error() const { return error_; }

 private:
  bool fail(const std::string& what) {
    // The words quoted come from the file: shown escaped, never as raw bytes.
    error_ = base::printable(name_) + ":" + std::to_string(line_) + ": " + base::printable(what);
    return false;
  }
  bool parseUnit(const std::vector<std::string>& w);
  bool parseRandom(const std::vector<std::string>& w);
  bool parseTimed(const std::vector<std::string>& w);
  bool parsePortEvent(const std::vector<std::string>& w, std::size_t unit, SimEvent e);
  bool parseUnitEvent(const std::vector<std::string>& w, std::size_t unit, SimEvent e);
  std::optional<std::size_t> findUnit(std::string_view ref);
  bool checkDigits(const std::string& digits, DigitTable table, std::size_t most);
  bool parseSource(const std::string& text, AudioSourceSpec& source);
  void add(std::size_t unit, const SimEvent& e) { scenario_.events.push_back({unit, e}); }

  std::string name_;
  std::filesystem::path baseDir_;
  int line_ = 0;
  std::int64_t lastTimeMs_ = 0;
  Scenario scenario_;
  std::string error_;
  std::map<std::string, std::shared_ptr<const std::vector<std::int16_t>>> wavCache_;
};

bool Parser::parseLine(std::string_view line, int number) {
  line_ = number;
  if (const auto hash = line.find('#'); hash != std::string_view::npos) line = line.substr(0, hash);
  const std::vector<std::string> words = splitWords(line);
  if (words.empty()) return true;
  if (words[0] == "unit") return parseUnit(words);
  if (words[0] == "random") return parseRandom(words);
  if (std::isdigit(static_cast<unsigned char>(words[0][0])) || words[0][0] == '+') {
    return parseTimed(words);
  }
  return fail("unknown statement '" + words[0] + "'");
}

bool Parser::parseUnit(const std::vector<std::string>& w) {
  if (w.size() < 2) return fail("unit needs a serial number");
  for (const UnitDeclaration& declared : scenario_.units) {
    if (declared.config.serial == w[1]) return fail("unit '" + w[1] + "' is declared twice");
  }
  UnitDeclaration unit;
  unit.config.serial = w[1];
  UnitRegisters& r = unit.config.registers;
  const std::map<std::string, std::uint8_t*> bytes = {
      {"mode", &r.audioMode},         {"callerid", &r.callerIdMode},    {"varports", &r.varPorts},
      {"threshold", &r.varThreshold}, {"offdelay", &r.varTurnOffDelay}, {"timeout", &r.varTimeout}};
  for (std::size_t i = 2; i < w.size(); ++i) {
    const auto eq = w[i].find('=');
    if (eq == std::string::npos) return fail("expected key=value, got '" + w[i] + "'");
    const std::string key = w[i].substr(0, eq);
    const std::string value = w[i].substr(eq + 1);
    std::optional<std::int64_t> v;
    if (auto it = bytes.find(key); it != bytes.end()) {
      if ((v = parseInteger(value, 0, 255))) *it->second = static_cast<std::uint8_t>(*v);
    } else if (key == "number") {
      if ((v = parseInteger(value, 0, 0xFFFFFFFF)))
        unit.config.unitNumber = static_cast<std::uint32_t>(*v);
    } else if (key == "version13" || key == "version15") {
      if ((v = parseCharOrByte(value)))
        unit.config.version[key == "version13" ? 13 : 15] = static_cast<std::uint8_t>(*v);
    } else if (key == "queue") {
      if ((v = parseInteger(value, 16, 1 << 26)))
        unit.config.queueCapacity = static_cast<std::size_t>(*v);
    } else {
      return fail("unknown unit setting '" + key + "'");
    }
    if (!v) return fail("bad value '" + value + "' for " + key);
  }
  scenario_.units.push_back(std::move(unit));
  return true;
}

bool Parser::parseRandom(const std::vector<std::string>& w) {
  if (w.size() < 2) return fail("random needs a unit or 'all'");
  std::vector<std::size_t> units;
  if (w[1] == "all") {
    for (std::size_t u = 0; u < scenario_.units.size(); ++u) units.push_back(u);
  } else if (auto u = findUnit(w[1])) {
    units.push_back(*u);
  } else {
    return fail("no unit '" + w[1] + "' declared");
  }
  UnitDeclaration settings;
  settings.randomCalls = true;
  for (std::size_t i = 2; i < w.size(); ++i) {
    const auto eq = w[i].find('=');
    const std::string key = w[i].substr(0, eq);
    const std::string value = eq == std::string::npos ? "" : w[i].substr(eq + 1);
    std::optional<std::int64_t> v;
    if (key == "seed") {
      if ((v = parseInteger(value, 0, 0xFFFFFFFF)))
        settings.randomSeed = static_cast<std::uint32_t>(*v);
    } else if (key == "from") {
      if ((v = parseSeconds(value))) settings.randomFromMs = *v;
    } else if (key == "until") {
      if ((v = parseSeconds(value))) settings.randomUntilMs = *v;
    } else {
      return fail("unknown random setting '" + w[i] + "'");
    }
    if (!v) return fail("bad value '" + value + "' for " + key);
  }
  for (std::size_t u : units) {
    UnitDeclaration& unit = scenario_.units[u];
    unit.randomCalls = true;
    unit.randomSeed = settings.randomSeed + static_cast<std::uint32_t>(u) * 7919u;
    unit.randomFromMs = settings.randomFromMs;
    unit.randomUntilMs = settings.randomUntilMs;
  }
  return true;
}

std::optional<std::size_t> Parser::findUnit(std::string_view ref) {
  for (std::size_t u = 0; u < scenario_.units.size(); ++u) {
    if (scenario_.units[u].config.serial == ref) return u;
  }
  if (auto n = parseInteger(ref, 1, static_cast<std::int64_t>(scenario_.units.size()))) {
    return static_cast<std::size_t>(*n - 1);
  }
  return std::nullopt;
}

bool Parser::parseTimed(const std::vector<std::string>& w) {
  const bool relative = w[0][0] == '+';
  const auto t = parseSeconds(relative ? std::string_view(w[0]).substr(1) : std::string_view(w[0]));
  if (!t) return fail("bad time '" + w[0] + "'");
  const std::int64_t atMs = relative ? lastTimeMs_ + *t : *t;
  lastTimeMs_ = atMs;
  if (w.size() < 3) return fail("expected TIME UNIT[/PORT] EVENT");
  const std::string& target = w[1];
  const auto slash = target.rfind('/');
  const auto unit = findUnit(std::string_view(target).substr(0, slash));
  if (!unit) return fail("no unit '" + target.substr(0, slash) + "' declared");
  SimEvent e;
  e.atMs = atMs;
  if (slash == std::string::npos) return parseUnitEvent(w, *unit, e);
  const auto port = parseInteger(std::string_view(target).substr(slash + 1), 1, 4);
  if (!port) return fail("port must be 1 to 4 in '" + target + "'");
  e.port = static_cast<int>(*port - 1);
  return parsePortEvent(w, *unit, e);
}

bool Parser::checkDigits(const std::string& digits, DigitTable table, std::size_t most) {
  if (digits.size() > most) return fail("more than " + std::to_string(most) + " digits");
  for (char c : digits) {
    if (!digitNibble(c, table)) return fail(std::string("'") + c + "' is not a digit here");
  }
  return true;
}

bool Parser::parseSource(const std::string& text, AudioSourceSpec& source) {
  std::string lower = text;
  std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
  if (lower == "speech") {
    source.kind = AudioSourceSpec::Kind::Speech;
    source.seed = static_cast<std::uint32_t>(line_);
  } else if (lower.rfind("speech:", 0) == 0) {
    const auto seed = parseInteger(lower.substr(7), 0, 0xFFFFFFFF);
    if (!seed) return fail("bad speech seed in '" + text + "'");
    source.kind = AudioSourceSpec::Kind::Speech;
    source.seed = static_cast<std::uint32_t>(*seed);
  } else if (lower == "silence") {
    source.kind = AudioSourceSpec::Kind::Silence;
  } else if (lower.rfind("tone:", 0) == 0) {
    const auto hz = parseInteger(lower.substr(5), 1, 3999);
    if (!hz) return fail("bad tone frequency in '" + text + "'");
    source.kind = AudioSourceSpec::Kind::Tone;
    source.toneHz = static_cast<int>(*hz);
  } else if (lower.size() > 4 && lower.substr(lower.size() - 4) == ".wav") {
    const std::filesystem::path path = baseDir_ / text;
    auto& cached = wavCache_[path.string()];
    if (!cached) {
      std::string why;
      auto samples = loadWavSamples(path, why);
      if (!samples) return fail(why);
      cached = std::make_shared<const std::vector<std::int16_t>>(std::move(*samples));
    }
    source.kind = AudioSourceSpec::Kind::Samples;
    source.samples = cached;
  } else {
    return fail("unknown audio source '" + text + "'");
  }
  return true;
}

bool Parser::parsePortEvent(const std::vector<std::string>& w, std::size_t unit, SimEvent e) {
  using Kind = SimEvent::Kind;
  const std::string& name = w[2];
  const std::size_t args = w.size() - 3;
  auto arg = [&](std::size_t i) -> const std::string& { return w[3 + i]; };
  auto argCount = [&](std::size_t lo, std::size_t hi) {
    return (args >= lo && args <= hi) || fail("wrong number of arguments for " + name);
  };
  static const std::map<std::string, Kind> simple = {
      {"ring", Kind::Ring}, {"answer", Kind::Answer}, {"varstart", Kind::VarStart}};
  if (auto it = simple.find(name); it != simple.end()) {
    if (!argCount(0, 0)) return false;
    e.kind = it->second;
  } else if (name == "callerid") {
    if (!argCount(2, 2)) return false;
    if (arg(0) != "A" && arg(0) != "B") return fail("caller number type must be A or B");
    e.kind = Kind::CallerId;
    e.idType = arg(0)[0];
    e.digits = arg(1);
    if (!checkDigits(e.digits, DigitTable::A, kCallerNumberDigits)) return false;
  } else if (name == "dialout") {
    if (!argCount(0, 1)) return false;
    e.kind = Kind::DialOut;
    add(unit, e);
    if (args == 1) {
      if (!checkDigits(arg(0), DigitTable::B, 64)) return false;
      SimEvent digit = e;
      digit.kind = Kind::Digit;
      for (char c : arg(0)) {
        digit.atMs += kDialDigitSpacingMs;
        digit.value = *digitNibble(c, DigitTable::B);
        add(unit, digit);
      }
    }
    return true;
  } else if (name == "digit") {
    if (!argCount(1, 1)) return false;
    e.kind = Kind::Digit;
    if (arg(0).size() == 1) {
      const auto nibble = digitNibble(arg(0)[0], DigitTable::B);
      if (!nibble || *nibble == 0) return fail("'" + arg(0) + "' is not a digit");
      e.value = *nibble;
    } else if (auto v = parseInteger(arg(0), 0, 255)) {
      e.value = static_cast<int>(*v);
    } else {
      return fail("bad digit '" + arg(0) + "'");
    }
  } else if (name == "talk") {
    if (!argCount(1, 2)) return false;
    const auto ms = parseSeconds(arg(0));
    if (!ms) return fail("bad duration '" + arg(0) + "'");
    e.kind = Kind::Talk;
    e.durationMs = *ms;
    e.source.seed = static_cast<std::uint32_t>(line_);
    if (args == 2 && !parseSource(arg(1), e.source)) return false;
  } else if (name == "callend" || name == "calloutend" || name == "varend") {
    if (!argCount(0, 1)) return false;
    const bool caller = name == "callend";
    e.kind = caller ? Kind::CallEnd : name == "varend" ? Kind::VarEnd : Kind::CalloutEnd;
    e.digits = args == 1 ? arg(0) : "";
    if (!checkDigits(e.digits, caller ? DigitTable::A : DigitTable::B,
                     caller ? kCallerNumberDigits : kDialledNumberDigits)) {
      return false;
    }
  } else {
    return fail("unknown port event '" + name + "'");
  }
  add(unit, e);
  return true;
}

bool Parser::parseUnitEvent(const std::vector<std::string>& w, std::size_t unit, SimEvent e) {
  using Kind = SimEvent::Kind;
  const std::string& name = w[2];
  const std::size_t args = w.size() - 3;
  static const std::map<std::string, Kind> plain = {{"unplug", Kind::Unplug},
                                                    {"replug", Kind::Replug},
                                                    {"plug", Kind::Plug},
                                                    {"powercycle", Kind::PowerCycle}};
  static const std::map<std::string, Kind> timed = {{"stall", Kind::Stall},
                                                    {"drip", Kind::Drip},
                                                    {"noanswer", Kind::NoAnswer},
                                                    {"wrongack", Kind::WrongAck}};
  if (auto it = plain.find(name); it != plain.end()) {
    if (args != 0) return fail(name + " takes no arguments");
    e.kind = it->second;
  } else if (auto timedIt = timed.find(name); timedIt != timed.end()) {
    const std::size_t most = timedIt->second == Kind::WrongAck ? 2 : 1;
    if (args < 1 || args > most) return fail("wrong number of arguments for " + name);
    const auto ms = parseSeconds(w[3]);
    if (!ms) return fail("bad duration '" + w[3] + "'");
    e.kind = timedIt->second;
    e.durationMs = *ms;
    e.value = 0xB4;
    if (args == 2) {
      const auto b = parseInteger(w[4], 0, 255);
      if (!b) return fail("bad byte '" + w[4] + "'");
      e.value = static_cast<int>(*b);
    }
  } else if (name == "garbage") {
    const auto n = args == 1 ? parseInteger(w[3], 1, 1 << 20) : std::nullopt;
    if (!n) return fail("garbage needs a byte count");
    e.kind = Kind::Garbage;
    e.value = static_cast<int>(*n);
  } else if (name == "badport") {
    const auto b = args == 0   ? std::optional<std::int64_t>(4)
                   : args == 1 ? parseInteger(w[3], 4, 255)
                               : std::nullopt;
    if (!b) return fail("badport takes a port byte of 4 to 255");
    e.kind = Kind::BadPort;
    e.value = static_cast<int>(*b);
  } else if (name == "version13" || name == "version15") {
    const auto c = args == 1 ? parseCharOrByte(w[3]) : std::nullopt;
    if (!c) return fail(name + " needs a character");
    e.kind = Kind::VersionByte;
    e.index = name == "version13" ? 13 : 15;
    e.value = static_cast<int>(*c);
  } else {
    return fail("unknown unit event '" + name + "'");
  }
  add(unit, e);
  return true;
}

}  // namespace

std::int64_t Scenario::endMs(std::int64_t callsPlayedMost) const {
  std::int64_t end = 0;
  for (const ScenarioEvent& e : events) end = std::max(end, e.event.atMs + e.event.durationMs);
  // Random calls with an end: the last one begins before it and may last past it. Their player
  // is deterministic, so playing it through here gives the very calls the unit will make. Calls
  // that go on for months are not all played: past `callsPlayedMost` calls, the end of a
  // port's calls is where its last call can end at the latest.
  std::int64_t callsLeft = callsPlayedMost;
  std::vector<SimEvent> call;  // one for all the calls played
  for (const UnitDeclaration& unit : units) {
    if (!unit.randomCalls || unit.randomUntilMs == kNever) continue;
    const std::uint8_t varPorts = unit.config.registers.varPorts;
    for (int port = 0; port < device::kPortsPerUnit; ++port) {
      const bool varPort = device::protocol::varValueValid(varPorts) && ((varPorts >> port) & 1);
      RandomCallPlayer player(unit.randomSeed, port, unit.randomFromMs, unit.randomUntilMs);
      for (; !player.finished() && callsLeft > 0; --callsLeft) {
        player.takeNextCall(varPort, call);
        for (const SimEvent& e : call) {
          end = std::max(end, e.atMs + e.durationMs);
        }
      }
      if (!player.finished()) end = std::max(end, unit.randomUntilMs + kLongestRandomCallMs);
    }
  }
  return end;
}

namespace {

// A unit whose first plug event (by time, then by line) is `plug` is not plugged in at the start.
void markUnitsPluggedLater(Scenario& scenario) {
  using Kind = SimEvent::Kind;
  std::vector<const SimEvent*> first(scenario.units.size(), nullptr);
  for (const ScenarioEvent& e : scenario.events) {
    const Kind kind = e.event.kind;
    if (kind != Kind::Plug && kind != Kind::Unplug && kind != Kind::Replug) continue;
    const SimEvent*& earliest = first[e.unit];
    if (earliest == nullptr || e.event.atMs < earliest->atMs) earliest = &e.event;
  }
  for (std::size_t u = 0; u < scenario.units.size(); ++u) {
    if (first[u] != nullptr && first[u]->kind == Kind::Plug) {
      scenario.units[u].config.pluggedAtStart = false;
    }
  }
}

}  // namespace

std::optional<Scenario> parseScenario(std::string_view text, std::string_view name,
                                      const std::filesystem::path& baseDir, std::string& error) {
  Parser parser(name, baseDir);
  int number = 0;
  while (!text.empty()) {
    const auto nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!parser.parseLine(line, ++number)) {
      error = parser.error();
      return std::nullopt;
    }
  }
  if (parser.scenario().units.empty()) {
    error = base::printable(name) + ": no unit declared";
    return std::nullopt;
  }
  markUnitsPluggedLater(parser.scenario());
  return std::move(parser.scenario());
}

std::optional<Scenario> loadScenario(const std::filesystem::path& file, std::string& error) {
  std::string text;
  if (const std::error_code ec = base::readWholeFile(file, text)) {
    error = base::printable(file.string()) + ": cannot read the scenario: " + ec.message();
    return std::nullopt;
  }
  return parseScenario(text, file.string(), file.parent_path(), error);
}

Scenario builtInScenario() {
  Scenario s;
  UnitDeclaration first;
  first.config.serial = "PV1000A";
  first.config.unitNumber = 0x00A1B2C3;
  UnitDeclaration second;
  second.config.serial = "PV1000B";
  second.config.unitNumber = 0x00A1B2C4;
  second.config.registers.varPorts = 0x5C;  // ports 3 and 4 record in VAR mode
  for (UnitDeclaration* u : {&first, &second}) {
    u->randomCalls = true;
    u->randomSeed = u == &first ? 11 : 23;
    s.units.push_back(*u);
  }
  return s;
}

}  // namespace parvolin::sim
