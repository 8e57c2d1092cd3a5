// Inside the stand-in host: the operations it knows, the recorder, the
// faults, the reference accounting and the COM objects that show the model
// to the system. Everything is owned by one HostState.
#pragma once

#include "stand_in/host.h"

#include <HostApi.h>
#include <ocidl.h>
#include <stand_in/connection_point.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace stand_in {

// Every recorded host operation. Add new ones at the end of their
// interface's group and to the name table in recorder.cpp.
enum class Op : uint8_t {
  UnknownQueryInterface,
  UnknownRelease,
  AppActiveDocument,
  AppNewPartDocument,
  AppRevisionNumber,
  AppFrame,
  AppLoadFile,
  AppGetCommandManager,
  AppRegisterCallbackObject,
  AppAddFileOpenItem,
  AppRemoveFileOpenItem,
  AppActiveModel,
  AppNewAssemblyDocument,
  AppNewDrawingDocument,
  DispGetTypeInfoCount,
  DispGetTypeInfo,
  DispGetIDsOfNames,
  DispInvoke,
  CpcEnumConnectionPoints,
  CpcFindConnectionPoint,
  CpGetConnectionInterface,
  CpGetConnectionPointContainer,
  CpAdvise,
  CpUnadvise,
  CpEnumConnections,
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
  DocCreateSketchPoint,
  DocCreateSketchCircle,
  DocCreateSketchArc,
  DocCreateSketchSplineByPoints,
  DocCreateSketchSplineByNurbs,
  DocTitle,
  DocActiveConfiguration,
  DocGetLengthUnit,
  DocGetSketch,
  PartNewBody,
  PartMaterialValues,
  PartBodyEnumerator,
  AsmPreReadStep,
  ConfigRootComponent,
  CompName,
  CompBodyEnumerator,
  CompDocument,
  CompTransformValues,
  CompMaterialValues,
  CompChildCount,
  CompChildren,
  EnumNext,
  BodyCreatePlanarFace,
  BodyCreateBodyFromSurfaces,
  BodyCreateBSplineSurface,
  BodyCreatePlaneSurface,
  BodyCreateTrimmedSurface,
  BodyCreateBoundedSurface,
  BodyFirstFace,
  BodyName,
  SurfaceAddTrimmingLoop,
  FaceTriangleCount,
  FaceTriangleData,
  FaceNextFace,
  SketchLineCount,
  SketchLineData,
  SketchArcCount,
  SketchArcData,
  SketchSplineDataSize,
  SketchSplineData,
  SketchPolylineDataSize,
  SketchPolylineData,
  OwnerFirstItem,
  ItemAttachedObject,
  ItemExtraObject,
  ItemNextItem,
  AttachedInnerObject,
  InnerItemCount,
  MgrCreateCommandGroup,
  MgrQueryDocumentType,
  MgrGetCommandTab,
  MgrAddCommandTab,
  MgrRemoveCommandGroup,
  GroupSetSmallIconList,
  GroupSetLargeIconList,
  GroupSetSmallMainIcon,
  GroupSetLargeMainIcon,
  GroupPreItemSetting,
  GroupAddCommandItem,
  GroupPostItemSettingA,
  GroupPostItemSettingB,
  GroupActivate,
  GroupGetCommandId,
  TabAddTabBox,
  BoxAddCommands,
  // The host's own calls out to add-ins and sinks: recorded, never faulted.
  OutConnectToSW,
  OutDisconnectFromSW,
  OutCallbackGetIDsOfNames,
  OutCallbackInvoke,
  OutEventInvoke,
  kCount,
};
const char* OpName(Op op);
bool FindOp(const std::string& name, Op* op);
inline bool IsUnknownOp(Op op) { return op == Op::UnknownQueryInterface || op == Op::UnknownRelease; }
inline bool IsOutgoingOp(Op op) { return op >= Op::OutConnectToSW && op < Op::kCount; }
// "IHostDocument", or the IID's text in braces for one the host does not know.
std::string IidName(REFIID iid);

// Calls kept as raw values and rendered as text only when asked for, so
// that recording a million faces costs a few appends each.
class Recorder {
 public:
  bool on = true;
  bool unknownOn = false;  // QueryInterface and Release too

  bool Records(Op op) const { return on && (unknownOn || !IsUnknownOp(op)); }

