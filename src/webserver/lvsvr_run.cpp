#include "webserver/lvsvr_run.h"

#include <fstream>
#include <ostream>
#include <sstream>

#include "base/exit_status.h"
#include "base/program_text.h"
#include "engine/recorder_settings.h"
#include "web/audit_log.h"
#include "web/call_list.h"
#include "web/login_throttle.h"
#include "web/sessions.h"
#include "web/state_folder.h"
#include "web/users.h"
#include "webserver/live_lines.h"
#include "webserver/recorder_edits.h"
#include "webserver/web_app.h"

namespace parvolin::webserver {

namespace {

namespace fs = std::filesystem;

std::optional<std::string> readText(const fs::path& file, std::string& why) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    why = file.string() + ": cannot be read";
    return std::nullopt;
  }
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The list's name and the volume adjustment, as the recorder reads them.
struct FolderSettings {
  std::string listName;
  int davaLevel = 0;
};

FolderSettings readFolderSettings(settings::SettingsStore& store) {
  const engine::RecorderSettings defaults;
  FolderSettings read;
  const auto& nameSpec = engine::settingSpec(engine::Setting::kLvLogHtmlName);
  const std::string name = store.getStringOr(nameSpec.name, "");
  read.listName = engine::settingTextMissing(nameSpec, name) ? defaults.lvLogHtmlName : name;
  engine::RecorderSettings settings;
  const std::int32_t bits =
      store.getIntOr(engine::settingSpec(engine::Setting::kParvolinSetting).name, -1);
  settings.parvolinSetting =
      bits == -1 ? defaults.parvolinSetting : static_cast<std::uint32_t>(bits);
  read.davaLevel = settings.davaLevel();
  return read;
}

}  // namespace

std::string lvsvrUsage() {
  return "Usage: lvsvr --folder DIR [--listen ADDR:PORT] [--tls-cert FILE "
         "--tls-key FILE]\n"
         "             [--state DIR] [--config FILE]\n"
         "Serves the calls of the recording folder DIR to browsers, behind "
         "logins.\n"
         "  --listen ADDR:PORT  where to listen (default 127.0.0.1:8480; "
         "[::1]:8480 for IPv6)\n"
         "  --tls-cert FILE, --tls-key FILE  HTTPS with this PEM certificate "
         "and key\n"
         "  --state DIR         the users and the audit log (default "
         "~/.local/state/parvolin-web)\n"
         "  --config FILE       the recorder's settings file\n";
}

std::optional<LvsvrOptions> parseLvsvrOptions(const std::vector<std::string>& args,
                                              std::string& why) {
  LvsvrOptions options;
  options.server.port = kDefaultPort;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      options.help = true;
      continue;
    }
    if (arg == "--version") {
      options.version = true;
      continue;
    }
    if (i + 1 >= args.size() || !arg.starts_with("--")) {
      why = arg.starts_with("--") ? arg + " needs a value" : "unexpected argument " + arg;
      return std::nullopt;
    }
    const std::string& value = args[++i];
    if (arg == "--folder") {
      options.folder = value;
    } else if (arg == "--listen") {
      if (const auto problem = parseListenProblem(value, options.server)) {
        why = "--listen " + value + ": " + *problem;
        return std::nullopt;
      }
    } else if (arg == "--tls-cert") {
      options.tlsCertificate = value;
    } else if (arg == "--tls-key") {
      options.tlsKey = value;
    } else if (arg == "--state") {
      options.stateFolder = value;
    } else if (arg == "--config") {
      options.configFile = value;
    } else {
      why = "unknown option " + arg;
      return std::nullopt;
    }
  }
  if (options.help || options.version) return options;
  if (options.folder.empty()) {
    why = "--folder DIR is needed";
    return std::nullopt;
  }
  if (options.tlsCertificate.has_value() != options.tlsKey.has_value()) {
    why = "--tls-cert and --tls-key go together";
    return std::nullopt;
  }
  return options;
}

