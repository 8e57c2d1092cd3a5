// Inside the stand-in host: the operations it knows, the recorder, the
// faults, the reference accounting and the COM objects that show the model
// to the system. Everything is owned by one HostState.
#pragma once

#include "faces.h"
#include "stand_in/host.h"

#include <HostApi.h>
#include <ocidl.h>
#include <stand_in/connection_point.h>
#include <stand_in/no_throw.h>

#include <algorithm>
#include <map>
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

  // The same for each of `count` values of an array.
  template <class T>
  void OutArray(T* out, size_t count, typename Plain<T>::type value) {
    if (out && !leaveOutputs_) std::fill(out, out + count, value);
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
  template <class I>
  friend class ForwardingRole;

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

// A further role whose IUnknown methods are its owner's, recorded as called
// through the interface `name`.
template <class I>
class ForwardingRole : public SecondRole<I> {
 public:
  ForwardingRole(Counted& owner, const char* name) : owner_(owner), name_(name) {}

 protected:
  ~ForwardingRole() = default;

 private:
  HRESULT RoleQuery(REFIID iid, void** object) noexcept final { return owner_.Query(name_, iid, object); }
  ULONG RoleAddRef() noexcept final { return owner_.AddRefThrough(name_); }
  ULONG RoleRelease() noexcept final { return owner_.ReleaseThrough(name_); }
  Counted& owner_;
  const char* name_;
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
  // ActiveDocument and ActiveModel: one answer under two names.
  HRESULT GiveActiveDocument(Op op, IHostDocument** document);

  // The application as IDispatch: it has no names the add-in may call.
  class Dispatch final : public ForwardingRole<IDispatch> {
   public:
    explicit Dispatch(ApplicationObject& app) : ForwardingRole(app, "IDispatch"), app_(app) {}
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argError) override;

   private:
    ApplicationObject& app_;
  };
  class Container final : public ForwardingRole<IConnectionPointContainer> {
   public:
    explicit Container(ApplicationObject& app) : ForwardingRole(app, "IConnectionPointContainer"), app_(app) {}
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** points) override;
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;

   private:
    ApplicationObject& app_;
  };

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
  DocumentObject(HostState& host, Document& document) : Counted(host), document_(document), list_(*this) {}
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
  // The document's sketches as a list the read side may walk: an item per
  // sketch, in order.
  class ListOwner final : public ForwardingRole<IHostListOwner> {
   public:
    explicit ListOwner(DocumentObject& document) : ForwardingRole(document, "IHostListOwner"), document_(document) {}
    STDMETHODIMP FirstItem(IHostListItem** item) override;

   private:
    DocumentObject& document_;
  };

  HRESULT Step(Op op);

  ListOwner list_;
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

enum class EntityKind : uint8_t { Point, Line, Arc, Circle, Spline };

// A sketch entity as the system holds it. Views are pooled: one no longer
// held serves the next entity, so a sketch of a million lines does not keep
// a million objects.
class SegmentObject final : public IUnknown, public Counted {
 public:
  explicit SegmentObject(HostState& host) : Counted(host) {}
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override { return Query("IUnknown", iid, object); }
  STDMETHODIMP_(ULONG) AddRef() override { return AddRefThrough("IUnknown"); }
  STDMETHODIMP_(ULONG) Release() override { return ReleaseThrough("IUnknown"); }
  std::string Label() const override;
  void* Role(REFIID iid) override;

  // `index` counts within the sketch's list of that kind (arcs and
  // circles share one).
  void Bind(const Document* document, size_t sketch, EntityKind kind, size_t index);
  bool pooled = false;

 private:
  void OnAcquiredFromNone() noexcept override;
  void OnLastRelease() noexcept override;
  const Document* document_ = nullptr;
  size_t sketch_ = 0, index_ = 0;
  EntityKind kind_ = EntityKind::Line;
};

// "Part1 sketch 2", or "Drawing1 sheet".
std::string SketchLabel(const Document& document, size_t sketch);