  // The entry's index, for FinishAt once a call out has returned.
  size_t Begin(Op op);
  void Long(int64_t value) { Push(kLong, static_cast<uint64_t>(value)); }
  void Double(double value);
  void Bool(VARIANT_BOOL value) { Push(kBool, static_cast<uint64_t>(static_cast<int64_t>(value))); }
  void Text(BSTR text);
  void Name(std::string name);  // shown as it is, without quotes
  void Null() { Push(kNull, 0); }
  void Doubles(const double* values, size_t count);
  void Unread() { Push(kUnread, 0); }
  void Finish(HRESULT result, const std::string& error);
  // Finishes the entry Begin gave, unless the record was cleared since.
  void FinishAt(size_t entry, uint64_t generation, HRESULT result, const std::string& error);
  uint64_t Generation() const { return generation_; }
  void Longs(const LONG* values, size_t count);

  std::vector<Call> Render() const;
  std::vector<std::string> Ops() const;
  void Clear();

 private:
  enum Kind : uint8_t { kLong, kDouble, kBool, kText, kName, kNull, kArray, kUnread };
  struct Entry {
    Op op;
    HRESULT result;
    int32_t error;  // index into texts_, or -1
    size_t first;   // first value; the entry's values end where the next begin
  };
  // Both arrays grow together or not at all, so a failed push leaves the
  // record readable.
  void Push(Kind kind, uint64_t value) {
    kinds_.push_back(kind);
    try {
      values_.push_back(value);
    } catch (...) {
      kinds_.pop_back();
      throw;
    }
  }
  std::string RenderArgs(size_t begin, size_t end) const;

  std::vector<Entry> entries_;
  std::vector<uint8_t> kinds_;
  std::vector<uint64_t> values_;
  std::vector<std::string> texts_;
  uint64_t generation_ = 0;  // counts Clear
};

enum class FaultKind : uint8_t {
  Fail,          // does nothing, outputs null or 0
  Misreport,     // does its work, then answers the fault's result
  LeaveOutputs,  // does nothing and writes no output
};

// The planted faults. Calls of each op are counted from the host's start;
// a fault covers one call, or every call from its first on. Two faults
// never cover the same call, so each one planted fires.
class Faults {
 public:
  // False, with `clash` saying why, when a planted fault already covers
  // one of the calls.
  bool Add(Op op, int nth, FaultSpan span, HRESULT result, FaultKind kind, std::string* clash);
  // Counts one call of `op`; true when a fault covers it, with its result
  // and kind.
  bool Fire(Op op, HRESULT* result, FaultKind* kind) noexcept;
  void Clear() { list_.clear(); }

 private:
  struct Fault {
    Op op;
    uint64_t first;  // the call it covers first, counted from the host's start
    bool onward;     // and every call after it
    HRESULT result;
    FaultKind kind;
  };
  std::vector<Fault> list_;
  uint64_t calls_[static_cast<size_t>(Op::kCount)] = {};
};

class HostState;

class Counted;

template <class T>
struct Plain {
  using type = T;
};

// One recorded call through `object`: records its arguments, tells whether
// a fault fires, and records the result it returns. A call through an
// object after its last release is refused as if faulted, with
// E_UNEXPECTED, and reported.
class CallScope {
 public:
  CallScope(HostState& host, Op op, const Counted& object);
  ~CallScope();
  CallScope(const CallScope&) = delete;
  CallScope& operator=(const CallScope&) = delete;

  bool Recording() const { return recorder_ != nullptr; }
  CallScope& Long(LONG value);
  CallScope& Double(double value);
  CallScope& Bool(VARIANT_BOOL value);
  CallScope& Text(BSTR text);
  CallScope& Name(std::string name);
  CallScope& Doubles(const double* values, size_t count);  // null: "null"
  CallScope& Longs(const LONG* values, size_t count);      // null: "null"
  CallScope& Unread();

  // Sets an out value, unless a fault leaves the outputs as they were.
  template <class T>
  void Out(T* out, typename Plain<T>::type value) {
    if (out && !leaveOutputs_) *out = value;
  }

  bool Faulted() const { return faulted_; }
  HRESULT Fault() { return Finish(faultResult_, faultError_); }
  HRESULT Finish(HRESULT result, const std::string& error = {});

