// tessaly-host: the stand-in CAD host as a program.
//
//   tessaly-host register MODULE        registers a COM server, as regsvr32 does
//   tessaly-host unregister MODULE
//   tessaly-host open FILE [options]    opens FILE through the Open-dialog entry
//                                       of a registered add-in
//   tessaly-host command NAME [options] presses the add-in's command button NAME
//   tessaly-host demo [--mode solid|sketch|N] [--units 0..4] [--multibody]
//                     [--progress] [--save DIR]
//
// Options of open and command, before or after the operand: --answer
// LABEL=VALUE (repeatable) answers a dialog control by its label; --file PATH
// answers the file dialog; --interactive reads further answers from standard
// input (a person at a terminal, or line by line); --save DIR writes each
// document as an OBJ file; --json prints the result as one JSON object. An
// answer the dialog cannot take ends the run with status 2 and no result.
// The registry is the file named by TESSALY_REGISTRY. A run keeps its
// temporary files in a folder of its own, removed at its end, and an
// interrupted run (SIGINT, SIGTERM, SIGHUP) removes them and the OBJ file being
// saved, then ends by its signal (run_cleanup.h).
//
// `demo` feeds generated meshes (a cube of triangles and a grid of
// quadrilaterals) through the bridge's mesh road and prints what the host
// then holds.

#include <afxwin.h>

#include "VLMSWON.h"
#include "command_line.h"
#include "run_cleanup.h"
#include "stand_in/errors.h"
#include "stand_in/host.h"
#include "stand_in/paths.h"
#include "stand_in/registry.h"
#include "stand_in/text.h"
#include "stand_in/ui.h"

#include <objbase.h>

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kSynopsis[] =
    "usage: tessaly-host register MODULE\n"
    "       tessaly-host unregister MODULE\n"
    "       tessaly-host open FILE [--answer LABEL=VALUE]... [--file PATH] [--interactive] [--save DIR] [--json]\n"
    "       tessaly-host command Import|Help|About [same options]\n"
    "       tessaly-host demo [--mode solid|sketch|N] [--units 0..4] [--multibody] [--progress] [--save DIR]\n"
    "       tessaly-host help | --help | -h\n";

const char kOptions[] =
    "\n"
    "Options may stand before or after the operand. Options of open and command:\n"
    "  --answer LABEL=VALUE  answers a dialog control by its label: on or off for a check box or\n"
    "                        radio button, an entry's text for a list (Units=Feet); repeatable\n"
    "  --file PATH           answers the file dialog\n"
    "  --interactive         asks for what is not answered: on a terminal, or line by line from\n"
    "                        standard input\n"
    "  --save DIR            writes each document as an OBJ file into DIR\n"
    "  --json                prints the result as one JSON object\n"
    "The registry is the file named by TESSALY_REGISTRY.\n";

// What help prints: on standard output, a success.
int Help() {
  std::fputs(kSynopsis, stdout);
  std::fputs(kOptions, stdout);
  return 0;
}

int UsageError(const std::string& what) {
  std::fprintf(stderr, "tessaly-host: %s\n%s", what.c_str(), kSynopsis);
  return 2;
}

// The one operand a verb takes, named `what` (FILE), or a usage error.
bool OneOperand(const tessaly_host::Arguments& args, const char* verb, const char* what, std::string* error) {
  if (args.operands.empty()) {
    *error = std::string(verb) + " needs a " + what;
    return false;
  }
  if (args.operands.size() > 1) {
    *error = std::string(verb) + " takes one " + what + "; '" + args.operands[1] + "' is one too many";
    return false;
  }
  if (args.operands[0].empty()) {
    *error = std::string(verb) + " needs a " + what + ", not an empty argument";
    return false;
  }
  return true;
}

// The whole text as a decimal int, nothing else.
bool ParseInt(const char* text, int* value) {
  errno = 0;
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || errno == ERANGE || v < INT_MIN || v > INT_MAX) return false;
  *value = static_cast<int>(v);
  return true;
}

// Makes DIR and its parents; false with `error` set when it cannot.
bool MakeDirectories(const std::string& dir, std::string* error) {
  std::string path;
  for (size_t i = 0; i <= dir.size(); ++i) {
    if (i < dir.size() && dir[i] != '/') continue;
    path = dir.substr(0, i);
    if (path.empty()) continue;
    struct stat st;
    if (stat(path.c_str(), &st) == 0) {
      if (!S_ISDIR(st.st_mode)) {
        *error = path + " is not a directory";
        return false;
      }
      continue;
    }
    if (mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) {
      *error = "cannot create " + path + ": " + std::strerror(errno);
      return false;
    }
  }
  return true;
}

