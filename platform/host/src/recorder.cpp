// The recorder, the faults and the reference accounting.
#include "state.h"

#include "stand_in/text.h"

#include <charconv>
#include <cstring>

namespace stand_in {
namespace {

const char* const kOpNames[] = {
    "IHostApplication::ActiveDocument",
    "IHostApplication::NewPartDocument",
    "IHostApplication::RevisionNumber",
    "IHostApplication::Frame",
    "IHostApplication::LoadFile",
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
    "IHostPartDocument::NewBody",
    "IHostBody::CreatePlanarFace",
    "IHostBody::CreateBodyFromSurfaces",
};
static_assert(sizeof kOpNames / sizeof kOpNames[0] == static_cast<size_t>(Op::kCount), "a name for every op");

void AppendDouble(std::string& out, double value) {
  char buffer[32];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
  out.append(buffer, end);
}

}  // namespace

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

void Recorder::Begin(Op op) { entries_.push_back({op, S_OK, -1, values_.size()}); }

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
  entries_.clear();
  kinds_.clear();
  values_.clear();
  texts_.clear();
}

bool Faults::Fire(Op op, HRESULT* result, bool* misreport) {
  bool fired = false;
  for (size_t i = 0; i < list_.size();) {
    Fault& f = list_[i];
    if (f.op == op && --f.remaining == 0) {
      if (!fired) {
        *result = f.result;
        *misreport = f.misreport;
      }
      fired = true;
      list_.erase(list_.begin() + static_cast<std::ptrdiff_t>(i));
    } else {
      ++i;
    }
  }
  return fired;
}

CallScope::CallScope(HostState& host, Op op) : recorder_(host.recorder.on ? &host.recorder : nullptr) {
  if (recorder_) recorder_->Begin(op);
  const bool fired = host.faults.Fire(op, &faultResult_, &misreport_);
  faulted_ = fired && !misreport_;
  misreport_ = fired && misreport_;
}

CallScope::~CallScope() {
  // Only an exception leaves a call unfinished; Guarded answers it.
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
CallScope& CallScope::Doubles(const double* values, size_t count) {
  if (recorder_) {
    if (values) recorder_->Doubles(values, count);
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

