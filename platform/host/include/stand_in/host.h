// The stand-in CAD host: the model it keeps, the record of the calls made on
// it, the faults a test plants in it, and the count of the references it
// handed out. Tests and the command line drive it through this header; the
// system sees only the IHost* interfaces of HostApi.h.
#pragma once

#include <HostApi.h>

#include <cstdint>
#include <deque>
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
  // True when every edge is shared by exactly two faces.
  bool IsClosed() const;

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

struct Body {
  BodyKind kind = BodyKind::Collector;
  FaceSet faces;
};

struct SketchLine {
  Point3 from, to;
};

struct Sketch {
  std::vector<SketchLine> lines;
  bool open = true;
};

enum class DocumentKind {
  Part,
};

struct Document {
  DocumentKind kind = DocumentKind::Part;
  std::string title;  // "Part1", "Part2", ... in creation order
  LONG lengthUnit = hostMM;
  bool active = false;
  std::vector<Sketch> sketches;  // one per open/close pair of Toggle3DSketch
  std::deque<Body> collectors;   // from IHostPartDocument::NewBody
  std::deque<Body> bodies;       // the part's bodies, sewn from a collector
};

// A file IHostApplication::LoadFile loaded: its path as the caller gave it
// and its size in bytes. The host does not interpret the content.
struct LoadedFile {
  std::wstring path;
  uint64_t size = 0;
};

// One call on a host interface (IUnknown calls are not recorded). `args`
// are the input arguments as text: numbers in shortest round-trip form,
// texts in double quotes, arrays in brackets, "null" for a null pointer.
// `error` says why the host refused the call, when it did.
struct Call {
  std::string op;  // "IHostDocument::SetLengthUnit"
  std::string args;
  HRESULT result = S_OK;
  std::string error;
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

  // The model.
  const std::deque<Document>& Documents() const;
  const Document* ActiveDocument() const;  // null when none
  const std::vector<LoadedFile>& LoadedFiles() const;

  // The recorder: on from the start. Off, calls cost nothing to record.
  void SetRecording(bool on);
  std::vector<Call> Calls() const;
  std::vector<std::string> Operations() const;  // just the op names, in order
  void ClearCalls();

  // Faults: the `nth` call of `op` (1-based, counted from this call on) does
  // nothing and returns `result`, with every out pointer null and every
  // out number 0. E_FAIL or S_FALSE make it fail; S_OK makes it succeed
  // with a null result. Each fault fires once. An unknown op name or an
  // `nth` below 1 throws std::invalid_argument.
  void InjectFault(const std::string& op, int nth, HRESULT result);
  // A misreport: the `nth` call of `op` does its work and hands out its
  // results, then returns `result` (S_FALSE, E_FAIL) in place of S_OK, as a
  // host may that gives a pointer with a failure code. Counted as above.
  void InjectMisreport(const std::string& op, int nth, HRESULT result);
  void ClearFaults();

  // Reference accounting over every interface pointer the host handed out
  // (results and QueryInterface). An over-release is a Release on an object
  // that holds no outside reference: counted, and otherwise ignored.
  long HeldReferences() const;
  long OverReleases() const;
  std::string DescribeHeld() const;  // one line per object still held

  // What the host holds, as text for the command line.
  std::string Describe() const;

 private:
  std::unique_ptr<HostState> state_;
};

// Writes the document as an OBJ file: the vertices and faces of its bodies
// (one object each) and its sketch lines as `l` elements, in metres. The
// file is written beside `path` and renamed onto it, so a failed save leaves
// an existing file alone. False with `error` set when it cannot be written.
bool SaveObj(const Document& document, const std::string& path, std::string* error);

const char* LengthUnitName(LONG unit);  // "mm", "cm", "m", "in", "ft", or "?"

}  // namespace stand_in