// One of a document's sketches as the read side sees it. Each data call
// writes the records of exactly the entities its count or size call last
// answered on this object: the caller's room, whatever was drawn since.
class SketchObject final : public IHostSketch, public Counted {
 public:
  SketchObject(HostState& host, const Document& document, size_t sketch)
      : Counted(host), document_(document), sketch_(sketch), attached_(*this) {}
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override { return Query("IHostSketch", iid, object); }
  STDMETHODIMP_(ULONG) AddRef() override { return AddRefThrough("IHostSketch"); }
  STDMETHODIMP_(ULONG) Release() override { return ReleaseThrough("IHostSketch"); }
  STDMETHODIMP LineCount(LONG* count) override;
  STDMETHODIMP LineData(double* data) override;
  STDMETHODIMP ArcCount(LONG* count) override;
  STDMETHODIMP ArcData(double* data) override;
  STDMETHODIMP SplineDataSize(LONG* size, LONG* count) override;
  STDMETHODIMP SplineData(double* data) override;
  STDMETHODIMP PolylineDataSize(LONG* size, LONG* count) override;
  STDMETHODIMP PolylineData(double* data) override;
  std::string Label() const override { return SketchLabel(document_, sketch_); }
  void* Role(REFIID iid) override;
  IHostAttachedObject* AsAttached() { return &attached_; }

 private:
  // The sketch as the attached object of a list item.
  class Attached final : public ForwardingRole<IHostAttachedObject> {
   public:
    explicit Attached(SketchObject& sketch) : ForwardingRole(sketch, "IHostAttachedObject"), sketch_(sketch) {}
    STDMETHODIMP InnerObject(IHostInnerObject** inner) override;

   private:
    SketchObject& sketch_;
  };

  // What a count call answered: the entities its data call writes.
  struct Answer {
    bool given = false;
    size_t count = 0;
  };
  // `size` is asked for when `sized`.
  template <class Records>
  HRESULT Count(Op op, bool sized, LONG* size, LONG* count, Answer& answer, const Records& records);
  template <class Records>
  HRESULT Data(Op op, const char* countCall, double* data, const Answer& answer, const Records& records);

  const Document& document_;
  size_t sketch_;
  Answer lines_, arcs_, splines_, polylines_;
  Attached attached_;
};

// A list item of a document's sketch list: the sketch is its attached
// object and its extra object.
class ListItemObject final : public IHostListItem, public Counted {
 public:
  ListItemObject(HostState& host, const Document& document, size_t sketch)
      : Counted(host), document_(document), sketch_(sketch) {}
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override { return Query("IHostListItem", iid, object); }
  STDMETHODIMP_(ULONG) AddRef() override { return AddRefThrough("IHostListItem"); }
  STDMETHODIMP_(ULONG) Release() override { return ReleaseThrough("IHostListItem"); }
  STDMETHODIMP AttachedObject(IHostAttachedObject** object) override;
  STDMETHODIMP ExtraObject(IUnknown** object) override;
  STDMETHODIMP NextItem(IHostListItem** next) override;
  std::string Label() const override { return "list item of " + SketchLabel(document_, sketch_); }
  void* Role(REFIID iid) override;

 private:
  const Document& document_;
  size_t sketch_;
};

// Counts a sketch's entities, every kind together.
class InnerObject final : public IHostInnerObject, public Counted {
 public:
  InnerObject(HostState& host, const Document& document, size_t sketch)
      : Counted(host), document_(document), sketch_(sketch) {}
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    return Query("IHostInnerObject", iid, object);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return AddRefThrough("IHostInnerObject"); }
  STDMETHODIMP_(ULONG) Release() override { return ReleaseThrough("IHostInnerObject"); }
  STDMETHODIMP ItemCount(LONG* count) override;
  std::string Label() const override { return "entity count of " + SketchLabel(document_, sketch_); }
  void* Role(REFIID iid) override;

 private:
  const Document& document_;
  size_t sketch_;
};

// A document whose kind adds a role of its own, `I`, named `role` in the
// record.
template <class I>
class KindDocument : public DocumentObject, public ForwardingRole<I> {
 public:
  KindDocument(HostState& host, Document& document, const char* role)
      : DocumentObject(host, document), ForwardingRole<I>(*this, role) {}
  void* Role(REFIID iid) override {
    if (iid == __uuidof(I)) return static_cast<I*>(this);
    return DocumentObject::Role(iid);
  }
};

