// The stand-in CAD host: the model it keeps, the record of the calls made on
// it, the faults a test plants in it, and the count of the references it
// handed out. Tests and the command line drive it through this header; the
// system sees only the IHost* interfaces of HostApi.h.
#pragma once

#include <HostApi.h>

#include <array>
#include <cstdint>
#include <cstddef>
#include <deque>
#include <iterator>
#include <list>
#include <memory>
#include <string>
#include <vector>

namespace stand_in {

struct Point3 {
  double x, y, z;
};
inline bool operator==(const Point3& a, const Point3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }
inline bool operator!=(const Point3& a, const Point3& b) { return !(a == b); }

// Planar polygons (3 or 4 corners) kept as one vertex pool and flat corner
// indexes: a body of a million faces is a few flat arrays, not a million
// objects. Corners that are exactly equal (0.0 and -0.0 alike) share one
// vertex, which is how faces are sewn along their shared edges.
class FaceSet {
 public:
  size_t Count() const noexcept { return starts_.size(); }
  int CornerCount(size_t face) const noexcept;
  const Point3& Corner(size_t face, int k) const noexcept { return vertices_[VertexIndex(face, k)]; }
  uint32_t VertexIndex(size_t face, int k) const noexcept { return corners_[starts_[face] + static_cast<size_t>(k)]; }
  const std::vector<Point3>& Vertices() const noexcept { return vertices_; }

  // Adds a polygon the caller has checked. False (and no change) when the
  // set cannot index more corners; std::bad_alloc leaves it unchanged too.
  bool Add(const Point3* points, int count);
  // Frees the index that welds new corners (a later Add rebuilds it).
  void Seal();
  // Sewing, without changing the set: true when the faces close manifold
  // shells that enclose a volume (every edge shared by exactly two faces,
  // the faces around each vertex one fan, the faces orientable, each
  // shell's volume more than its area times the coincidence tolerance).
  // `turn` receives the faces to turn round so that neighbours agree and
  // closed shells face outward; each open piece keeps the winding of its
  // first face. Linear in the faces but for a sort of each vertex's edges.
  bool Sew(std::vector<uint32_t>* turn) const;
  // Reverses the corner order of the faces Sew named.
  void Turn(const std::vector<uint32_t>& faces) noexcept;

 private:
  uint32_t Weld(const Point3& p) noexcept;
  void GrowWeldIndex(size_t vertices);