ON_Mesh Cube(float size) {
  ON_Mesh mesh;
  for (int i = 0; i < 8; ++i)
    mesh.m_V.Append(ON_3fPoint(i & 1 ? size : 0.0f, i & 2 ? size : 0.0f, i & 4 ? size : 0.0f));
  // Outward, counter-clockwise seen from outside.
  const int quads[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
  for (const auto& q : quads) {
    ON_MeshFace a, b;
    a.vi[0] = q[0], a.vi[1] = q[1], a.vi[2] = a.vi[3] = q[2];
    b.vi[0] = q[0], b.vi[1] = q[2], b.vi[2] = b.vi[3] = q[3];
    mesh.m_F.Append(a);
    mesh.m_F.Append(b);
  }
  return mesh;
}

ON_Mesh Grid(int n, float cell) {
  ON_Mesh mesh;
  for (int j = 0; j <= n; ++j)
    for (int i = 0; i <= n; ++i) mesh.m_V.Append(ON_3fPoint(i * cell, j * cell, 0.0f));
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      ON_MeshFace f;
      f.vi[0] = j * (n + 1) + i;
      f.vi[1] = f.vi[0] + 1;
      f.vi[2] = f.vi[1] + n + 1;
      f.vi[3] = f.vi[0] + n + 1;
      mesh.m_F.Append(f);
    }
  return mesh;
}

// The --save folder, made before any work so that a run never ends on a save
// it cannot make. True when there is none to make.
bool MakeSaveDirectory(const char* dir) {
  if (!dir) return true;
  std::string error;
  if (MakeDirectories(dir, &error)) return true;
  std::fprintf(stderr, "tessaly-host: --save: %s\n", error.c_str());
  return false;
}

bool SaveAll(const stand_in::Host& host, const std::string& dir) {
  for (const auto& doc : host.Documents()) {
    const std::string path = dir + "/" + doc.title + ".obj";
    std::string error;
    const tessaly_host::PartialFile partial(stand_in::SavingPath(path));
    if (!stand_in::SaveObj(doc, path, &error)) {
      std::fprintf(stderr, "tessaly-host: %s\n", error.c_str());
      return false;
    }
    std::fprintf(stderr, "saved %s\n", path.c_str());
  }
  return true;
}

int Demo(const tessaly_host::Arguments& args) {
  if (!args.operands.empty()) return UsageError("demo takes no operand; '" + args.operands[0] + "' is one");
  int mode = 0, units = 0;
  if (const std::string* m = args.Last("--mode")) {
    if (*m == "solid")
      mode = 0;
    else if (*m == "sketch")
      mode = 1;
    else if (!ParseInt(m->c_str(), &mode))
      return UsageError("--mode takes solid, sketch or a number, not '" + *m + "'");
  }
  if (const std::string* u = args.Last("--units")) {
    if (!ParseInt(u->c_str(), &units) || units < 0 || units > 4)
      return UsageError("--units takes 0 to 4, not '" + *u + "'");
  }
  const int multiBody = args.Has("--multibody") ? 1 : 0, progress = args.Has("--progress") ? 1 : 0;
  const std::string* save = args.Last("--save");
  const char* saveDir = save ? save->c_str() : nullptr;
  if (!MakeSaveDirectory(saveDir)) return 1;

  ON_ClassArray<ON_Mesh> meshes;
  meshes.Append(Cube(100.0f));
  meshes.Append(Grid(4, 25.0f));

  stand_in::Host host;
  host.SetRecording(false);  // nothing here reads the record of calls
  const int ok = VLMSWON::CreatePartFromMeshes(host.Application(), meshes, units, mode, multiBody, progress);
  std::printf("%s", host.Describe().c_str());
  if (!ok) {
    std::fprintf(stderr, "import failed: %s\n", stand_in::ToUtf8(VLMSWON::GetError().str()).c_str());
    return 1;
  }
  if (saveDir && !SaveAll(host, saveDir)) return 1;
  return 0;
}

// --- Registration ----------------------------------------------------------------

// Each line of `text` as a message of the program.
void PrintLines(const std::string& text) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    if (end > start) std::fprintf(stderr, "tessaly-host: %.*s\n", static_cast<int>(end - start), text.data() + start);
    start = end + 1;
  }
}

