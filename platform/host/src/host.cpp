// The Host facade: configuration, the model, the recorder, the faults and
// the accounting as tests and the command line see them.
#include "state.h"

#include "stand_in/text.h"

#include <cstdio>
#include <stdexcept>

namespace stand_in {
namespace {

const char* KindName(DocumentKind kind) {
  switch (kind) {
    case DocumentKind::Part:
      return "part";
  }
  return "?";
}

std::string Count(size_t n, const char* what) {
  return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

}  // namespace

const char* LengthUnitName(LONG unit) {
  static const char* const kNames[] = {"mm", "cm", "m", "in", "ft"};
  return unit >= hostMM && unit <= hostFEET ? kNames[unit] : "?";
}

Host::Host() : state_(std::make_unique<HostState>()) {}
Host::~Host() = default;

IHostApplication* Host::Application() { return state_->application; }

void Host::SetRevisionNumber(const wchar_t* text) {
  if (text) state_->revision = std::wstring(text);
  else state_->revision.reset();
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
std::vector<Call> Host::Calls() const { return state_->recorder.Render(); }
std::vector<std::string> Host::Operations() const { return state_->recorder.Ops(); }
void Host::ClearCalls() { state_->recorder.Clear(); }

void Host::InjectFault(const std::string& op, int nth, HRESULT result) {
  Op which;
  if (!FindOp(op, &which)) throw std::invalid_argument("no host operation is named '" + op + "'");
  if (nth < 1) throw std::invalid_argument("fault on call " + std::to_string(nth) + " of " + op + ": calls count from 1");
  state_->faults.Add(which, nth, result, false);
}

void Host::InjectMisreport(const std::string& op, int nth, HRESULT result) {
  Op which;
  if (!FindOp(op, &which)) throw std::invalid_argument("no host operation is named '" + op + "'");
  if (nth < 1) throw std::invalid_argument("misreport on call " + std::to_string(nth) + " of " + op + ": calls count from 1");
  state_->faults.Add(which, nth, result, true);
}

void Host::ClearFaults() { state_->faults.Clear(); }

long Host::HeldReferences() const { return state_->held; }
long Host::OverReleases() const { return state_->overReleases; }

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
      out += "  sketch " + std::to_string(i + 1) + ": " + Count(k.lines.size(), "line") +
             (k.open ? ", open" : "") + "\n";
    }
    for (size_t i = 0; i < d.bodies.size(); ++i) {
      const Body& b = d.bodies[i];
      out += "  body " + std::to_string(i + 1) + ": " + (b.kind == BodyKind::Solid ? "solid" : "sheet") + ", " +
             Count(b.faces.Count(), "face") + "\n";
    }
    for (size_t i = 0; i < d.collectors.size(); ++i) {
      const size_t pending = d.collectors[i].faces.Count();
      if (pending) out += "  collector " + std::to_string(i + 1) + ": " + Count(pending, "face") + " not sewn\n";
    }
  }
  for (const LoadedFile& f : s.loadedFiles)
    out += "Loaded \"" + ToUtf8(f.path) + "\", " + std::to_string(f.size) + " bytes\n";
  return out;
}

}  // namespace stand_in
