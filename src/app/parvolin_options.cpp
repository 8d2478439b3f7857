#include "app/parvolin_options.h"

#include <string_view>
#include <system_error>

#include "base/program_text.h"

namespace parvolin::app {
namespace {

// Splits "--name=value" or takes the value from the next argument. Returns false when a value
// is wanted and missing.
bool takeValue(const std::vector<std::string>& args, std::size_t& i, std::string_view name,
               std::string& value) {
  const std::string& arg = args[i];
  if (arg.size() > name.size() && arg[name.size()] == '=') {
    value = arg.substr(name.size() + 1);
    return !value.empty();
  }
  if (i + 1 >= args.size()) return false;
  value = args[++i];
  return true;
}

bool named(const std::string& arg, std::string_view name) {
  return arg == name || (arg.size() > name.size() && arg.compare(0, name.size(), name) == 0 &&
                         arg[name.size()] == '=');
}

}  // namespace

std::optional<ParvolinOptions> parseParvolinOptions(const std::vector<std::string>& args,
                                                    std::string& error) {
  ParvolinOptions o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::string value;
    auto path = [&](std::string_view name, std::optional<std::filesystem::path>& into) {
      if (!takeValue(args, i, name, value)) {
        error = std::string(name) + " needs a value";
        return false;
      }
      into = value;
      return true;
    };
    if (arg == "--help" || arg == "-h") {
      o.help = true;
      return o;
    } else if (arg == "--version") {
      o.version = true;
      return o;
    } else if (arg == "--headless") {
      o.headless = true;
    } else if (arg == "--minimized") {
      o.minimized = true;
    } else if (arg == "--force") {
      o.force = true;
    } else if (arg == "--virtual" || arg == "--realtime") {
      o.virtualClock = o.virtualClock || arg == "--virtual";
      o.driverArgs.push_back(arg);
    } else if (arg == "--simulate" || arg.rfind("--simulate=", 0) == 0) {
      o.simulated = true;
      o.driverArgs.push_back(arg);
    } else if (named(arg, "--driver") || named(arg, "--usb-id")) {
      const std::string name = arg.substr(0, arg.find('='));
      if (!takeValue(args, i, name, value)) {
        error = name + " needs a value";
        return {};
      }
      if (name == "--driver" && value == "sim") o.simulated = true;
      o.driverArgs.push_back(name + "=" + value);
    } else if (named(arg, "--capture")) {
      if (!path("--capture", o.capture)) return {};
    } else if (named(arg, "--replay")) {
      if (!path("--replay", o.replay)) return {};
    } else if (named(arg, "--folder")) {
      if (!path("--folder", o.folder)) return {};
    } else if (named(arg, "--config")) {
      if (!path("--config", o.config)) return {};
    } else {
      error = "unknown option '" + base::printable(arg) + "'";
      return {};
    }
  }
  if (o.force && !o.capture) {
    error = "--force goes with --capture";
    return {};
  }
  if (o.headless && o.minimized) {
    error = "--minimized is for the window; --headless has none";
    return {};
  }
  if (o.replay) {
    if (o.capture || !o.driverArgs.empty()) {
      error =
          "--replay reads a capture: it cannot be combined with --capture or a unit option ("
          "--driver, --simulate, --realtime, --virtual, --usb-id)";
      return {};
    }
    if (!o.folder) {
      error = "--replay needs --folder DIR";
      return {};
    }
    o.headless = true;
  }
  if (o.virtualClock && !o.headless) {
    // The window ticks on the wall clock; a scenario run at full speed has no one to watch it.
    error = "--virtual runs without a window: add --headless";
    return {};
  }
  return o;
}

void makePathsAbsolute(ParvolinOptions& options) {
  for (auto* path : {&options.capture, &options.replay, &options.folder, &options.config}) {
    if (!*path) continue;
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(**path, ec);
    if (!ec) *path = absolute.lexically_normal();
  }
}

bool captureMayBeWritten(const ParvolinOptions& options, std::FILE* err) {
  if (!options.capture) return true;
  const auto problem = engine::outputFileProblem(*options.capture, captureExistingFile(options));
  if (!problem) return true;
  std::fprintf(err, "parvolin: cannot write the capture: %s\n", problem->c_str());
  return false;
}

}  // namespace parvolin::app
