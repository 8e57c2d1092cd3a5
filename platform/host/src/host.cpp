// The Host facade: configuration, the model, the recorder, the faults and
// the accounting as tests and the command line see them.
#include "state.h"

#include "stand_in/text.h"

#include <objbase.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>

namespace stand_in {
namespace {

std::string Count(size_t n, const char* what) {
  return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

// A sketch's entities by kind, as Describe and DocumentJson name them.
struct EntityCounts {
  size_t points = 0, lines = 0, arcs = 0, circles = 0, splines = 0;
  void Add(const Sketch& sketch) {
    points += sketch.points.size();
    lines += sketch.lines.size();
    for (const SketchArc& arc : sketch.arcs) ++(arc.circle ? circles : arcs);
    splines += sketch.splines.size();
  }
};

// "3 lines" always, the other kinds when there are any.
std::string DescribeSketch(const Sketch& sketch) {
  EntityCounts n;
  n.Add(sketch);
  std::string out;
  auto add = [&](size_t count, const char* what, bool always) {
    if (count == 0 && !always) return;
    out += (out.empty() ? "" : ", ") + Count(count, what);
  };
  add(n.points, "point", false);
  add(n.lines, "line", true);
  add(n.arcs, "arc", false);
  add(n.circles, "circle", false);
  add(n.splines, "spline", false);
  return out;
}

std::string Q(const std::wstring& text) { return "\"" + ToUtf8(text) + "\""; }

std::string IconText(const char* what, const Icon& icon) {
  if (icon.width == 0) return std::string("    ") + what + ": none\n";
  return std::string("    ") + what + ": " + std::to_string(icon.width) + "x" + std::to_string(icon.height) + " from " +
         Q(icon.path) + "\n";
}

const char* DocumentTypeName(LONG type) {
  switch (type) {
    case hostDocPART: return "part";
    case hostDocASSEMBLY: return "assembly";
    case hostDocDRAWING: return "drawing";
  }
  return "?";
}

void DescribeCommands(const HostState& s, std::string& out) {
  for (const AddIn& a : s.addIns) {
    wchar_t clsid[40] = L"";
    StringFromGUID2(a.clsid, clsid, 40);
    out += "Add-in " + (a.cookie ? std::to_string(a.cookie) : std::string("-")) + " " + ToUtf8(clsid) + ": " +
           (a.connected ? "connected" : "not connected") + (a.error.empty() ? "" : ", " + a.error) + "\n";
  }
  for (const HostState::Callback& c : s.callbacks)
    out += "Callback object of add-in " + std::to_string(c.cookie) + "\n";
  for (const CommandManager& m : s.managers) {
    out += "Command manager of add-in " + std::to_string(m.cookie) + ": " + Count(m.groups.size(), "group") + "\n";
    for (const CommandGroup& g : m.groups) {
      out += "  group " + std::to_string(g.userId) + " " + Q(g.title) + (g.active ? ", active" : ", not active") +
             ", " + Count(g.items.size(), "item") + "\n";
      out += IconText("small icons", g.smallIcons) + IconText("large icons", g.largeIcons) +
             IconText("small main icon", g.smallMain) + IconText("large main icon", g.largeMain);
      for (size_t i = 0; i < g.items.size(); ++i) {
        const CommandItem& item = g.items[i];
        out += "    item " + std::to_string(i) + " " + Q(item.name) + ", image " + std::to_string(item.imageIndex) +
               ", calls " + Q(item.callback) +
               (item.commandId ? ", command " + std::to_string(item.commandId) : std::string()) + "\n";
      }
    }
  }
  for (const CommandTab& t : s.tabs) {
    out += "Tab " + Q(t.name) + " of " + DocumentTypeName(t.documentType) + " documents: " +
           std::to_string(t.boxes.size()) + (t.boxes.size() == 1 ? " box" : " boxes") + "\n";
    for (size_t i = 0; i < t.boxes.size(); ++i) {
      out += "  box " + std::to_string(i + 1) + ":";
      for (LONG id : t.boxes[i].commandIds)
        out += " " + std::to_string(id) + (s.ActiveCommandId(id) ? "" : " (removed)");
      out += "\n";
    }
  }
  for (const FileOpenEntry& e : s.fileOpenEntries)
    out += "Open dialog: " + Q(e.description) + " (." + ToUtf8(e.extension) + ") calls " + Q(e.callback) +
           " of add-in " + std::to_string(e.cookie) + "\n";
  if (!s.events->Cookies().empty()) out += Count(s.events->Cookies().size(), "event sink") + " advised\n";
}

// "A0, 1189 x 841 mm, format A0"
std::string SheetText(const Sheet& sheet) {
  char size[64];
  std::snprintf(size, sizeof size, "%.6g x %.6g mm", sheet.width * 1000, sheet.height * 1000);
  std::string out = std::string(PaperName(sheet.paperSize)) + ", " + size + ", ";
  if (sheet.format == hostFormatNone) return out + "no format";
  if (sheet.format == hostFormatFromFile) return out + "format from " + Q(sheet.templateName);
  return out + "format " + PaperName(sheet.format);
}

// The tree under an assembly's root, sub-assemblies opened in place.
void DescribeComponents(const std::deque<Component>& components, int depth, std::string& out) {
  for (const Component& c : components) {
    const Point3& t = c.transform.translation;
    out += std::string(2 * static_cast<size_t>(depth), ' ') + "component \"" + c.name + "\": " + c.document->title +
           " at (" + NumberText(t.x) + ", " + NumberText(t.y) + ", " + NumberText(t.z) + ")";
    const double* r = c.transform.rotation;
    bool turned = false;
    for (int i = 0; i < 9; ++i) turned |= r[i] != (i % 4 == 0 ? 1.0 : 0.0);
    if (turned) {
      out += " turned [";
      for (int i = 0; i < 9; ++i) out += (i ? " " : "") + NumberText(r[i]);
      out += "]";
    }
    out += c.ownMaterial ? ", own material\n" : "\n";
    DescribeComponents(c.document->components, depth + 1, out);
  }
}

}  // namespace

const char* KindName(DocumentKind kind) {
  switch (kind) {
    case DocumentKind::Part:
      return "part";
    case DocumentKind::Assembly:
      return "assembly";
    case DocumentKind::Drawing:
      return "drawing";
  }
  return "?";
}

const char* LengthUnitName(LONG unit) {
  static const char* const kNames[] = {"mm", "cm", "m", "in", "ft"};
  return unit >= hostMM && unit <= hostFEET ? kNames[unit] : "?";
}

Host::Host() : state_(std::make_unique<HostState>()) {}

Host::~Host() {
  UnloadAddIns();
  HostState& s = *state_;
  s.UnregisterEvents();
  if (!s.eventLibrary.dir.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(s.eventLibrary.dir, ec);
  }
  if (s.comEntered) CoUninitialize();
}

IHostApplication* Host::Application() { return state_->application; }

void Host::SetRevisionNumber(const wchar_t* text) {
  if (text) state_->revision = std::wstring(text);
  else state_->revision.reset();
  // The library moves to the new major; one never registered stays so.
  if (state_->eventLibrary.major >= 0) {
    state_->UnregisterEvents();
    state_->RegisterEvents(nullptr);
  }
}

void Host::SetMainWindowHandle(LONG handle) { state_->mainWindow = handle; }

const std::deque<Document>& Host::Documents() const { return state_->documents; }

const Document* Host::ActiveDocument() const {
  for (const Document& d : state_->documents)
    if (d.active) return &d;
  return nullptr;
}

const std::vector<LoadedFile>& Host::LoadedFiles() const { return state_->loadedFiles; }

void Host::SetRecording(bool on) { state_->recorder.on = on; }
void Host::RecordUnknownCalls(bool on) { state_->recorder.unknownOn = on; }
std::vector<Call> Host::Calls() const { return state_->recorder.Render(); }
std::vector<std::string> Host::Operations() const { return state_->recorder.Ops(); }
void Host::ClearCalls() { state_->recorder.Clear(); }

namespace {

void Plant(Faults& faults, const std::string& op, int nth, HRESULT result, FaultSpan span, FaultKind kind,
           const char* what) {
  Op which;
  if (!FindOp(op, &which)) throw std::invalid_argument("no host operation is named '" + op + "'");
  if (which == Op::UnknownRelease) throw std::invalid_argument(op + " cannot fail: it has no result code");
  if (IsOutgoingOp(which)) throw std::invalid_argument(op + " is the host's own call: it cannot be faulted");
  if (nth < 1)
    throw std::invalid_argument(std::string(what) + " on call " + std::to_string(nth) + " of " + op +
                                ": calls count from 1");
  std::string clash;
  if (!faults.Add(which, nth, span, result, kind, &clash)) throw std::invalid_argument(what + (": " + clash));
}

}  // namespace

void Host::InjectFault(const std::string& op, int nth, HRESULT result, FaultSpan span) {
  Plant(state_->faults, op, nth, result, span, FaultKind::Fail, "fault");
}

void Host::InjectMisreport(const std::string& op, int nth, HRESULT result, FaultSpan span) {
  Plant(state_->faults, op, nth, result, span, FaultKind::Misreport, "misreport");
}

void Host::InjectFaultLeavingOutputs(const std::string& op, int nth, HRESULT result, FaultSpan span) {
  Plant(state_->faults, op, nth, result, span, FaultKind::LeaveOutputs, "fault");
}

void Host::ClearFaults() { state_->faults.Clear(); }

long Host::HeldReferences() const { return state_->held; }
long Host::OverReleases() const { return state_->overReleases; }
long Host::UseAfterRelease() const { return state_->useAfterRelease; }

std::string Host::DescribeUseAfterRelease() const {
  std::string out;
  for (const std::string& text : state_->useAfterReleaseTexts) out += text + "\n";
  const long more = state_->useAfterRelease - static_cast<long>(state_->useAfterReleaseTexts.size());
  if (more > 0) out += "and " + std::to_string(more) + " more\n";
  return out;
}

std::string Host::DescribeHeld() const {
  std::string out;
  for (const auto& object : state_->objects)
    if (object->Outside() > 0) out += object->Label() + ": " + std::to_string(object->Outside()) + " held\n";
  return out;
}

std::string Host::Describe() const {
  const HostState& s = *state_;
  std::string out = "Host revision ";
  out += s.revision ? "\"" + ToUtf8(*s.revision) + "\"" : std::string("none");
  char handle[16];
  std::snprintf(handle, sizeof handle, "0x%08X", static_cast<unsigned>(s.mainWindow));
  out += std::string(", main window ") + handle + "\n";
  if (s.documents.empty()) out += "No documents\n";
  for (const Document& d : s.documents) {
    out += d.title + ": " + KindName(d.kind) + ", unit " + LengthUnitName(d.lengthUnit) + (d.active ? ", active" : "") + "\n";
    for (size_t i = 0; i < d.sketches.size(); ++i) {
      const Sketch& k = d.sketches[i];
      if (d.kind == DocumentKind::Drawing && i == 0)
        out += "  sheet " + SheetText(d.sheet) + ": " + DescribeSketch(k) + "\n";
      else
        out += "  sketch " + std::to_string(i + 1) + ": " + DescribeSketch(k) + (k.open ? ", open" : "") + "\n";
    }
    for (size_t i = 0; i < d.bodies.size(); ++i) {
      const Body& b = d.bodies[i];
      out += "  body " + std::to_string(i + 1) + " \"" + b.name + "\": " +
             (b.kind == BodyKind::Solid ? "solid" : "sheet") + ", " + Count(FaceCount(b), "face") +
             (b.visible ? "" : ", hidden") + "\n";
    }
    DescribeComponents(d.components, 1, out);
    for (size_t i = 0; i < d.collectors.size(); ++i) {
      const size_t pending = FaceCount(d.collectors[i]);
      if (pending) out += "  collector " + std::to_string(i + 1) + ": " + Count(pending, "face") + " not sewn\n";
    }
  }
  for (const LoadedFile& f : s.loadedFiles)
    out += "Loaded \"" + ToUtf8(f.path) + "\", " + std::to_string(f.size) + " bytes\n";
  DescribeCommands(s, out);
  return out;
}

std::string JsonString(const std::string& utf8) {
  std::string out = "\"";
  for (unsigned char c : utf8) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char hex[8];
          std::snprintf(hex, sizeof(hex), "\\u%04x", c);
          out += hex;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

namespace {

// An assembly's components, each with the components of what it places.
std::string ComponentsJson(const std::deque<Component>& components) {
  std::string out = "[";
  for (const Component& c : components) {
    const Point3& t = c.transform.translation;
    out += (out.size() > 1 ? ", " : "") + std::string("{\"name\": ") + JsonString(c.name) +
           ", \"document\": " + JsonString(c.document->title) + ", \"translation\": [" + NumberText(t.x) + ", " +
           NumberText(t.y) + ", " + NumberText(t.z) + "], \"components\": " + ComponentsJson(c.document->components) +
           "}";
  }
  return out + "]";
}

}  // namespace

std::string DocumentJson(const Document& d) {
  std::string out = "{\"type\": " + JsonString(KindName(d.kind)) + ", \"title\": " + JsonString(d.title) +
                    ", \"length_unit\": " + JsonString(LengthUnitName(d.lengthUnit)) + ", \"bodies\": [";
  bool first = true;
  for (const Body& body : d.bodies) {
    out += first ? "" : ", ";
    first = false;
    out += "{\"faces\": " + std::to_string(FaceCount(body)) +
           ", \"closed\": " + (body.kind == BodyKind::Solid ? "true" : "false") + "}";
  }
  EntityCounts n;
  for (const Sketch& sketch : d.sketches) n.Add(sketch);
  return out + "], \"sketch_lines\": " + std::to_string(n.lines) + ", \"sketch_points\": " +
         std::to_string(n.points) + ", \"sketch_arcs\": " + std::to_string(n.arcs) +
         ", \"sketch_circles\": " + std::to_string(n.circles) + ", \"sketch_splines\": " +
         std::to_string(n.splines) +
         (d.kind == DocumentKind::Assembly ? ", \"components\": " + ComponentsJson(d.components) : std::string()) + "}";
}

}  // namespace stand_in