class AssemblyObject final : public KindDocument<IHostAssemblyDocument> {
 public:
  AssemblyObject(HostState& host, Document& document) : KindDocument(host, document, "IHostAssemblyDocument") {}
  STDMETHODIMP PreReadStep(LONG value, LONG* result) override;
};

class DrawingObject final : public KindDocument<IHostDrawingDocument> {
 public:
  DrawingObject(HostState& host, Document& document) : KindDocument(host, document, "IHostDrawingDocument") {}
};

// The configuration of a part or an assembly.
class ConfigurationObject final : public IHostConfiguration, public Counted {
 public:
  ConfigurationObject(HostState& host, const Document& document) : Counted(host), document_(document) {}
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override { return Query("IHostConfiguration", iid, object); }
  STDMETHODIMP_(ULONG) AddRef() override { return AddRefThrough("IHostConfiguration"); }
  STDMETHODIMP_(ULONG) Release() override { return ReleaseThrough("IHostConfiguration"); }
  STDMETHODIMP RootComponent(IHostComponent** component) override;
  std::string Label() const override { return document_.title + " configuration"; }
  void* Role(REFIID iid) override;

 private:
  const Document& document_;
};

// A component as the tree shows it: the components from below the root of
// `assembly` down to it, each in the assembly its predecessor places (none
// for the root).
using ComponentPath = std::vector<const Component*>;

class ComponentObject final : public IHostComponent, public Counted {
 public:
  ComponentObject(HostState& host, const stand_in::Document& assembly, ComponentPath path)
      : Counted(host), assembly_(assembly), path_(std::move(path)) {}
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override { return Query("IHostComponent", iid, object); }
  STDMETHODIMP_(ULONG) AddRef() override { return AddRefThrough("IHostComponent"); }
  STDMETHODIMP_(ULONG) Release() override { return ReleaseThrough("IHostComponent"); }
  STDMETHODIMP Name(BSTR* name) override;
  STDMETHODIMP BodyEnumerator(LONG kind, IHostBodyEnumerator** enumerator) override;
  STDMETHODIMP Document(IHostDocument** document) override;
  STDMETHODIMP TransformValues(double* values) override;
  STDMETHODIMP MaterialValues(double* values) override;
  STDMETHODIMP ChildCount(LONG* count) override;
  STDMETHODIMP Children(IHostComponent** children) override;
  std::string Label() const override;
  void* Role(REFIID iid) override;

 private:
  // The components below this one: those of the assembly it is the root of
  // or places.
  const std::deque<Component>* Below() const;

  const stand_in::Document& assembly_;
  ComponentPath path_;
};

// A snapshot of a part's bodies of one kind, taken when it is made.
class BodyEnumeratorObject final : public IHostBodyEnumerator, public Counted {
 public:
  // `part` null: none to list.
  BodyEnumeratorObject(HostState& host, Document* part, std::vector<size_t> bodies, std::string label)
      : Counted(host), part_(part), bodies_(std::move(bodies)), label_(std::move(label)) {}
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override { return Query("IHostBodyEnumerator", iid, object); }
  STDMETHODIMP_(ULONG) AddRef() override { return AddRefThrough("IHostBodyEnumerator"); }
  STDMETHODIMP_(ULONG) Release() override { return ReleaseThrough("IHostBodyEnumerator"); }
  STDMETHODIMP Next(LONG count, IHostBody** body, LONG* fetched) override;
  std::string Label() const override { return label_; }
  void* Role(REFIID iid) override;

 private:
  Document* part_;
  std::vector<size_t> bodies_;  // indexes into part_->bodies
  size_t next_ = 0;
  std::string label_;
};

// Objects of one kind that serve again once no longer held, so that walking
// a million faces does not keep a million objects. A pointer taken up again
// after its last release leaves the pool.
template <class T>
class Pool {
 public:
  // Room is kept for every object made, so that Return never allocates.
  template <class MakeNew>
  T* Take(MakeNew&& make) {
    if (!free_.empty()) {
      T* object = free_.back();
      free_.pop_back();
      object->pooled = false;
      return object;
    }
    free_.reserve(made_ + 1);
    T* object = make();
    ++made_;
    return object;
  }
  void Return(T* object) noexcept {
    object->pooled = true;
    free_.push_back(object);
  }
  void Reclaim(T* object) noexcept {
    if (!object->pooled) return;
    object->pooled = false;
    free_.erase(std::remove(free_.begin(), free_.end(), object), free_.end());
  }