  std::vector<Point3> vertices_;
  std::vector<uint32_t> corners_;  // vertex indexes, face after face
  std::vector<uint32_t> starts_;   // first corner of each face
  std::vector<uint32_t> weld_;     // open addressing over vertices_
};

enum class BodyKind {
  Collector,  // made by NewBody: gathers faces until they are sewn
  Solid,
  Sheet,
};

// Surfaces and their faces. A body from NewBody (a collector) takes the
// surfaces made on it in order; the one made last is the one
// CreateTrimmedSurface and CreateBoundedSurface turn into a face, once. A
// plane becomes a face only by its trimming loop (one loop, added to it
// through its IHostSurface before it is a face; a plane has no parameter
// range); a B-spline surface only by a parameter range within its domain
// (the host places no loop on a surface it would have to invert).
//
// A face keeps its boundary as a closed polyline and a tessellation:
// - a trimmed plane: the loop's curves, each sampled at parameters that
//   depend on the curve alone (per knot span 1, 2, 4 ... 64 equal steps,
//   the fewest whose chords stay within kChordTolerance, 1e-3 of the
//   curve's size, of the curve), joined end to end; its triangles the
//   loop's polygon cut into ears in the plane. It looks the way of the
//   plane's normal.
// - a bounded B-spline surface: its four edges, the iso-curves at the
//   range's ends, each sampled as a curve of its own, so that a trimming
//   curve equal to an edge (as the edges of the bridge's boxed solid are)
//   is sampled at the same parameters and gives the same points; inside,
//   a grid over the range, cut finer until no triangle strays from the
//   surface by more than 1e-3 of the surface's size (the diagonal of the
//   box around its control points), measured at points spread across each
//   triangle against the surface's point at the same parameters, and
//   joined to the edges by a ring as narrow as that asks. It looks the way
//   of the u derivative crossed with the v derivative.
// Sizes are diagonals of boxes; tolerances never go below the host's
// resolution, 1e-8 m.
//
// Sewing a body that has any face of a surface (CreateBodyFromSurfaces):
// the boundary points of all its faces that lie within the sewing
// tolerance (1e-6 of the body's size) of each other weld into one vertex;
// a boundary or triangle step that the welding empties drops out, and a
// face whose boundary keeps fewer than three vertices fails the sewing.
// The boundaries then sew as planar faces do: a solid when they close
// manifold shells that enclose a volume (more than their area times the
// sewing tolerance), else a sheet; faces are turned to agree with their
// neighbours, closed shells to face outward. The planar faces of such a
// body join it as faces of their own, welded alike, in the order they
// came; a body of planar faces alone is sewn as before, by exact welding.

// A NURBS curve of a trimming loop as the host keeps it: non-rational, its
// whole knot vector (order + control points values), control points in
// metres.
struct NurbsCurve {
  int order = 0;
  bool periodic = false;
  std::vector<double> knots;
  std::vector<Point3> points;
};

// Faces of surfaces: each a closed boundary polyline and a tessellation,
// over one pool of points. A face's boundary runs counter-clockwise seen
// from the side it looks to, its triangles are wound the same way, and the
// boundary's points are points of the triangles.
struct SurfaceFaces {
  struct Face {
    uint32_t boundary, boundaryCount;  // its first index into `boundary`, and how many
    uint32_t corners, cornerCount;     // its first index into `corners`, and how many (3 a triangle)
  };
  std::vector<Point3> points;
  std::vector<uint32_t> boundary;  // point indexes, face after face; the first is not repeated at the end
  std::vector<uint32_t> corners;   // point indexes, three a triangle, face after face
  std::vector<Face> faces;

  size_t Count() const noexcept { return faces.size(); }
};

enum class SurfaceKind {
  BSpline,
  Plane,
};

// A surface made on a body, waiting to become one of its faces. A B-spline
// surface has per direction (0: u, 1: v) its order, control-point count,
// periodic flag and whole knot vector, and its control points in metres, u
// running fastest; a plane has a point on it and its unit normal. A plane's
// trimming loop is kept with the face it cuts, made when the loop is added.
struct Surface {
  SurfaceKind kind = SurfaceKind::Plane;
  int order[2] = {0, 0};
  int count[2] = {0, 0};
  bool periodic[2] = {false, false};
  std::vector<double> knots[2];
  std::vector<Point3> points;
  Point3 root{0, 0, 0}, normal{0, 0, 0};
  std::vector<NurbsCurve> loop;  // empty: none added
  SurfaceFaces trimmed;          // the one face the loop cuts
  bool face = false;             // it has become a face
};

// A body's faces are either planar faces alone (`faces`, sewn by exact
// welding) or, once any face of a surface is among them, faces of surfaces
// (`surfaceFaces`), which the sewing joins within its tolerance, taking the
// planar faces in as faces of their own. A collector keeps both until it
// is sewn, with the surfaces made on it.
struct Body {
  BodyKind kind = BodyKind::Collector;
  FaceSet faces;
  std::string name;  // "Body1", "Body2", ... in the order sewn; none for a collector
  bool visible = true;
  SurfaceFaces surfaceFaces;
  // A collector's: for each face of `surfaceFaces`, the planar faces
  // collected before it, so that sewing keeps the order faces came in.
  std::vector<uint32_t> planarBefore;
  // A collector's surfaces, in the order made: the last one is the one that
  // CreateTrimmedSurface and CreateBoundedSurface turn into a face.
  std::deque<Surface> surfaces;
};

// The faces of a body, whatever their kind: planar faces first, then faces
// of surfaces (a sewn body has only one kind).
size_t FaceCount(const Body& body);
// The triangles of face `face` (below FaceCount), three corners each, in
// metres, wound counter-clockwise seen from the side the face looks to
// (outward on a solid): a planar face's polygon cut along an inner
// diagonal, a face of a surface its tessellation. `corners` is replaced.
void FaceTriangles(const Body& body, size_t face, std::vector<Point3>* corners);

struct SketchLine {
  Point3 from, to;
};

// A sketch's lines, kept as pairs of indexes into a pool of their end
// points (a point met again shares its entry when equal to the bit, so -0.0
// stays -0.0), both in blocks that never move: the lines of a million-face
// mesh are some 24 MB in blocks of under a megabyte, not one 72 MB array
// copied as it grows.
// Reads as a sequence of SketchLine values.
class SketchLines {
 public:
  class const_iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = SketchLine;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = SketchLine;
    const_iterator(const SketchLines* lines, size_t i) : lines_(lines), i_(i) {}
    SketchLine operator*() const noexcept { return (*lines_)[i_]; }
    const_iterator& operator++() noexcept { return ++i_, *this; }
    const_iterator operator++(int) noexcept { return const_iterator(lines_, i_++); }
    bool operator==(const const_iterator& o) const noexcept { return i_ == o.i_; }
    bool operator!=(const const_iterator& o) const noexcept { return i_ != o.i_; }

