// Inside the stand-in host: the operations it knows, the recorder, the
// faults, the reference accounting and the COM objects that show the model
// to the system. Everything is owned by one HostState.
#pragma once

#include "stand_in/host.h"

#include <HostApi.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace stand_in {

// Every recorded host operation. Add new ones at the end of their
// interface's group and to the name table in recorder.cpp.
enum class Op : uint8_t {
  AppActiveDocument,
  AppNewPartDocument,
  AppRevisionNumber,
  AppFrame,
  AppLoadFile,
  FrameMainWindowHandle,
  DocPreGeometrySettingA,
  DocPreGeometrySettingB,
  DocPostGeometryStepA,
  DocPostGeometryStepB,
  DocPostSketchStep,
  DocSetLengthUnit,
  DocToggle3DSketch,
  DocCreateSketchLine,
  DocSaveToPath,
  PartNewBody,
  BodyCreatePlanarFace,
  BodyCreateBodyFromSurfaces,
  kCount,
};
const char* OpName(Op op);
bool FindOp(const std::string& name, Op* op);

// Calls kept as raw values and rendered as text only when asked for, so
// that recording a million faces costs a few appends each.
class Recorder {
 public:
  bool on = true;

  void Begin(Op op);
  void Long(int64_t value) { Push(kLong, static_cast<uint64_t>(value)); }
  void Double(double value);
  void Bool(VARIANT_BOOL value) { Push(kBool, static_cast<uint64_t>(static_cast<int64_t>(value))); }
  void Text(BSTR text);
  void Null() { Push(kNull, 0); }
  void Doubles(const double* values, size_t count);
  void Unread() { Push(kUnread, 0); }
  void Finish(HRESULT result, const std::string& error);

  std::vector<Call> Render() const;
  std::vector<std::string> Ops() const;
  void Clear();

 private:
  enum Kind : uint8_t { kLong, kDouble, kBool, kText, kNull, kArray, kUnread };
  struct Entry {
    Op op;
    HRESULT result;
    int32_t error;  // index into texts_, or -1
    size_t first;   // first value; the entry's values end where the next begin
  };
  void Push(Kind kind, uint64_t value) {
    kinds_.push_back(kind);
    values_.push_back(value);
  }
  std::string RenderArgs(size_t begin, size_t end) const;

  std::vector<Entry> entries_;
  std::vector<uint8_t> kinds_;
  std::vector<uint64_t> values_;
  std::vector<std::string> texts_;
};

class Faults {
 public:
  void Add(Op op, int nth, HRESULT result, bool misreport) { list_.push_back({op, nth, result, misreport}); }
  // Counts one call of `op`; true when a fault fires on it, with its result
  // and whether the call still does its work (a misreport).
  bool Fire(Op op, HRESULT* result, bool* misreport);
  void Clear() { list_.clear(); }

 private:
  struct Fault {
    Op op;
    int remaining;
    HRESULT result;
    bool misreport;
  };
  std::vector<Fault> list_;
};

class HostState;

// One recorded call: records its arguments, tells whether a fault fires,
// and records the result it returns.
class CallScope {
 public:
  CallScope(HostState& host, Op op);
  ~CallScope();
  CallScope(const CallScope&) = delete;
  CallScope& operator=(const CallScope&) = delete;

  CallScope& Long(LONG value);
  CallScope& Double(double value);
  CallScope& Bool(VARIANT_BOOL value);
  CallScope& Text(BSTR text);
  CallScope& Doubles(const double* values, size_t count);  // null: "null"
  CallScope& Unread();

  bool Faulted() const { return faulted_; }
  HRESULT Fault() { return Finish(faultResult_); }
  HRESULT Finish(HRESULT result, const std::string& error = {});

 private:
  Recorder* recorder_;  // null when not recording
  bool faulted_ = false;
  bool misreport_ = false;  // the call runs, its S_OK becomes faultResult_
  bool finished_ = false;
  HRESULT faultResult_ = S_OK;
};

// Reference accounting shared by every host object. Objects belong to the
// HostState; outside references only count, so an over-release is seen and
// never frees anything.
class Counted {
 public:
  explicit Counted(HostState& host) : host_(host) {}
  virtual ~Counted() = default;
  Counted(const Counted&) = delete;
  Counted& operator=(const Counted&) = delete;

  ULONG Outside() const { return outside_; }
  virtual std::string Label() const = 0;

 protected:
  ULONG Acquire() noexcept;
  ULONG Drop() noexcept;
  virtual void OnAcquiredFromNone() noexcept {}
  virtual void OnLastRelease() noexcept {}

  HostState& host_;

 private:
  ULONG outside_ = 0;
};

class ApplicationObject final : public IHostApplication, public Counted {
 public:
  explicit ApplicationObject(HostState& host) : Counted(host) {}
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override { return Acquire(); }
  STDMETHODIMP_(ULONG) Release() override { return Drop(); }
  STDMETHODIMP ActiveDocument(IHostDocument** document) override;
  STDMETHODIMP NewPartDocument(IHostPartDocument** part) override;
  STDMETHODIMP RevisionNumber(BSTR* revision) override;
  STDMETHODIMP Frame(IHostFrame** frame) override;
  STDMETHODIMP LoadFile(BSTR path, BSTR arguments, LONG* status) override;
  std::string Label() const override { return "application"; }
};