 private:
  Recorder* recorder_;  // null when not recording
  bool faulted_ = false;
  bool misreport_ = false;     // the call runs, its S_OK becomes faultResult_
  bool leaveOutputs_ = false;  // faulted, and its outputs are not written
  bool finished_ = false;
  HRESULT faultResult_ = S_OK;
  std::string faultError_;
};

// Reference accounting shared by every host object. Objects belong to the
// HostState; outside references only count, so an over-release is seen and
// never frees anything, and a call through an object that holds no outside
// reference is seen as a use after its last release. An object the host
// holds for the caller (the application) has no last release.
class Counted {
 public:
  explicit Counted(HostState& host, bool heldByHost = false) : host_(host), heldByHost_(heldByHost) {}
  virtual ~Counted() = default;
  Counted(const Counted&) = delete;
  Counted& operator=(const Counted&) = delete;

  ULONG Outside() const { return outside_; }
  bool Released() const { return outside_ == 0 && !heldByHost_; }
  virtual std::string Label() const = 0;
  // The object's interface for `iid`, or null.
  virtual void* Role(REFIID iid) = 0;
  // A pointer handed out by the host: one outside reference more.
  void Grant() noexcept { Acquire(); }

 protected:
  // IUnknown's methods as called through the interface named `through`.
  HRESULT Query(const char* through, REFIID iid, void** object) noexcept;
  ULONG AddRefThrough(const char* through) noexcept;
  ULONG ReleaseThrough(const char* through) noexcept;
  virtual void OnAcquiredFromNone() noexcept {}
  virtual void OnLastRelease() noexcept {}

  HostState& host_;

 private:
  ULONG Acquire() noexcept;
  ULONG Drop() noexcept;

  bool heldByHost_;
  ULONG outside_ = 0;
};

// The IUnknown methods of a further role of an object, apart from its
// first role's, so that the record tells through which role it was called.
template <class I>
class SecondRole : public I {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** object) final { return RoleQuery(iid, object); }
  STDMETHODIMP_(ULONG) AddRef() final { return RoleAddRef(); }
  STDMETHODIMP_(ULONG) Release() final { return RoleRelease(); }

 protected:
  ~SecondRole() = default;
  virtual HRESULT RoleQuery(REFIID iid, void** object) noexcept = 0;
  virtual ULONG RoleAddRef() noexcept = 0;
  virtual ULONG RoleRelease() noexcept = 0;
};

// The application as IDispatch: it has no names the add-in may call.
class DispatchRole : public SecondRole<IDispatch> {
 protected:
  ~DispatchRole() = default;
};

class ContainerRole : public SecondRole<IConnectionPointContainer> {
 protected:
  ~ContainerRole() = default;
};

class ConnectionPointObject;

class ApplicationObject final : public IHostApplication, public Counted {
 public:
  explicit ApplicationObject(HostState& host);
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override { return Query("IHostApplication", iid, object); }
  STDMETHODIMP_(ULONG) AddRef() override { return AddRefThrough("IHostApplication"); }
  STDMETHODIMP_(ULONG) Release() override { return ReleaseThrough("IHostApplication"); }
  STDMETHODIMP ActiveDocument(IHostDocument** document) override;
  STDMETHODIMP NewPartDocument(IHostPartDocument** part) override;
  STDMETHODIMP RevisionNumber(BSTR* revision) override;
  STDMETHODIMP Frame(IHostFrame** frame) override;
  STDMETHODIMP LoadFile(BSTR path, BSTR arguments, LONG* status) override;
  STDMETHODIMP GetCommandManager(LONG cookie, IHostCommandManager** manager) override;
  STDMETHODIMP RegisterCallbackObject(LONG instance, IDispatch* callbacks, LONG cookie, VARIANT_BOOL* ok) override;
  STDMETHODIMP AddFileOpenItem(LONG cookie, BSTR callback, BSTR description, BSTR extension, BSTR a, BSTR b,
                               VARIANT_BOOL* ok) override;
  STDMETHODIMP RemoveFileOpenItem(LONG cookie, BSTR callback, BSTR description, BSTR extension,
                                  VARIANT_BOOL* ok) override;
  STDMETHODIMP ActiveModel(IHostDocument** document) override;
  STDMETHODIMP NewAssemblyDocument(IHostAssemblyDocument** assembly) override;
  STDMETHODIMP NewDrawingDocument(LONG paperSize, BSTR templateName, LONG templateIndex, double width, double height,
                                  IHostDrawingDocument** drawing) override;
  std::string Label() const override { return "application"; }
  void* Role(REFIID iid) override;