   private:
    const SketchLines* lines_;
    size_t i_;
  };

  size_t size() const noexcept { return ends_.size(); }
  bool empty() const noexcept { return ends_.size() == 0; }
  SketchLine operator[](size_t i) const noexcept {
    const Ends& e = ends_[i];
    return {points_[e.from], points_[e.to]};
  }
  const_iterator begin() const noexcept { return {this, 0}; }
  const_iterator end() const noexcept { return {this, size()}; }
  // The end points held: what the weld saves shows here.
  size_t PointCount() const noexcept { return points_.size(); }

  // Makes room for one more line (std::bad_alloc changes nothing seen), so
  // that the Append after it cannot fail.
  void Reserve();
  void Append(const SketchLine& line) noexcept;
  // Frees the index that welds new end points (a later Reserve rebuilds it).
  void Seal();

  // Elements in blocks that never move or copy: 2^6, 2^6, 2^7, ... 2^14,
  // each doubling what is held (so a small sketch stays small), then 2^15
  // at a time.
  template <class T>
  class Blocks {
   public:
    size_t size() const noexcept { return count_; }
    const T& operator[](size_t i) const noexcept {
      if (i >> kShift) return blocks_[(i >> kShift) + (kShift - kFirstShift)][i & kMask];
      if (i >> kFirstShift == 0) return blocks_[0][i];
      const int top = 63 - __builtin_clzll(i);
      return blocks_[static_cast<size_t>(top - kFirstShift + 1)][i - (size_t{1} << top)];
    }
    void Reserve(size_t extra);
    void PushBack(const T& v) noexcept {
      if (next_ == end_) {  // Reserve has added the next block
        ++writing_;
        next_ = blocks_[writing_].get();
        end_ = next_ + BlockSize(writing_);
      }
      *next_++ = v;
      ++count_;
    }

   private:
    static constexpr int kShift = 15, kFirstShift = 6;
    static constexpr size_t kMask = (size_t{1} << kShift) - 1;
    static size_t BlockSize(size_t block) noexcept {
      if (block == 0) return size_t{1} << kFirstShift;
      return size_t{1} << (block < kShift - kFirstShift + 1 ? kFirstShift - 1 + block : kShift);
    }
    std::vector<std::unique_ptr<T[]>> blocks_;
    size_t count_ = 0, capacity_ = 0;
    size_t writing_ = ~size_t{0};  // the block next_ is in
    T* next_ = nullptr;
    T* end_ = nullptr;
  };

 private:
  struct Ends {
    uint32_t from, to;
  };
  // A point's index with the high half of its hash: a slot holding another
  // point is told apart without reading the point, which at a million
  // points is a cache miss for every new one.
  struct WeldSlot {
    uint32_t point, tag;
  };
  uint32_t Weld(const Point3& p) noexcept;