namespace {

// The users, after the settings' plaintext password was taken over; false when
// lvsvr may not serve (no user with a password of its own).
bool prepareUsers(web::UserStore& users, settings::SettingsStore& store, std::ostream& err) {
  if (const auto problem = users.loadProblem()) {
    err << "lvsvr: " << *problem << "\n";
    return false;
  }
  std::string said;
  if (const auto problem = web::adoptSettingsPasswordProblem(users, store, said)) {
    err << "lvsvr: the settings' LvPassword is not used: " << *problem << "\n";
  }
  if (!said.empty()) err << "lvsvr: " << said << "\n";
  if (users.empty()) {
    err << "lvsvr: no user has a password yet, and the default password is "
           "never one.\n"
        << "Add an administrator first: pvtool web-user add NAME --role admin";
    if (!users.file().parent_path().empty()) {
      err << " --state " << users.file().parent_path().string();
    }
    err << "\n";
    return false;
  }
  return true;
}

}  // namespace

int runLvsvr(const LvsvrOptions& given, const OpenSettings& openSettings,
             const WaitForStop& waitForStop, std::ostream& out, std::ostream& err) {
  LvsvrOptions options = given;
  std::error_code error;
  if (!fs::is_directory(options.folder, error)) {
    err << "lvsvr: " << options.folder.string() << ": not a folder\n";
    return base::kExitFailed;
  }
  options.folder = fs::absolute(options.folder, error);
  const fs::path state = options.stateFolder.value_or(web::defaultStateFolder());
  if (const auto problem = web::makeStateFolderProblem(state)) {
    err << "lvsvr: " << state.string() << ": " << *problem << "\n";
    return base::kExitFailed;
  }
  std::unique_ptr<settings::SettingsStore> store = openSettings(options.configFile);
  if (!store) {
    err << "lvsvr: the recorder's settings cannot be read\n";
    return base::kExitFailed;
  }
  web::UserStore users(state / web::kUsersFileName);
  if (!prepareUsers(users, *store, err)) return base::kExitFailed;
  if (options.tlsCertificate) {
    std::string why;
    options.server.tlsCertificate = readText(*options.tlsCertificate, why);
    options.server.tlsKey = readText(*options.tlsKey, why);
    if (!options.server.tlsCertificate || !options.server.tlsKey) {
      err << "lvsvr: " << why << "\n";
      return base::kExitFailed;
    }
  } else if (!isLoopback(options.server.address)) {
    err << "lvsvr: warning: serving " << options.server.address
        << " without TLS: passwords and calls cross the network readable by "
           "anyone on it; "
           "give --tls-cert and --tls-key\n";
  }
  const FolderSettings folderSettings = readFolderSettings(*store);
  web::Sessions sessions;
  web::LoginThrottle throttle;
  web::AuditLog audit(state / web::kAuditFileName);
  web::CallList calls(options.folder / folderSettings.listName);
  LiveLines lines(options.folder);
  ControlSocketEdits edits(options.folder);
  WebApp app({options.folder, folderSettings.davaLevel},
             {users, sessions, throttle, audit, calls, lines, edits});
  std::string why;
  auto server = HttpServer::start(
      options.server, [&app](const Request& request) { return app.handle(request); }, why);
  if (!server) {
    err << "lvsvr: " << why << "\n";
    return base::kExitFailed;
  }
  const std::string host = options.server.address.find(':') != std::string::npos
                               ? "[" + options.server.address + "]"
                               : options.server.address;
  out << "lvsvr: serving " << options.folder.string() << " at "
      << (server->tls() ? "https://" : "http://") << host << ":" << server->port() << "/"
      << std::endl;
  while (!waitForStop()) users.reloadIfChanged();
  out << "lvsvr: stopped" << std::endl;
  return base::kExitOk;
}

}  // namespace parvolin::webserver