  IDispatch* AsDispatch() { return &dispatch_; }
  IConnectionPointContainer* AsContainer() { return &container_; }

 private:
  class Dispatch final : public DispatchRole {
   public:
    explicit Dispatch(ApplicationObject& app) : app_(app) {}
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argError) override;

   private:
    HRESULT RoleQuery(REFIID iid, void** object) noexcept override { return app_.Query("IDispatch", iid, object); }
    ULONG RoleAddRef() noexcept override { return app_.AddRefThrough("IDispatch"); }
    ULONG RoleRelease() noexcept override { return app_.ReleaseThrough("IDispatch"); }
    ApplicationObject& app_;
  };
  class Container final : public ContainerRole {
   public:
    explicit Container(ApplicationObject& app) : app_(app) {}
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** points) override;
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;

   private:
    HRESULT RoleQuery(REFIID iid, void** object) noexcept override {
      return app_.Query("IConnectionPointContainer", iid, object);
    }
    ULONG RoleAddRef() noexcept override { return app_.AddRefThrough("IConnectionPointContainer"); }
    ULONG RoleRelease() noexcept override { return app_.ReleaseThrough("IConnectionPointContainer"); }
    ApplicationObject& app_;
  };
  friend class Dispatch;
  friend class Container;

  Dispatch dispatch_;
  Container container_;
};

// The application's events: the sinks are kept by the platform's
// connection point; this object records the calls and counts references.
class ConnectionPointObject final : public IConnectionPoint, public Counted {
 public:
  explicit ConnectionPointObject(HostState& host);
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override { return Query("IConnectionPoint", iid, object); }
  STDMETHODIMP_(ULONG) AddRef() override { return AddRefThrough("IConnectionPoint"); }
  STDMETHODIMP_(ULONG) Release() override { return ReleaseThrough("IConnectionPoint"); }
  STDMETHODIMP GetConnectionInterface(IID* iid) override;
  STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** container) override;
  STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
  STDMETHODIMP Unadvise(DWORD cookie) override;
  STDMETHODIMP EnumConnections(IEnumConnections** connections) override;
  std::string Label() const override { return "application events"; }
  void* Role(REFIID iid) override;

  ConnectionPoint& Sinks() { return sinks_; }
  // The cookies advised now, oldest first.
  const std::vector<DWORD>& Cookies() const { return cookies_; }
  void ForgetCookie(DWORD cookie) {
    for (auto it = cookies_.begin(); it != cookies_.end(); ++it)
      if (*it == cookie) {
        cookies_.erase(it);
        return;
      }
  }

 private:
  ConnectionPoint sinks_;
  std::vector<DWORD> cookies_;
};

class CommandManagerObject final : public IHostCommandManager, public Counted {
 public:
  CommandManagerObject(HostState& host, CommandManager& model) : Counted(host), model_(model) {}
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    return Query("IHostCommandManager", iid, object);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return AddRefThrough("IHostCommandManager"); }
  STDMETHODIMP_(ULONG) Release() override { return ReleaseThrough("IHostCommandManager"); }
  STDMETHODIMP CreateCommandGroup(LONG userId, BSTR title, BSTR tooltip, BSTR hint, LONG position,
                                  IHostCommandGroup** group) override;
  STDMETHODIMP QueryDocumentType(LONG documentType, LONG* result) override;
  STDMETHODIMP GetCommandTab(LONG documentType, BSTR name, IHostCommandTab** tab) override;
  STDMETHODIMP AddCommandTab(LONG documentType, BSTR name, IHostCommandTab** tab) override;
  STDMETHODIMP RemoveCommandGroup(LONG userId, VARIANT_BOOL* ok) override;
  std::string Label() const override { return "command manager " + std::to_string(model_.cookie); }
  void* Role(REFIID iid) override;

  CommandManager& Model() { return model_; }

 private:
  CommandManager& model_;
};