// A damaged or unreadable registry is said once, here, before the calls that
// would each fail on it.
bool RegistrySound() {
  std::string error;
  if (stand_in::registry::CheckFile(&error)) return true;
  PrintLines(error);
  return false;
}

// Loads MODULE and calls its DllRegisterServer or DllUnregisterServer, as
// regsvr32 does.
int Register(const tessaly_host::Arguments& args, bool unregister) {
  std::string usage;
  if (!OneOperand(args, unregister ? "unregister" : "register", "MODULE", &usage)) return UsageError(usage);
  const char* const module_name = args.operands[0].c_str();
  const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
  char resolved[PATH_MAX];
  if (!realpath(module_name, resolved)) {
    std::fprintf(stderr, "tessaly-host: %s: %s\n", module_name, std::strerror(errno));
    return 1;
  }
  struct stat st;
  if (stat(resolved, &st) == 0 && S_ISDIR(st.st_mode)) {
    std::fprintf(stderr, "tessaly-host: %s is a folder, not a module\n", resolved);
    return 1;
  }
  if (!RegistrySound()) return 1;
  const std::wstring module = stand_in::WindowsPath(resolved);
  CoInitialize(nullptr);
  HMODULE handle = LoadLibraryW(module.c_str());
  if (!handle) {
    std::fprintf(stderr, "tessaly-host: cannot load %s: %s\n", resolved,
                 stand_in::Win32ErrorText(GetLastError()).c_str());
    CoUninitialize();
    return 1;
  }
  typedef HRESULT(STDAPICALLTYPE * ServerEntry)();
  ServerEntry call = reinterpret_cast<ServerEntry>(reinterpret_cast<void*>(GetProcAddress(handle, entry)));
  int status = 0;
  if (!call) {
    std::fprintf(stderr, "tessaly-host: %s has no %s\n", resolved, entry);
    status = 1;
  } else {
    const HRESULT hr = call();
    if (hr == S_OK) {
      std::printf("%s in %s succeeded.\n", entry, resolved);
    } else {
      // What a missing registration means to someone who unregisters.
      const bool unregistered = unregister && (hr == TYPE_E_REGISTRYACCESS || hr == TYPE_E_LIBNOTREGISTERED);
      std::fprintf(stderr, "tessaly-host: %s in %s failed: %s%s\n", entry, resolved, stand_in::ErrorText(hr).c_str(),
                   unregistered ? "; is the module registered?" : "");
      status = 1;
    }
  }
  FreeLibrary(handle);
  CoUninitialize();
  return status;
}

// --- Running the add-in -------------------------------------------------------------

// The console as the user's screen, keeping every message box for the report.
class Screen : public stand_in::ui::ConsoleDriver {
 public:
  struct Box {
    std::wstring title, text;
  };
  int ShowMessageBox(HWND owner, const std::wstring& text, const std::wstring& title, UINT flags) override {
    boxes.push_back({title, text});
    return ConsoleDriver::ShowMessageBox(owner, text, title, flags);
  }
  std::vector<Box> boxes;
};

std::string Json(const stand_in::Host& host, const std::vector<Screen::Box>& boxes) {
  std::string out = "{\"documents\": [";
  bool firstDoc = true;
  for (const auto& doc : host.Documents()) {
    out += firstDoc ? "\n  " : ",\n  ";
    firstDoc = false;
    out += stand_in::DocumentJson(doc);
  }
  out += firstDoc ? "], \"messages\": [" : "\n], \"messages\": [";
  bool firstBox = true;
  for (const auto& box : boxes) {
    out += firstBox ? "\n  " : ",\n  ";
    firstBox = false;
    out += "{\"title\": " + stand_in::JsonString(stand_in::ToUtf8(box.title)) + ", \"text\": " +
           stand_in::JsonString(stand_in::ToUtf8(box.text)) + "}";
  }
  out += firstBox ? "]}\n" : "\n]}\n";
  return out;
}

std::string Text(const stand_in::Host& host, const std::vector<Screen::Box>& boxes) {
  std::string out = host.Describe();
  for (const auto& box : boxes)
    out += "message [" + stand_in::ToUtf8(box.title) + "] " + stand_in::ToUtf8(box.text) + "\n";
  return out;
}