  Blocks<Point3> points_;
  Blocks<Ends> ends_;
  std::vector<WeldSlot> weld_;  // recent points_ by hash
};

// An arc about `centre` from `start` to `end` in the plane parallel to
// world XY through the centre, turning counter-clockwise seen from +z when
// `direction` is +1 and clockwise when -1; `radius` is the centre's distance
// to the start. A circle is the whole turn: its start and end are the one
// point at angle 0 from +x, (centre.x + radius, centre.y, centre.z), and its
// direction is +1.
struct SketchArc {
  Point3 centre, start, end;
  double radius = 0;
  short direction = 1;
  bool circle = false;
};

// A spline through `points` in order (a centripetal Catmull-Rom curve when
// the host draws it), or, with `nurbs`, the non-rational B-spline of that
// `order` over the whole knot vector `knots` (order + control points
// values) whose control points are `points`. `periodic` is kept as given.
struct SketchSpline {
  bool nurbs = false;
  std::vector<Point3> points;
  int order = 0;
  bool periodic = false;
  std::vector<double> knots;
};

// A 3D sketch of a part, or a drawing's sheet. The host never removes an
// entity, so the first n of each kind stay as they were read.
struct Sketch {
  SketchLines lines;
  std::vector<Point3> points;
  std::vector<SketchArc> arcs;  // arcs and circles, in the order made
  std::vector<SketchSpline> splines;
  bool open = true;
};

// What IHostSketch's records hold in the values a caller need not read, by
// record: the kind of entity (below) first, then its index among the
// records of its call (from 0), then:
//   line:   its length, and the unit vector from its start to its end;
//   arc:    its radius, its start's angle from +x about +z (-pi to pi),
//           the angle it turns its own way (2 pi for a circle), its length;
//   spline: its order and periodic flag (1 or 0) and the number of its
//           knots (all 0 for a spline through points), then 0. The points
//           of its record are the points it passes through, or its
//           control points.
// The host has no polyline entity: PolylineDataSize answers 0 and 0.
enum SketchRecordKind {
  kSketchRecordLine = 1,
  kSketchRecordArc = 2,
  kSketchRecordCircle = 3,
  kSketchRecordSplineThroughPoints = 4,
  kSketchRecordNurbsSpline = 5,
};

// A drawing has one sketch, its sheet (sketches[0]), open from its creation
// on; it has no 3D sketch.
enum class DocumentKind {
  Part,
  Assembly,
  Drawing,
};
const char* KindName(DocumentKind kind);  // "part", "assembly", "drawing"

// A material as IHostPartDocument::MaterialValues gives it: red, green,
// blue, ambient, diffuse, specular, shininess, transparency, emission, each
// 0 to 1.
using Material = std::array<double, kHostMaterialValues>;
inline constexpr Material kDefaultMaterial = {0.75, 0.75, 0.75, 0.5, 0.8, 0.5, 0.3, 0.0, 0.0};