class CommandGroupObject final : public IHostCommandGroup, public Counted {
 public:
  CommandGroupObject(HostState& host, CommandManager& manager, CommandGroup& group)
      : Counted(host), manager_(manager), group_(&group), userId_(group.userId) {}
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override { return Query("IHostCommandGroup", iid, object); }
  STDMETHODIMP_(ULONG) AddRef() override { return AddRefThrough("IHostCommandGroup"); }
  STDMETHODIMP_(ULONG) Release() override { return ReleaseThrough("IHostCommandGroup"); }
  STDMETHODIMP SetSmallIconList(BSTR path) override;
  STDMETHODIMP SetLargeIconList(BSTR path) override;
  STDMETHODIMP SetSmallMainIcon(BSTR path) override;
  STDMETHODIMP SetLargeMainIcon(BSTR path) override;
  STDMETHODIMP PreItemSetting(LONG value) override;
  STDMETHODIMP AddCommandItem(BSTR name, LONG position, BSTR hint, BSTR tooltip, LONG imageIndex, BSTR callback,
                              BSTR enableMethod, LONG userId, LONG options, LONG* index) override;
  STDMETHODIMP PostItemSettingA(LONG value) override;
  STDMETHODIMP PostItemSettingB(LONG value) override;
  STDMETHODIMP Activate(VARIANT_BOOL* ok) override;
  STDMETHODIMP GetCommandId(LONG index, LONG* id) override;
  std::string Label() const override;
  void* Role(REFIID iid) override;

  // The group is gone from its manager: calls on it fail from now on.
  void Detach() { group_ = nullptr; }
  const CommandGroup* Model() const { return group_; }

 private:
  enum class IconKind { SmallList, LargeList, SmallMain, LargeMain };
  HRESULT SetIcon(Op op, IconKind kind, BSTR path);
  HRESULT Setting(Op op, LONG value);

  CommandManager& manager_;
  CommandGroup* group_;  // null once removed
  LONG userId_;
};

class CommandTabObject final : public IHostCommandTab, public Counted {
 public:
  CommandTabObject(HostState& host, CommandTab& tab) : Counted(host), tab_(tab) {}
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override { return Query("IHostCommandTab", iid, object); }
  STDMETHODIMP_(ULONG) AddRef() override { return AddRefThrough("IHostCommandTab"); }
  STDMETHODIMP_(ULONG) Release() override { return ReleaseThrough("IHostCommandTab"); }
  STDMETHODIMP AddTabBox(IHostCommandTabBox** box) override;
  std::string Label() const override;
  void* Role(REFIID iid) override;

 private:
  CommandTab& tab_;
};

class CommandBoxObject final : public IHostCommandTabBox, public Counted {
 public:
  CommandBoxObject(HostState& host, CommandTab& tab, CommandBox& box, size_t index)
      : Counted(host), tab_(tab), box_(box), index_(index) {}
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    return Query("IHostCommandTabBox", iid, object);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return AddRefThrough("IHostCommandTabBox"); }
  STDMETHODIMP_(ULONG) Release() override { return ReleaseThrough("IHostCommandTabBox"); }
  STDMETHODIMP AddCommands(LONG count, const LONG* commandIds, const LONG* textTypes, VARIANT_BOOL* ok) override;
  std::string Label() const override;
  void* Role(REFIID iid) override;

 private:
  CommandTab& tab_;
  CommandBox& box_;
  size_t index_;
};

class FrameObject final : public IHostFrame, public Counted {
 public:
  explicit FrameObject(HostState& host) : Counted(host) {}
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override { return Query("IHostFrame", iid, object); }
  STDMETHODIMP_(ULONG) AddRef() override { return AddRefThrough("IHostFrame"); }
  STDMETHODIMP_(ULONG) Release() override { return ReleaseThrough("IHostFrame"); }
  STDMETHODIMP MainWindowHandle(LONG* handle) override;
  std::string Label() const override { return "main frame"; }
  void* Role(REFIID iid) override;
};