// open FILE / command NAME: starts the host, loads and connects the
// registered add-ins, acts, prints what the host holds, and shuts down.
int RunAddin(const tessaly_host::Arguments& args, bool command) {
  std::string usage;
  if (!OneOperand(args, command ? "command" : "open", command ? "NAME" : "FILE", &usage)) return UsageError(usage);
  const std::string& target = args.operands[0];
  std::vector<std::wstring> answers;
  for (const std::string& answer : args.All("--answer")) {
    if (answer.find('=') == std::string::npos) return UsageError("--answer takes LABEL=VALUE, not '" + answer + "'");
    answers.push_back(stand_in::FromUtf8(answer));
  }
  const std::string* save = args.Last("--save");
  const std::string* fileAnswer = args.Last("--file");
  const char* saveDir = save ? save->c_str() : nullptr;
  const char* file = fileAnswer ? fileAnswer->c_str() : nullptr;
  const bool json = args.Has("--json"), interactive = args.Has("--interactive");
  if (!RegistrySound() || !MakeSaveDirectory(saveDir)) return 1;
  // Windows form of a native file: the add-in names files the Windows way.
  auto windowsForm = [](const std::string& native) {
    char resolved[PATH_MAX];
    return stand_in::WindowsPath(realpath(native.c_str(), resolved) ? resolved : native);
  };

  Screen screen;
  screen.SetAnswers(answers);
  screen.SetInteractive(interactive);
  if (file) screen.SetFilePath(windowsForm(file));
  stand_in::ui::Install(&screen);

  int status = 0;
  {
    stand_in::Host host;
    host.SetRecording(false);  // nothing here reads the record of calls
    CoInitialize(nullptr);
    std::string error;
    if (FAILED(host.LoadAddIns(&error))) PrintLines(error);
    error.clear();
    const auto& addIns = host.AddIns();
    if (addIns.empty()) {
      std::fprintf(stderr, "tessaly-host: no add-in is registered (tessaly-host register MODULE registers one)\n");
      status = 1;
    } else if (std::none_of(addIns.begin(), addIns.end(), [](const stand_in::AddIn& a) { return a.connected; })) {
      status = 1;  // why each failed is said above; acting now would only fail again
    } else {
      const HRESULT hr = command ? host.PressCommand(stand_in::FromUtf8(target), &error)
                                 : host.OpenFile(windowsForm(target), &error);
      if (FAILED(hr)) {
        std::fprintf(stderr, "tessaly-host: %s\n", error.c_str());
        status = 1;
      }
      if (!screen.AnswerError().empty()) {
        // The dialog said why; what follows a refused answer is no result.
        status = 2;
      } else {
        std::fputs((json ? Json(host, screen.boxes) : Text(host, screen.boxes)).c_str(), stdout);
        if (saveDir && !SaveAll(host, saveDir)) status = 1;
      }
    }
    host.UnloadAddIns();
    CoUninitialize();
  }
  stand_in::ui::Install(nullptr);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  using tessaly_host::OptionSpec;
  if (argc < 2) return UsageError("no command given");
  const std::string verb = argv[1];
  if (verb == "help" || verb == "--help" || verb == "-h") return Help();
  static const std::vector<OptionSpec> kNone;
  static const std::vector<OptionSpec> kDemo = {{"--mode", "solid, sketch or a number"},
                                                {"--units", "a number from 0 to 4"},
                                                {"--multibody", nullptr},
                                                {"--progress", nullptr},
                                                {"--save", "a folder"}};
  static const std::vector<OptionSpec> kRun = {{"--answer", "LABEL=VALUE"}, {"--file", "a path"},
                                               {"--save", "a folder"},      {"--json", nullptr},
                                               {"--interactive", nullptr}};
  const bool isDemo = verb == "demo", isRegister = verb == "register" || verb == "unregister";
  const bool isRun = verb == "open" || verb == "command";
  if (!isDemo && !isRegister && !isRun) return UsageError("unknown command '" + verb + "'");

  tessaly_host::Arguments args;
  std::string error;
  if (!tessaly_host::ParseArguments(std::vector<std::string>(argv + 2, argv + argc),
                                    isDemo ? kDemo : isRun ? kRun : kNone, &args, &error))
    return UsageError(error);
  if (args.help) return Help();
  const tessaly_host::RunCleanup cleanup;
  if (isDemo) return Demo(args);
  if (isRegister) return Register(args, verb == "unregister");
  return RunAddin(args, verb == "command");
}