 private:
  std::vector<T*> free_;
  size_t made_ = 0;
};

// A face of a sewn body, pooled.
class FaceObject final : public IHostFace, public Counted {
 public:
  explicit FaceObject(HostState& host) : Counted(host) {}
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override { return Query("IHostFace", iid, object); }
  STDMETHODIMP_(ULONG) AddRef() override { return AddRefThrough("IHostFace"); }
  STDMETHODIMP_(ULONG) Release() override { return ReleaseThrough("IHostFace"); }
  STDMETHODIMP TriangleCount(LONG* count) override;
  STDMETHODIMP TriangleData(LONG option, float* data) override;
  STDMETHODIMP NextFace(IHostFace** next) override;
  std::string Label() const override;
  void* Role(REFIID iid) override;

  void Bind(const Document& document, const Body& body, size_t bodyIndex, size_t face);
  bool pooled = false;

 private:
  void OnAcquiredFromNone() noexcept override;
  void OnLastRelease() noexcept override;
  // The face's triangles, computed once per binding.
  const std::vector<Point3>& Corners();

  const Document* document_ = nullptr;
  const Body* body_ = nullptr;
  size_t bodyIndex_ = 0, face_ = 0;
  std::vector<Point3> corners_;
  bool tessellated_ = false;
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
  int partsMade = 0, assembliesMade = 0, drawingsMade = 0;
  // Views of the model made once and handed out again.
  std::map<const Body*, BodyObject*> bodyObjects;
  std::map<const Document*, ConfigurationObject*> configurationObjects;
  std::map<std::pair<const Document*, ComponentPath>, ComponentObject*> componentObjects;
  Pool<FaceObject> faces;

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
  // A new document of that kind, which becomes the active one.
  DocumentObject* NewDocument(DocumentKind kind, const Sheet& sheet = {});
  DocumentObject* ObjectOf(const Document& document);
  BodyObject* BodyView(Document& document, Body& body, size_t index);
  FaceObject* Face(const Document& document, const Body& body, size_t bodyIndex, size_t face);
  ConfigurationObject* Configuration(const Document& document);
  ComponentObject* ComponentView(const Document& assembly, const ComponentPath& path);
  // A new enumerator over the bodies of `part` (null: none) of the
  // HostBodyKind `kind`, into `enumerator`; finishes the call.
  HRESULT ListBodies(CallScope& call, Document* part, LONG kind, bool visibleOnly, const std::string& owner,
                     IHostBodyEnumerator** enumerator);
  // The host's own document given as `role` by a caller of Host; throws
  // std::invalid_argument for any other.
  Document& Find(const Document& document, const char* role);
  Document& FindPart(const Document& document);
  DocumentObject* Active();
  SegmentObject* Segment(const Document& document, size_t sketch, EntityKind kind, size_t index);
};

// The view `cache` holds for `key`, made by `make` the first time.
template <class T, class Key, class MakeNew>
T* Cached(std::map<Key, T*>& cache, const Key& key, MakeNew&& make) {
  auto found = cache.find(key);
  if (found != cache.end()) return found->second;
  T* object = make();
  cache.emplace(key, object);
  return object;
}

// A pointer handed out as interface I: one outside reference more.
template <class I, class T>
I* HandOut(T* object) {
  object->Grant();
  return static_cast<I*>(object);
}

std::wstring FromBstr(BSTR text);
// A new BSTR of the UTF-8 text into `out`: S_OK or E_OUTOFMEMORY.
HRESULT GiveText(const std::string& utf8, BSTR* out);
// Throw std::invalid_argument for what a modeller would refuse.
void CheckMaterial(const Material& material);
// The name a body of `part` gets when sewn: "Body" and the first number
// from the body count on that no other body of the part is named.
std::string NewBodyName(const Document& part);

}  // namespace stand_in