// A rigid placement: a rotation, column by column (rotation[0..2] is where
// the x axis goes), then a translation in metres.
struct Transform {
  double rotation[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  Point3 translation{0, 0, 0};
};

struct Document;

// A part or a sub-assembly placed in an assembly, under its root.
struct Component {
  std::string name;
  const Document* document = nullptr;
  Transform transform;  // in the assembly that holds the component
  bool ownMaterial = false;
  Material material{};  // when ownMaterial
};

// A drawing's sheet: the HostPaperSize and HostSheetFormat codes it was made
// with, and its size in metres.
struct Sheet {
  LONG paperSize = hostPaperA0;
  LONG format = hostPaperA0;
  std::wstring templateName;  // of hostFormatFromFile
  double width = 0, height = 0;
};

struct Document {
  DocumentKind kind = DocumentKind::Part;
  // "Part1", "Assembly1", "Draw1", ...: each kind counts in creation order
  std::string title;
  LONG lengthUnit = hostMM;
  bool active = false;
  // One per open/close pair of Toggle3DSketch; a drawing's one sketch is its
  // sheet, open from the start.
  std::vector<Sketch> sketches;
  std::deque<Body> collectors;  // from IHostPartDocument::NewBody
  std::deque<Body> bodies;      // the part's bodies, sewn from a collector
  Material material = kDefaultMaterial;  // a part's
  std::deque<Component> components;      // an assembly's, in the order placed
  Sheet sheet;                           // a drawing's
};

// A file IHostApplication::LoadFile loaded: its path as the caller gave it
// and its size in bytes. The host does not interpret the content.
struct LoadedFile {
  std::wstring path;
  uint64_t size = 0;
};

// One call on a host interface. `args` are the input arguments as text:
// numbers in shortest round-trip form, texts in double quotes, arrays in
// brackets, "null" for a null pointer. `error` says why the host refused
// the call, when it did. IUnknown::QueryInterface and IUnknown::Release
// are recorded only when asked for (RecordUnknownCalls): their args name
// the object and the interface called through ("Part1 as IHostDocument"),
// then, for QueryInterface, the IID asked for ("IHostPartDocument", or its
// text in braces). AddRef is not recorded.
struct Call {
  std::string op;  // "IHostDocument::SetLengthUnit"
  std::string args;
  HRESULT result = S_OK;
  std::string error;
};

// How many calls a planted fault covers: the nth alone, or every call
// from the nth on.
enum class FaultSpan {
  Once,
  FromThenOn,
};

// Told at once of each call through a host object after its last release,
// with the text DescribeUseAfterRelease gives for it. Process-wide; tests
// install one that fails the running test. Returns the one it replaces.
using UseAfterReleaseReporter = void (*)(const std::string& what);
UseAfterReleaseReporter SetUseAfterReleaseReporter(UseAfterReleaseReporter reporter);

// An image the command group read: where from and its size in pixels.
// Width 0: none.
struct Icon {
  std::wstring path;
  LONG width = 0, height = 0;
};

struct CommandItem {
  std::wstring name;
  LONG position = 0;
  std::wstring hint, tooltip;
  LONG imageIndex = 0;
  std::wstring callback, enableMethod;
  LONG userId = 0, options = 0;
  LONG commandId = 0;  // given at Activate; 0 before
};

struct CommandGroup {
  LONG userId = 0;
  std::wstring title, tooltip, hint;
  LONG position = 0;
  Icon smallIcons, largeIcons, smallMain, largeMain;
  std::vector<CommandItem> items;
  bool active = false;
};

// The commands of one add-in, named by its cookie. Groups come and go;
// their order is the order of creation.
struct CommandManager {
  LONG cookie = 0;
  std::list<CommandGroup> groups;
};

struct CommandBox {
  std::vector<LONG> commandIds;  // in the order added
  std::vector<LONG> textTypes;   // beside them, HostTabButtonText
};

// A command tab: the host's, by document type and name. It stays when the
// groups whose commands it shows are removed.
struct CommandTab {
  LONG documentType = 0;
  std::wstring name;
  LONG addedBy = 0;  // the cookie of the manager it was added through
  std::deque<CommandBox> boxes;
};

// An entry of the host's Open dialog.
struct FileOpenEntry {
  LONG cookie = 0;
  std::wstring callback, description, extension, a, b;
};

// An add-in the host loaded or tried to: `error` says what went wrong, and
// `connected` whether it is connected now.
struct AddIn {
  CLSID clsid = {};  // GUID_NULL for one connected through ConnectAddIn
  LONG cookie = 0;   // 0 when it never got one
  bool connected = false;
  std::string error;
};

// An argument of FireEvent, in the event's order: a text (VT_BSTR), a
// 32-bit number (VT_I4), a dispatch object (VT_DISPATCH, held for the
// call) or any VARIANT (copied).
class EventArg {
 public:
  EventArg(const wchar_t* text);
  EventArg(int value);
  EventArg(IDispatch* object);
  EventArg(const VARIANT& value);
  EventArg(const EventArg& other);
  EventArg& operator=(const EventArg&) = delete;
  ~EventArg();
  const VARIANT& Value() const { return value_; }