// What every kind of document answers; a kind adds its own role by
// deriving and extending Role.
class DocumentObject : public IHostDocument, public Counted {
 public:
  DocumentObject(HostState& host, Document& document) : Counted(host), document_(document) {}
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override { return Query("IHostDocument", iid, object); }
  STDMETHODIMP_(ULONG) AddRef() override { return AddRefThrough("IHostDocument"); }
  STDMETHODIMP_(ULONG) Release() override { return ReleaseThrough("IHostDocument"); }
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
  STDMETHODIMP CreateSketchPoint(double x, double y, double z, IUnknown** point) override;
  STDMETHODIMP CreateSketchCircle(double cx, double cy, double cz, double radius, IUnknown** segment) override;
  STDMETHODIMP CreateSketchArc(double cx, double cy, double cz, double sx, double sy, double sz, double ex, double ey,
                               double ez, short direction, IUnknown** segment) override;
  STDMETHODIMP CreateSketchSplineByPoints(LONG count, const double* points, IUnknown** segment) override;
  STDMETHODIMP CreateSketchSplineByNurbs(const LONG* properties, const double* knots, const double* controlPoints,
                                         IUnknown** segment) override;
  STDMETHODIMP Title(BSTR* title) override;
  STDMETHODIMP ActiveConfiguration(IHostConfiguration** configuration) override;
  STDMETHODIMP GetLengthUnit(LONG* unit) override;
  STDMETHODIMP GetSketch(LONG index, IHostSketch** sketch) override;
  std::string Label() const override { return document_.title; }

  Document& Model() { return document_; }
  // IUnknown is the IHostDocument interface, so identity holds across roles.
  void* Role(REFIID iid) override;

 protected:
  Document& document_;

 private:
  HRESULT Step(Op op);
};

// The part role's IUnknown methods, apart from the document role's, so that
// the record tells through which role a part was queried or released.
class PartRole : public IHostPartDocument {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** object) final { return PartQuery(iid, object); }
  STDMETHODIMP_(ULONG) AddRef() final { return PartAddRef(); }
  STDMETHODIMP_(ULONG) Release() final { return PartRelease(); }

 protected:
  ~PartRole() = default;
  virtual HRESULT PartQuery(REFIID iid, void** object) noexcept = 0;
  virtual ULONG PartAddRef() noexcept = 0;
  virtual ULONG PartRelease() noexcept = 0;
};

class PartObject final : public DocumentObject, public PartRole {
 public:
  using DocumentObject::DocumentObject;
  STDMETHODIMP NewBody(IHostBody** body) override;
  STDMETHODIMP MaterialValues(double* values) override;
  STDMETHODIMP BodyEnumerator(LONG kind, VARIANT_BOOL visibleOnly, IHostBodyEnumerator** enumerator) override;
  void* Role(REFIID iid) override;

 private:
  HRESULT PartQuery(REFIID iid, void** object) noexcept override { return Query("IHostPartDocument", iid, object); }
  ULONG PartAddRef() noexcept override { return AddRefThrough("IHostPartDocument"); }
  ULONG PartRelease() noexcept override { return ReleaseThrough("IHostPartDocument"); }
};

class BodyObject final : public IHostBody, public Counted {
 public:
  BodyObject(HostState& host, Document& document, Body& body, size_t index)
      : Counted(host), document_(document), body_(body), index_(index) {}
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override { return Query("IHostBody", iid, object); }
  STDMETHODIMP_(ULONG) AddRef() override { return AddRefThrough("IHostBody"); }
  STDMETHODIMP_(ULONG) Release() override { return ReleaseThrough("IHostBody"); }
  STDMETHODIMP CreatePlanarFace(LONG count, const double* points, const double* normal) override;
  STDMETHODIMP CreateBodyFromSurfaces(IHostBody** body) override;
  STDMETHODIMP CreateBSplineSurface(const LONG* properties, const double* uKnots, const double* vKnots,
                                    const double* controlPoints, IHostSurface** surface) override;
  STDMETHODIMP CreatePlaneSurface(const double* rootPoint, const double* normal, IHostSurface** surface) override;
  STDMETHODIMP CreateTrimmedSurface(VARIANT_BOOL* ok) override;
  STDMETHODIMP CreateBoundedSurface(LONG uBounded, LONG vBounded, const double* range) override;
  STDMETHODIMP FirstFace(IHostFace** face) override;
  STDMETHODIMP Name(BSTR* name) override;
  std::string Label() const override;
  void* Role(REFIID iid) override;