class FrameObject final : public IHostFrame, public Counted {
 public:
  explicit FrameObject(HostState& host) : Counted(host) {}
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override { return Acquire(); }
  STDMETHODIMP_(ULONG) Release() override { return Drop(); }
  STDMETHODIMP MainWindowHandle(LONG* handle) override;
  std::string Label() const override { return "main frame"; }
};

// What every kind of document answers; a kind adds its own role by
// deriving and extending Role.
class DocumentObject : public IHostDocument, public Counted {
 public:
  DocumentObject(HostState& host, Document& document) : Counted(host), document_(document) {}
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override { return Acquire(); }
  STDMETHODIMP_(ULONG) Release() override { return Drop(); }
  STDMETHODIMP PreGeometrySettingA(LONG value) override;
  STDMETHODIMP PreGeometrySettingB(LONG value) override;
  STDMETHODIMP PostGeometryStepA() override;
  STDMETHODIMP PostGeometryStepB() override;
  STDMETHODIMP PostSketchStep() override;
  STDMETHODIMP SetLengthUnit(LONG unit) override;
  STDMETHODIMP Toggle3DSketch(LONG value) override;
  STDMETHODIMP CreateSketchLine(double x1, double y1, double z1, double x2, double y2, double z2,
                                IUnknown** segment) override;
  STDMETHODIMP SaveToPath(BSTR path, LONG version, VARIANT_BOOL silent, VARIANT_BOOL copy, LONG* code) override;
  std::string Label() const override { return document_.title; }

  Document& Model() { return document_; }
  // The interface of this object for `iid`, or null; IUnknown is the
  // IHostDocument one, so identity holds across roles.
  virtual void* Role(REFIID iid);

 protected:
  Document& document_;

 private:
  HRESULT Step(Op op);
};

class PartObject final : public DocumentObject, public IHostPartDocument {
 public:
  using DocumentObject::DocumentObject;
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override { return DocumentObject::QueryInterface(iid, object); }
  STDMETHODIMP_(ULONG) AddRef() override { return Acquire(); }
  STDMETHODIMP_(ULONG) Release() override { return Drop(); }
  STDMETHODIMP NewBody(IHostBody** body) override;
  void* Role(REFIID iid) override;
};

class BodyObject final : public IHostBody, public Counted {
 public:
  BodyObject(HostState& host, Document& document, Body& body, size_t index)
      : Counted(host), document_(document), body_(body), index_(index) {}
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override { return Acquire(); }
  STDMETHODIMP_(ULONG) Release() override { return Drop(); }
  STDMETHODIMP CreatePlanarFace(LONG count, const double* points, const double* normal) override;
  STDMETHODIMP CreateBodyFromSurfaces(IHostBody** body) override;
  std::string Label() const override;

 private:
  Document& document_;
  Body& body_;
  size_t index_;  // in the document's collectors or bodies, by kind
};

// A sketch line as the system holds it. Views are pooled: one no longer
// held serves the next line, so a sketch of a million lines does not keep
// a million objects.
class SegmentObject final : public IUnknown, public Counted {
 public:
  explicit SegmentObject(HostState& host) : Counted(host) {}
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override { return Acquire(); }
  STDMETHODIMP_(ULONG) Release() override { return Drop(); }
  std::string Label() const override;

  void Bind(const Document* document, size_t sketch, size_t line);
  bool pooled = false;

 private:
  void OnAcquiredFromNone() noexcept override;
  void OnLastRelease() noexcept override;
  const Document* document_ = nullptr;
  size_t sketch_ = 0, line_ = 0;
};

class HostState {
 public:
  HostState();

  // Configuration.
  std::optional<std::wstring> revision{L"21.0.0"};
  LONG mainWindow = 0x00010AF2;

  // The model.
  std::deque<Document> documents;
  std::vector<DocumentObject*> documentObjects;  // beside `documents`
  std::vector<LoadedFile> loadedFiles;
  int partsMade = 0;

  Recorder recorder;
  Faults faults;
  long held = 0;
  long overReleases = 0;

  // Every host object, owned here until the host goes.
  std::vector<std::unique_ptr<Counted>> objects;
  ApplicationObject* application = nullptr;
  FrameObject* frame = nullptr;
  std::vector<SegmentObject*> freeSegments;  // capacity kept for every segment
  size_t segments = 0;

  template <class T, class... Args>
  T* Make(Args&&... args) {
    auto object = std::make_unique<T>(*this, std::forward<Args>(args)...);
    T* raw = object.get();
    objects.push_back(std::move(object));
    return raw;
  }
  PartObject* NewPart();
  DocumentObject* Active();
  SegmentObject* Segment(const Document& document, size_t sketch, size_t line);
};

// A pointer handed out: one outside reference more.
template <class I>
I* HandOut(I* object) {
  object->AddRef();
  return object;
}

// COM methods answer E_OUTOFMEMORY rather than let an exception through.
template <class F>
HRESULT Guarded(F&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

std::wstring FromBstr(BSTR text);

}  // namespace stand_in
