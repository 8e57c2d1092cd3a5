// The recorder, the faults and the reference accounting.
#include "state.h"

#include "stand_in/text.h"

#include <objbase.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstring>

namespace stand_in {
namespace {

const char* const kOpNames[] = {
    "IUnknown::QueryInterface",
    "IUnknown::Release",
    "IHostApplication::ActiveDocument",
    "IHostApplication::NewPartDocument",
    "IHostApplication::RevisionNumber",
    "IHostApplication::Frame",
    "IHostApplication::LoadFile",
    "IHostApplication::GetCommandManager",
    "IHostApplication::RegisterCallbackObject",
    "IHostApplication::AddFileOpenItem",
    "IHostApplication::RemoveFileOpenItem",
    "IHostApplication::ActiveModel",
    "IHostApplication::NewAssemblyDocument",
    "IHostApplication::NewDrawingDocument",
    "IDispatch::GetTypeInfoCount",
    "IDispatch::GetTypeInfo",
    "IDispatch::GetIDsOfNames",
    "IDispatch::Invoke",
    "IConnectionPointContainer::EnumConnectionPoints",
    "IConnectionPointContainer::FindConnectionPoint",
    "IConnectionPoint::GetConnectionInterface",
    "IConnectionPoint::GetConnectionPointContainer",
    "IConnectionPoint::Advise",
    "IConnectionPoint::Unadvise",
    "IConnectionPoint::EnumConnections",
    "IHostFrame::MainWindowHandle",
    "IHostDocument::PreGeometrySettingA",
    "IHostDocument::PreGeometrySettingB",
    "IHostDocument::PostGeometryStepA",
    "IHostDocument::PostGeometryStepB",
    "IHostDocument::PostSketchStep",
    "IHostDocument::SetLengthUnit",
    "IHostDocument::Toggle3DSketch",
    "IHostDocument::CreateSketchLine",
    "IHostDocument::SaveToPath",
    "IHostDocument::CreateSketchPoint",
    "IHostDocument::CreateSketchCircle",
    "IHostDocument::CreateSketchArc",
    "IHostDocument::CreateSketchSplineByPoints",
    "IHostDocument::CreateSketchSplineByNurbs",
    "IHostDocument::Title",
    "IHostDocument::ActiveConfiguration",
    "IHostDocument::GetLengthUnit",
    "IHostDocument::GetSketch",
    "IHostPartDocument::NewBody",
    "IHostPartDocument::MaterialValues",
    "IHostPartDocument::BodyEnumerator",
    "IHostAssemblyDocument::PreReadStep",
    "IHostConfiguration::RootComponent",
    "IHostComponent::Name",
    "IHostComponent::BodyEnumerator",
    "IHostComponent::Document",
    "IHostComponent::TransformValues",
    "IHostComponent::MaterialValues",
    "IHostComponent::ChildCount",
    "IHostComponent::Children",
    "IHostBodyEnumerator::Next",
    "IHostBody::CreatePlanarFace",
    "IHostBody::CreateBodyFromSurfaces",
    "IHostBody::CreateBSplineSurface",
    "IHostBody::CreatePlaneSurface",
    "IHostBody::CreateTrimmedSurface",
    "IHostBody::CreateBoundedSurface",
    "IHostBody::FirstFace",
    "IHostBody::Name",
    "IHostSurface::AddTrimmingLoop",
    "IHostFace::TriangleCount",
    "IHostFace::TriangleData",
    "IHostFace::NextFace",
    "IHostSketch::LineCount",
    "IHostSketch::LineData",
    "IHostSketch::ArcCount",
    "IHostSketch::ArcData",
    "IHostSketch::SplineDataSize",
    "IHostSketch::SplineData",
    "IHostSketch::PolylineDataSize",
    "IHostSketch::PolylineData",
    "IHostListOwner::FirstItem",
    "IHostListItem::AttachedObject",
    "IHostListItem::ExtraObject",
    "IHostListItem::NextItem",
    "IHostAttachedObject::InnerObject",
    "IHostInnerObject::ItemCount",
    "IHostCommandManager::CreateCommandGroup",
    "IHostCommandManager::QueryDocumentType",
    "IHostCommandManager::GetCommandTab",
    "IHostCommandManager::AddCommandTab",
    "IHostCommandManager::RemoveCommandGroup",
    "IHostCommandGroup::SetSmallIconList",
    "IHostCommandGroup::SetLargeIconList",
    "IHostCommandGroup::SetSmallMainIcon",
    "IHostCommandGroup::SetLargeMainIcon",
    "IHostCommandGroup::PreItemSetting",
    "IHostCommandGroup::AddCommandItem",
    "IHostCommandGroup::PostItemSettingA",
    "IHostCommandGroup::PostItemSettingB",
    "IHostCommandGroup::Activate",
    "IHostCommandGroup::GetCommandId",
    "IHostCommandTab::AddTabBox",
    "IHostCommandTabBox::AddCommands",
    "host to add-in: ISwAddin::ConnectToSW",
    "host to add-in: ISwAddin::DisconnectFromSW",
    "host to add-in: callback GetIDsOfNames",
    "host to add-in: callback Invoke",
    "host to sink: event Invoke",
};
static_assert(sizeof kOpNames / sizeof kOpNames[0] == static_cast<size_t>(Op::kCount), "a name for every op");

void AppendDouble(std::string& out, double value) {
  char buffer[32];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
  out.append(buffer, end);
}

constexpr size_t kUseAfterReleaseTexts = 100;

std::atomic<UseAfterReleaseReporter> g_reporter{nullptr};

}  // namespace

UseAfterReleaseReporter SetUseAfterReleaseReporter(UseAfterReleaseReporter reporter) {
  return g_reporter.exchange(reporter);
}

std::string IidName(REFIID iid) {
  struct Known {
    const GUID* iid;
    const char* name;
  };
  static const Known kKnown[] = {
      {&__uuidof(IUnknown), "IUnknown"},
      {&__uuidof(IDispatch), "IDispatch"},
      {&__uuidof(IHostApplication), "IHostApplication"},
      {&__uuidof(IHostFrame), "IHostFrame"},
      {&__uuidof(IHostDocument), "IHostDocument"},
      {&__uuidof(IHostPartDocument), "IHostPartDocument"},
      {&__uuidof(IHostBody), "IHostBody"},
      {&__uuidof(IHostAssemblyDocument), "IHostAssemblyDocument"},
      {&__uuidof(IHostDrawingDocument), "IHostDrawingDocument"},
      {&__uuidof(IHostConfiguration), "IHostConfiguration"},
      {&__uuidof(IHostComponent), "IHostComponent"},
      {&__uuidof(IHostBodyEnumerator), "IHostBodyEnumerator"},
      {&__uuidof(IHostSurface), "IHostSurface"},
      {&__uuidof(IHostFace), "IHostFace"},
      {&__uuidof(IHostSketch), "IHostSketch"},
      {&__uuidof(IHostListOwner), "IHostListOwner"},
      {&__uuidof(IHostListItem), "IHostListItem"},
      {&__uuidof(IHostAttachedObject), "IHostAttachedObject"},
      {&__uuidof(IHostInnerObject), "IHostInnerObject"},
      {&__uuidof(IHostCommandManager), "IHostCommandManager"},
      {&__uuidof(IHostCommandGroup), "IHostCommandGroup"},
      {&__uuidof(IHostCommandTab), "IHostCommandTab"},
      {&__uuidof(IHostCommandTabBox), "IHostCommandTabBox"},
      {&__uuidof(IConnectionPointContainer), "IConnectionPointContainer"},
      {&__uuidof(IConnectionPoint), "IConnectionPoint"},
      {&__uuidof(SWPublished::ISwAddin), "ISwAddin"},
      {&DIID_IHostApplicationEvents, "IHostApplicationEvents"},
  };
  for (const Known& k : kKnown)
    if (*k.iid == iid) return k.name;
  wchar_t text[40];
  return StringFromGUID2(iid, text, 40) > 0 ? ToUtf8(text) : std::string("{?}");
}

const char* OpName(Op op) { return kOpNames[static_cast<size_t>(op)]; }

bool FindOp(const std::string& name, Op* op) {
  for (size_t i = 0; i < static_cast<size_t>(Op::kCount); ++i) {
    if (name == kOpNames[i]) {
      *op = static_cast<Op>(i);
      return true;
    }
  }
  return false;
}

std::wstring FromBstr(BSTR text) { return text ? std::wstring(text, SysStringLen(text)) : std::wstring(); }

std::string NumberText(double value) {
  std::string text;
  AppendDouble(text, value);
  return text;
}

size_t Recorder::Begin(Op op) {
  entries_.push_back({op, S_OK, -1, values_.size()});
  return entries_.size() - 1;
}

void Recorder::FinishAt(size_t entry, uint64_t generation, HRESULT result, const std::string& error) {
  if (generation != generation_ || entry >= entries_.size()) return;
  entries_[entry].result = result;
  if (!error.empty()) {
    texts_.push_back(error);
    entries_[entry].error = static_cast<int32_t>(texts_.size() - 1);
  }
}

void Recorder::Longs(const LONG* values, size_t count) {
  Push(kArray, count);
  for (size_t i = 0; i < count; ++i) Long(values[i]);
}

void Recorder::Double(double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  Push(kDouble, bits);
}

void Recorder::Text(BSTR text) {
  if (!text) return Null();
  texts_.push_back(ToUtf8(FromBstr(text)));
  Push(kText, texts_.size() - 1);
}

void Recorder::Name(std::string name) {
  texts_.push_back(std::move(name));
  try {
    Push(kName, texts_.size() - 1);
  } catch (...) {
    texts_.pop_back();
    throw;
  }
}

void Recorder::Doubles(const double* values, size_t count) {
  Push(kArray, count);
  for (size_t i = 0; i < count; ++i) Double(values[i]);
}

void Recorder::Finish(HRESULT result, const std::string& error) {
  Entry& entry = entries_.back();
  entry.result = result;
  if (!error.empty()) {
    texts_.push_back(error);
    entry.error = static_cast<int32_t>(texts_.size() - 1);
  }
}

std::string Recorder::RenderArgs(size_t begin, size_t end) const {
  std::string out;
  size_t arrayLeft = 0;
  bool first = true;
  for (size_t i = begin; i < end; ++i) {
    if (!first) out += ", ";
    first = false;
    const uint64_t v = values_[i];
    switch (kinds_[i]) {
      case kLong:
        out += std::to_string(static_cast<int64_t>(v));
        break;
      case kDouble: {
        double d;
        std::memcpy(&d, &v, sizeof d);
        AppendDouble(out, d);
        break;
      }
      case kBool: {
        const auto b = static_cast<int64_t>(v);
        out += b == VARIANT_TRUE ? "VARIANT_TRUE" : b == VARIANT_FALSE ? "VARIANT_FALSE" : std::to_string(b);
        break;
      }
      case kText:
        out += '"' + texts_[v] + '"';
        break;
      case kName:
        out += texts_[v];
        break;
      case kNull:
        out += "null";
        break;
      case kUnread:
        out += "[not read]";
        break;
      case kArray:
        out += '[';
        first = true;
        arrayLeft = v + 1;  // counts down to the closing bracket below
        break;
    }
    if (arrayLeft && --arrayLeft == 0) {
      out += ']';
      first = false;
    }
  }
  return out;
}

std::vector<Call> Recorder::Render() const {
  std::vector<Call> calls;
  calls.reserve(entries_.size());
  for (size_t i = 0; i < entries_.size(); ++i) {
    const Entry& e = entries_[i];
    const size_t end = i + 1 < entries_.size() ? entries_[i + 1].first : values_.size();
    calls.push_back({OpName(e.op), RenderArgs(e.first, end), e.result, e.error >= 0 ? texts_[e.error] : ""});
  }
  return calls;
}

std::vector<std::string> Recorder::Ops() const {
  std::vector<std::string> ops;
  ops.reserve(entries_.size());
  for (const Entry& e : entries_) ops.push_back(OpName(e.op));
  return ops;
}

void Recorder::Clear() {
  ++generation_;
  entries_.clear();
  kinds_.clear();
  values_.clear();
  texts_.clear();
}

bool Faults::Add(Op op, int nth, FaultSpan span, HRESULT result, FaultKind kind, std::string* clash) {
  const uint64_t first = calls_[static_cast<size_t>(op)] + static_cast<uint64_t>(nth);
  const bool onward = span == FaultSpan::FromThenOn;
  for (const Fault& f : list_) {
    if (f.op != op) continue;
    const bool overlap = (f.onward || first <= f.first) && (onward || f.first <= first);
    if (overlap) {
      const uint64_t shared = std::max(first, f.first) - calls_[static_cast<size_t>(op)];
      *clash = "call " + std::to_string(shared) + " from now of " + OpName(op) + " already has a fault planted";
      return false;
    }
  }
  list_.push_back({op, first, onward, result, kind});
  return true;
}

bool Faults::Fire(Op op, HRESULT* result, FaultKind* kind) noexcept {
  const uint64_t call = ++calls_[static_cast<size_t>(op)];
  for (size_t i = 0; i < list_.size(); ++i) {
    const Fault& f = list_[i];
    if (f.op != op || call < f.first || (call > f.first && !f.onward)) continue;
    *result = f.result;
    *kind = f.kind;
    if (!f.onward) list_.erase(list_.begin() + static_cast<std::ptrdiff_t>(i));
    return true;  // no other fault covers this call
  }
  return false;
}

CallScope::CallScope(HostState& host, Op op, const Counted& object)
    : recorder_(host.recorder.Records(op) ? &host.recorder : nullptr) {
  if (object.Released()) {
    // Before the record begins: what reports it may throw.
    faultError_ = std::string("called after the last release of ") + object.Label();
    host.UseAfterRelease(std::string(OpName(op)) + " on " + object.Label() + " after its last release");
    faulted_ = true;
    faultResult_ = E_UNEXPECTED;
  }
  if (recorder_) recorder_->Begin(op);
  if (faulted_) return;
  FaultKind kind = FaultKind::Fail;
  if (!host.faults.Fire(op, &faultResult_, &kind)) return;
  faulted_ = kind != FaultKind::Misreport;
  misreport_ = kind == FaultKind::Misreport;
  leaveOutputs_ = kind == FaultKind::LeaveOutputs;
}

CallScope::~CallScope() {
  // Only an exception leaves a call unfinished; ComNoThrow answers it.
  if (!finished_ && recorder_) recorder_->Finish(E_OUTOFMEMORY, {});
}

CallScope& CallScope::Long(LONG value) {
  if (recorder_) recorder_->Long(value);
  return *this;
}
CallScope& CallScope::Double(double value) {
  if (recorder_) recorder_->Double(value);
  return *this;
}
CallScope& CallScope::Bool(VARIANT_BOOL value) {
  if (recorder_) recorder_->Bool(value);
  return *this;
}
CallScope& CallScope::Text(BSTR text) {
  if (recorder_) recorder_->Text(text);
  return *this;
}
CallScope& CallScope::Name(std::string name) {
  if (recorder_) recorder_->Name(std::move(name));
  return *this;
}
CallScope& CallScope::Doubles(const double* values, size_t count) {
  if (recorder_) {
    if (values) recorder_->Doubles(values, count);
    else recorder_->Null();
  }
  return *this;
}
CallScope& CallScope::Longs(const LONG* values, size_t count) {
  if (recorder_) {
    if (values) recorder_->Longs(values, count);
    else recorder_->Null();
  }
  return *this;
}
CallScope& CallScope::Unread() {
  if (recorder_) recorder_->Unread();
  return *this;
}

HRESULT CallScope::Finish(HRESULT result, const std::string& error) {
  finished_ = true;
  if (misreport_ && result == S_OK) result = faultResult_;
  if (recorder_) recorder_->Finish(result, error);
  return result;
}

void HostState::UseAfterRelease(const std::string& what) noexcept {
  ++useAfterRelease;
  try {
    if (useAfterReleaseTexts.size() < kUseAfterReleaseTexts) useAfterReleaseTexts.push_back(what);
  } catch (...) {
    // The count is kept; the text is lost with the memory.
  }
  if (UseAfterReleaseReporter report = g_reporter.load()) report(what);
}

HRESULT Counted::Query(const char* through, REFIID iid, void** object) noexcept {
  return ComNoThrow([&] {
    CallScope call(host_, Op::UnknownQueryInterface, *this);
    if (call.Recording()) call.Name(Label() + " as " + through).Name(IidName(iid));
    call.Out(object, static_cast<void*>(nullptr));
    if (call.Faulted()) return call.Fault();
    if (!object) return call.Finish(E_POINTER, "object is null");
    void* role = Role(iid);
    if (!role) return call.Finish(E_NOINTERFACE, Label() + " has no " + IidName(iid));
    Acquire();
    *object = role;
    return call.Finish(S_OK);
  });
}

// Taken up again after its last release, the object still counts, so that
// the one misuse is reported and the accounting stays balanced.
ULONG Counted::AddRefThrough(const char* through) noexcept {
  if (Released()) {
    try {
      host_.UseAfterRelease(std::string("IUnknown::AddRef through ") + through + " on " + Label() +
                            " after its last release");
    } catch (...) {
      host_.UseAfterRelease("IUnknown::AddRef after a last release");
    }
  }
  return Acquire();
}

ULONG Counted::ReleaseThrough(const char* through) noexcept {
  const bool over = outside_ == 0;
  Recorder& recorder = host_.recorder;
  if (recorder.Records(Op::UnknownRelease)) {
    bool begun = false;
    try {
      recorder.Begin(Op::UnknownRelease);
      begun = true;
      recorder.Name(Label() + " as " + through);
      recorder.Finish(S_OK, over ? "released more often than it was handed out" : "");
    } catch (...) {
      if (begun) recorder.Finish(E_OUTOFMEMORY, {});
    }
  }
  return Drop();
}

ULONG Counted::Acquire() noexcept {
  if (outside_ == 0) OnAcquiredFromNone();
  ++host_.held;
  return ++outside_;
}

ULONG Counted::Drop() noexcept {
  if (outside_ == 0) {
    ++host_.overReleases;
    return 0;
  }
  --host_.held;
  if (--outside_ == 0) OnLastRelease();
  return outside_;
}

}  // namespace stand_in