 private:
  // A new surface on the collector, handed out as `out`.
  HRESULT MakeSurface(CallScope& call, Surface&& surface, IHostSurface** out);
  // The surface CreateTrimmedSurface or CreateBoundedSurface turns into a
  // face, or why there is none.
  Surface* LastSurface(std::string* why);

  Document& document_;
  Body& body_;
  size_t index_;  // in the document's collectors or bodies, by kind
};

// A surface made on a collector, as the system holds it: it takes the
// surface's trimming loop.
class SurfaceObject final : public IHostSurface, public Counted {
 public:
  SurfaceObject(HostState& host, Document& document, Body& collector, size_t collectorIndex, size_t index)
      : Counted(host), document_(document), collector_(collector), collectorIndex_(collectorIndex), index_(index) {}
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override { return Query("IHostSurface", iid, object); }
  STDMETHODIMP_(ULONG) AddRef() override { return AddRefThrough("IHostSurface"); }
  STDMETHODIMP_(ULONG) Release() override { return ReleaseThrough("IHostSurface"); }
  STDMETHODIMP AddTrimmingLoop(LONG count, const LONG* orders, const LONG* dimensions, const LONG* periodic,
                               const LONG* knotCounts, const LONG* controlPointCounts, const double* knots,
                               const double* controlPoints, const double* reserved) override;
  std::string Label() const override;
  void* Role(REFIID iid) override;

 private:
  Document& document_;
  Body& collector_;
  size_t collectorIndex_;
  size_t index_;  // in the collector's surfaces
};

// A sketch line as the system holds it. Views are pooled: one no longer
// held serves the next line, so a sketch of a million lines does not keep
// a million objects.
class SegmentObject final : public IUnknown, public Counted {
 public:
  explicit SegmentObject(HostState& host) : Counted(host) {}
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override { return Query("IUnknown", iid, object); }
  STDMETHODIMP_(ULONG) AddRef() override { return AddRefThrough("IUnknown"); }
  STDMETHODIMP_(ULONG) Release() override { return ReleaseThrough("IUnknown"); }
  std::string Label() const override;
  void* Role(REFIID iid) override;

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

  // The commands and the add-ins.
  std::deque<CommandManager> managers;
  std::vector<CommandManagerObject*> managerObjects;  // beside `managers`
  std::vector<CommandGroupObject*> groupObjects;
  std::deque<CommandTab> tabs;
  std::vector<CommandTabObject*> tabObjects;  // beside `tabs`
  std::vector<FileOpenEntry> fileOpenEntries;
  struct Callback {
    LONG cookie;
    IDispatch* object;  // one reference, the host's
  };
  std::vector<Callback> callbacks;
  std::vector<AddIn> addIns;
  std::vector<SWPublished::ISwAddin*> addInObjects;  // beside `addIns`, null once let go
  LONG nextCookie = 1;
  LONG nextCommandId = 32001;
  ConnectionPointObject* events = nullptr;

  // The host's type library, while it is registered.
  struct EventLibrary {
    std::string dir;           // the host's own folder for the file
    std::wstring file;         // the file, as Windows names it
    std::string registryFile;  // the registry it went into
    int major = -1;            // -1: not registered
  } eventLibrary;
  int Major() const;  // of `revision`, as strtol reads it; 0 when none
  bool RegisterEvents(std::string* error);
  void UnregisterEvents();

  bool comEntered = false;  // LoadAddIns entered COM on the host's thread
  bool madeByCom = false;   // an add-in came from CoCreateInstance

  // Connects an add-in the host holds one reference to (room in addIns and
  // addInObjects made by the caller); a failed connection lets go of it.
  HRESULT Connect(SWPublished::ISwAddin* addin, REFCLSID clsid, LONG* cookie);
  void LetGo(size_t index);
  bool KnownCookie(LONG cookie) const;
  CommandManagerObject* Manager(LONG cookie);
  bool ActiveCommandId(LONG id) const;

  Recorder recorder;
  Faults faults;
  long held = 0;
  long overReleases = 0;
  long useAfterRelease = 0;
  std::vector<std::string> useAfterReleaseTexts;  // the first few

  // Counts and reports a call through an object after its last release.
  void UseAfterRelease(const std::string& what) noexcept;

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

// A pointer handed out as interface I: one outside reference more.
template <class I, class T>
I* HandOut(T* object) {
  object->Grant();
  return static_cast<I*>(object);
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
