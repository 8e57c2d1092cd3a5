// Documents written as Wavefront OBJ, which any mesh viewer opens.
#include "stand_in/host.h"

#include "sketch_curves.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>

namespace stand_in {
namespace {

class ObjWriter {
 public:
  explicit ObjWriter(std::FILE* file) : file_(file) { buffer_.reserve(kChunk + 256); }

  void Text(const std::string& text) {
    buffer_ += text;
    Spill();
  }
  void Vertex(const Point3& p) {
    buffer_ += 'v';
    Number(p.x);
    Number(p.y);
    Number(p.z);
    buffer_ += '\n';
    Spill();
  }
  // An element ('f' or 'l') of 1-based vertex numbers.
  void Element(char tag, const uint64_t* numbers, int count) {
    buffer_ += tag;
    for (int i = 0; i < count; ++i) {
      buffer_ += ' ';
      buffer_ += std::to_string(numbers[i]);
    }
    buffer_ += '\n';
    Spill();
  }
  // An 'l' element through `count` vertices numbered from `first`, closed
  // back to the first when asked.
  void Chain(uint64_t first, size_t count, bool closed) {
    buffer_ += 'l';
    for (size_t i = 0; i < count; ++i) {
      buffer_ += ' ';
      buffer_ += std::to_string(first + i);
      Spill();
    }
    if (closed) buffer_ += ' ' + std::to_string(first);
    buffer_ += '\n';
    Spill();
  }
  bool Finish() {
    Write();
    return ok_;
  }

 private:
  static constexpr size_t kChunk = 1 << 20;
  void Number(double v) {
    char text[32];
    text[0] = ' ';
    const auto end = std::to_chars(text + 1, text + sizeof text, v).ptr;
    buffer_.append(text, end);
  }
  void Spill() {
    if (buffer_.size() >= kChunk) Write();
  }
  void Write() {
    if (ok_ && !buffer_.empty() && std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) ok_ = false;
    buffer_.clear();
  }

  std::FILE* file_;
  std::string buffer_;
  bool ok_ = true;
};

void WriteDocument(ObjWriter& out, const Document& d) {
  out.Text(std::string("# ") + d.title + ", length unit " + LengthUnitName(d.lengthUnit) + "; coordinates in metres\n");
  uint64_t base = 1;
  for (size_t i = 0; i < d.bodies.size(); ++i) {
    const Body& b = d.bodies[i];
    out.Text(std::string(b.kind == BodyKind::Solid ? "# solid\n" : "# sheet\n") + "o Body" + std::to_string(i + 1) + "\n");
    for (const Point3& p : b.faces.Vertices()) out.Vertex(p);
    for (size_t f = 0; f < b.faces.Count(); ++f) {
      uint64_t n[4];
      const int count = b.faces.CornerCount(f);
      for (int k = 0; k < count; ++k) n[k] = base + b.faces.VertexIndex(f, k);
      out.Element('f', n, count);
    }
    base += b.faces.Vertices().size();
    // Faces of surfaces as their triangles.
    const SurfaceFaces& s = b.surfaceFaces;
    for (const Point3& p : s.points) out.Vertex(p);
    for (size_t i = 0; i + 2 < s.corners.size(); i += 3) {
      const uint64_t n[3] = {base + s.corners[i], base + s.corners[i + 1], base + s.corners[i + 2]};
      out.Element('f', n, 3);
    }
    base += s.points.size();
  }
  size_t sampled = 0;
  const PointSink sample = [&](const Point3& p) {
    out.Vertex(p);
    ++sampled;
  };
  auto curve = [&](bool closed) {
    out.Chain(base, sampled, closed);
    base += sampled;
    sampled = 0;
  };
  for (size_t i = 0; i < d.sketches.size(); ++i) {
    const Sketch& sketch = d.sketches[i];
    const bool sheet = d.kind == DocumentKind::Drawing && i == 0;
    out.Text(sheet ? std::string("o Sheet\n") : "o Sketch" + std::to_string(i + 1) + "\n");
    for (const SketchLine& line : sketch.lines) {
      out.Vertex(line.from);
      out.Vertex(line.to);
      const uint64_t n[2] = {base, base + 1};
      out.Element('l', n, 2);
      base += 2;
    }
    for (const Point3& p : sketch.points) {
      out.Vertex(p);
      out.Element('p', &base, 1);
      ++base;
    }
    for (const SketchArc& arc : sketch.arcs) {
      SampleArc(arc, sample);
      curve(arc.circle);
    }
    for (const SketchSpline& spline : sketch.splines) {
      SampleSpline(spline, sample);
      curve(false);
    }
  }
}

}  // namespace

std::string SavingPath(const std::string& path) { return path + ".saving"; }

bool SaveObj(const Document& document, const std::string& path, std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  if (path.empty()) return fail("no path to save to");
  const std::string partial = SavingPath(path);
  std::FILE* file = std::fopen(partial.c_str(), "wb");
  if (!file) return fail("cannot create '" + partial + "': " + std::strerror(errno));
  bool written;
  try {
    ObjWriter out(file);
    WriteDocument(out, document);
    written = out.Finish();
  } catch (...) {
    std::fclose(file);
    std::remove(partial.c_str());
    throw;
  }
  int cause = written ? 0 : errno;
  if (std::fclose(file) != 0 && written) {
    written = false;
    cause = errno;
  }
  if (!written) {
    std::remove(partial.c_str());
    return fail("cannot write '" + partial + "': " + std::strerror(cause));
  }
  if (std::rename(partial.c_str(), path.c_str()) != 0) {
    const int renameErrno = errno;
    std::remove(partial.c_str());
    return fail("cannot move '" + partial + "' onto '" + path + "': " + std::strerror(renameErrno));
  }
  return true;
}

}  // namespace stand_in