 private:
  VARIANT value_;
};

class HostState;

class Host {
 public:
  Host();
  ~Host();
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  // Borrowed: the host's own reference is not counted as an outside one.
  IHostApplication* Application();

  // Configuration.
  void SetRevisionNumber(const wchar_t* text);  // default L"21.0.0"; null: RevisionNumber gives null
  void SetMainWindowHandle(LONG handle);        // default 0x00010AF2

  // Add-ins. LoadAddIns creates, as COM does, each class named by a subkey
  // of HKEY_LOCAL_MACHINE\SOFTWARE\SolidWorks\AddIns ("{clsid}"), connects
  // it with a new cookie and keeps it while it is connected. S_OK when
  // every one listed connected; else the first failure, with `error` (if
  // given) saying which and why, one line each. ConnectAddIn does the same
  // for an object the caller made (held by the host until unloaded).
  // UnloadAddIns (also run by ~Host) disconnects each one, lets go of what
  // the host holds of it (its callback object, the event sinks left
  // advised), releases it and asks COM to free unused modules.
  HRESULT LoadAddIns(std::string* error = nullptr);
  HRESULT ConnectAddIn(SWPublished::ISwAddin* addin, LONG* cookie = nullptr);
  void UnloadAddIns();
  const std::vector<AddIn>& AddIns() const;

  // The host's Open dialog choosing `path`: the entry whose extension is the
  // file's (any case) calls its callback by name on its add-in's callback
  // object with the path (VT_BSTR). The callback's result; with `error`
  // saying why when nothing matches, the name does not resolve or the call
  // fails.
  HRESULT OpenFile(const std::wstring& path, std::string* error = nullptr);
  // A command button: the activated item of that name calls its callback,
  // with no arguments.
  HRESULT PressCommand(const std::wstring& itemName, std::string* error = nullptr);
  // Fires an application event to every advised sink, each delivery
  // recorded with the sink's answer. S_OK when every sink answered S_OK
  // (or none is advised), else the first other answer.
  HRESULT FireEvent(DISPID dispid, const std::vector<EventArg>& args = {});
  size_t EventSinks() const;  // advised now

  // The host's type library: registered (HKEY_CLASSES_ROOT\TypeLib) at the
  // major revision as version major.0, pointing at a file of the host's
  // own, when the host starts add-ins (LoadAddIns, ConnectAddIn) or a sink
  // is advised; SetRevisionNumber moves it. ~Host unregisters it, when the
  // registration is still the host's. False with `error` when it cannot be
  // registered.
  bool RegisterEventTypeLibrary(std::string* error = nullptr);

  // The commands.
  const std::deque<CommandManager>& CommandManagers() const;
  const CommandManager* FindCommandManager(LONG cookie) const;  // null when none
  const std::deque<CommandTab>& CommandTabs() const;
  const std::vector<FileOpenEntry>& FileOpenEntries() const;
  // The add-in's callback object (borrowed), null when none.
  IDispatch* CallbackObject(LONG cookie) const;

  // The model.
  const std::deque<Document>& Documents() const;
  const Document* ActiveDocument() const;  // null when none
  const std::vector<LoadedFile>& LoadedFiles() const;

  // What a user sets on the model outside the system's calls. Each throws
  // std::invalid_argument, changing nothing, for a document that is not this
  // host's or not of the right kind, a body past the last, or a value a
  // modeller would refuse, saying which.
  // A part's material: every value finite, 0 to 1.
  void SetMaterial(const Document& part, const Material& material);
  // A document's title, as saving it under a file name gives it
  // ("shaft.left.prt"): not empty.
  void SetTitle(const Document& document, const std::string& title);
  // A body of a part (by its place in Document::bodies): a name no other
  // body of the part has, not empty; hidden or shown.
  void RenameBody(const Document& part, size_t body, const std::string& name);
  void SetBodyVisible(const Document& part, size_t body, bool visible);
  // Places a part or a sub-assembly under the assembly's root, with a name
  // no other component there has (not empty), a rigid transform (a rotation
  // to 1e-9, finite) and, if given, a material of its own. An assembly
  // cannot hold itself, even through its sub-assemblies.
  const Component& AddComponent(const Document& assembly, const Document& placed, const std::string& name,
                                const Transform& transform, const Material* material = nullptr);

  // The recorder: on from the start. Off, calls cost nothing to record.
  void SetRecording(bool on);
  // QueryInterface and Release recorded too: off from the start.
  void RecordUnknownCalls(bool on);
  std::vector<Call> Calls() const;
  std::vector<std::string> Operations() const;  // just the op names, in order
  void ClearCalls();

  // Faults: the `nth` call of `op` (1-based, counted from this call on) does
  // nothing and returns `result`, with every out pointer null and every
  // out number 0. E_FAIL or S_FALSE make it fail; S_OK makes it succeed
  // with a null result. With FaultSpan::FromThenOn every call from the nth
  // on does so. `op` may be "IUnknown::QueryInterface". Every fault planted
  // fires: one that would cover a call another planted fault covers is
  // refused. An unknown op name, IUnknown::Release (which cannot fail), an
  // `nth` below 1 or such a clash throws std::invalid_argument.
  void InjectFault(const std::string& op, int nth, HRESULT result, FaultSpan span = FaultSpan::Once);
  // A misreport: the call does its work and hands out its results, then
  // returns `result` (S_FALSE, E_FAIL) in place of S_OK, as a host may that
  // gives a pointer with a failure code. Counted as above.
  void InjectMisreport(const std::string& op, int nth, HRESULT result, FaultSpan span = FaultSpan::Once);
  // The call does nothing, returns `result` and writes none of its outputs:
  // out pointers and numbers keep what the caller put there, as a host may
  // that answers without filling them in. Counted as above.
  void InjectFaultLeavingOutputs(const std::string& op, int nth, HRESULT result,
                                 FaultSpan span = FaultSpan::Once);
  void ClearFaults();

  // Reference accounting over every interface pointer the host handed out
  // (results and QueryInterface). An over-release is a Release on an object
  // that holds no outside reference: counted, and otherwise ignored.
  long HeldReferences() const;
  long OverReleases() const;
  std::string DescribeHeld() const;  // one line per object still held
  // Calls through an object after its last release (other than Release,
  // which counts as an over-release): refused with E_UNEXPECTED and
  // counted. The object is not freed, so the call is safe here, where the
  // real host would have freed it.
  long UseAfterRelease() const;
  // One line per such call (the first 100), naming the call and the object.
  std::string DescribeUseAfterRelease() const;

  // What the host holds, as text for the command line.
  std::string Describe() const;

 private:
  std::unique_ptr<HostState> state_;
};

// Writes the document as an OBJ file, in metres: the vertices and faces of
// its bodies (one object each), and each sketch as an object of its own:
// its lines as `l` elements of two vertices, its points as `p` elements,
// its arcs, circles and splines as `l` elements through points along them
// (64 steps a whole turn, 16 a piece of a spline; a circle's element closes
// back to its first point).
// The file is written beside `path` and renamed onto it, so a failed save
// leaves an existing file alone. False with `error` set when it cannot be
// written.
bool SaveObj(const Document& document, const std::string& path, std::string* error);
// The file SaveObj writes before it renames it onto `path`.
std::string SavingPath(const std::string& path);

// The document as one JSON object, as tessaly-host --json prints it:
// "type", "title", "length_unit", "bodies" (each with "faces" and
// "closed"), and the entities of all its sketches by kind: "sketch_lines",
// "sketch_points", "sketch_arcs", "sketch_circles", "sketch_splines"; an
// assembly's "components", each with "name", "document", "translation"
// (x, y, z in metres) and the "components" of what it places.
std::string DocumentJson(const Document& document);
// `utf8` as a JSON string, quotes included.
std::string JsonString(const std::string& utf8);

const char* LengthUnitName(LONG unit);  // "mm", "cm", "m", "in", "ft", or "?"
const char* PaperName(LONG paperSize);  // "A", ..., "A0", or "custom"

}  // namespace stand_in
