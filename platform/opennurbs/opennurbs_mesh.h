// Meshes of the openNURBS subset: ON_MeshFace, ON_Mesh and its topology
// (ON_MeshTopology with its vertex, edge and face records).
#pragma once

#include "opennurbs_array.h"
#include "opennurbs_color.h"
#include "opennurbs_geometry.h"
#include "opennurbs_point.h"

// A triangle or quad: indexes into ON_Mesh::m_V. A triangle repeats its last
// index: vi[2] == vi[3].
struct ON_MeshFace {
  int vi[4];

  bool IsTriangle() const { return vi[2] == vi[3]; }
  bool IsQuad() const { return vi[2] != vi[3]; }
  // All indexes in [0, mesh_vertex_count) and the corners distinct (as in
  // openNURBS: vi[0], vi[1], vi[2] pairwise different, and for a quad vi[3]
  // different from vi[0] and vi[1]).
  bool IsValid(int mesh_vertex_count) const;
  // Flips the orientation (a, b, c, d) -> (d, c, b, a); for a triangle
  // (a, b, c, c) -> (c, b, a, a).
  void Flip();
};

class ON_Mesh;

// The mesh vertices that share one location, and the topological edges there.
struct ON_MeshTopologyVertex {
  // Edges at this vertex: m_topei[0..m_tope_count-1], ascending edge index.
  int m_tope_count;
  const int* m_topei;
  // Mesh vertices at this location: m_vi[0..m_v_count-1], ascending mesh
  // vertex index (m_v_count >= 1).
  int m_v_count;
  const int* m_vi;
};

// An edge between two topological vertices, with the faces that use it.
struct ON_MeshTopologyEdge {
  // Topological vertex indexes, m_topvi[0] < m_topvi[1].
  int m_topvi[2];
  // Faces using the edge: m_topfi[0..m_topf_count-1], ascending face index;
  // a face is listed once for each of its sides on the edge (a degenerate
  // face that folds onto the edge is listed twice).
  int m_topf_count;
  const int* m_topfi;
};

// The edges of one mesh face, m_topf[fi] for m_F[fi].
struct ON_MeshTopologyFace {
  // m_topei[k] is the edge of side k: from vi[k] to vi[k+1] for k = 0, 1, 2
  // and from vi[3] to vi[0] for k = 3; a triangle's third side runs from
  // vi[2] to vi[0] and is in both m_topei[2] and m_topei[3]. -1 where the
  // side's two corners share a location (no edge from a vertex to itself)
  // and on every side of a skipped face (one with an index out of range).
  int m_topei[4];
  // m_reve[k] is 1 when side k runs against its edge (from m_topvi[1] to
  // m_topvi[0]), 0 when along it or when m_topei[k] is -1.
  char m_reve[4];

  // As in openNURBS: m_topei[2] == m_topei[3] and m_topei[0] != m_topei[1].
  bool IsTriangle() const { return m_topei[2] == m_topei[3] && m_topei[0] != m_topei[1]; }
  bool IsQuad() const { return m_topei[2] != m_topei[3]; }
};

// The topology of a mesh: which mesh vertices share a location (exact
// equality of the float coordinates; -0 equals +0, and a vertex with a NaN
// coordinate is a location of its own) and the edges between locations.
//
// Orders, all deterministic:
//  - m_topv: by the lowest mesh vertex index at each location (so vertex 0 is
//    at topological vertex 0, and the first new location met walking m_V in
//    order is the next topological vertex);
//  - m_topv_map[vi]: the topological vertex of mesh vertex vi;
//  - ON_MeshTopologyVertex::m_vi: ascending mesh vertex index;
//  - m_tope: ascending (m_topvi[0], m_topvi[1]), with m_topvi[0] < m_topvi[1];
//    an edge shared by several faces is one edge;
//  - ON_MeshTopologyVertex::m_topei: ascending edge index;
//  - ON_MeshTopologyEdge::m_topfi: ascending face index;
//  - m_topf: one per mesh face, in m_F's order.
// A face with an index outside [0, VertexCount()) is skipped: it adds no
// edges and its m_topf record is all -1. The m_topei, m_vi and m_topfi lists
// point into pools owned by this object. Built in O(V log V + F) time (with
// an O(n log n) sort only at a vertex that n face sides leave) and O(V + F)
// memory, each array allocated once at its exact size.
class ON_MeshTopology {
 public:
  ON_MeshTopology() = default;
  ~ON_MeshTopology() = default;
  // Not copyable: the records point into this object's own pools.
  ON_MeshTopology(const ON_MeshTopology&) = delete;
  ON_MeshTopology& operator=(const ON_MeshTopology&) = delete;

  // The mesh this topology describes (null until built).
  const ON_Mesh* m_mesh = nullptr;
  ON_SimpleArray<int> m_topv_map;
  ON_SimpleArray<ON_MeshTopologyVertex> m_topv;
  ON_SimpleArray<ON_MeshTopologyEdge> m_tope;
  ON_SimpleArray<ON_MeshTopologyFace> m_topf;

  int TopVertexCount() const { return m_topv.Count(); }
  int TopEdgeCount() const { return m_tope.Count(); }
  int TopFaceCount() const { return m_topf.Count(); }

  // The index of the edge between two topological vertices (in either
  // order), or -1 when there is none (or an index is out of range, or the two
  // are the same). O(log E).
  int TopEdge(int topv0, int topv1) const;

  // Checks every record against m_mesh and the documented orders, and that
  // every face it describes is a true polygon: no side of a face (other
  // than a skipped one) has both corners at one location. So the topology
  // of a mesh with a degenerate face (two corners at one location) is not
  // valid.
  bool IsValid() const;

  // Builds from m_mesh (replacing what was there). False, with the arrays
  // left empty, when m_mesh is null or the mesh is too large for int counts
  // or memory.
  bool Create();
  // Empties the arrays and frees the memory (m_mesh is kept).
  void Destroy();

 private:
  bool Build();
  ON_SimpleArray<int> m_vi_pool;     // the m_vi lists
  ON_SimpleArray<int> m_topei_pool;  // the vertices' m_topei lists
  ON_SimpleArray<int> m_topfi_pool;  // the edges' m_topfi lists
};

// A mesh of triangles and quads with float vertices.
//
// Its topology is built on the first call of Topology() and cached in the
// mesh. SetVertex, SetTriangle, SetQuad, assignment, Append,
// CombineIdenticalVertices, Transform and Destroy drop the cache; code that
// writes m_V or m_F directly must call DestroyTopology() itself. Topology() is not safe to call from two threads
// at once on the same mesh before the cache is built.
class ON_Mesh : public ON_Geometry {
 public:
  ON_Mesh() = default;
  // Reserves room for the faces and vertices (and vertex normals); texture
  // coordinates are not kept by this subset. Room that cannot be had is
  // not reserved.
  ON_Mesh(int initial_face_array_capacity, int initial_vertex_array_capacity, bool has_vertex_normals,
          bool has_texture_coordinates);
  // Copies the data; the topology is not copied (the copy builds its own).
  ON_Mesh(const ON_Mesh& src);
  ON_Mesh& operator=(const ON_Mesh& src);
  // Takes the data and leaves `src` empty, so that arrays of meshes grow
  // without copying them; neither keeps a topology.
  ON_Mesh(ON_Mesh&& src) noexcept;
  ON_Mesh& operator=(ON_Mesh&& src) noexcept;
  ~ON_Mesh() override;

  ON_3fPointArray m_V;                // vertex locations
  ON_SimpleArray<ON_MeshFace> m_F;    // faces
  ON_3fVectorArray m_N;               // vertex normals (none, or one per vertex)
  ON_3fVectorArray m_FN;              // face normals (none, or one per face)
  // Colours: one per vertex, or whatever the owner keeps there (such as one
  // colour for the whole mesh); nothing here requires a count.
  ON_SimpleArray<ON_Color> m_C;

  int VertexCount() const { return m_V.Count(); }
  int FaceCount() const { return m_F.Count(); }
  int TriangleCount() const;  // faces with vi[2] == vi[3]
  int QuadCount() const;      // faces with vi[2] != vi[3]

  // Sets vertex vi, or appends it when vi == VertexCount(); false otherwise,
  // and when memory runs out.
  bool SetVertex(int vertex_index, const ON_3dPoint& location);
  bool SetVertex(int vertex_index, const ON_3fPoint& location);
  // Sets face fi to the triangle (a, b, c, c) or the quad (a, b, c, d), or
  // appends it when fi == FaceCount(); false otherwise, and when memory runs
  // out. The indexes are not checked (IsValid() does).
  bool SetTriangle(int face_index, int a, int b, int c);
  bool SetQuad(int face_index, int a, int b, int c, int d);

  // Appends the other mesh's vertices and faces (its face indexes moved
  // past this mesh's vertices); a mesh may append itself. Vertex normals,
  // face normals and per-vertex colours are appended when both meshes have
  // one for every vertex (face); otherwise this mesh's normals are dropped,
  // as they would no longer cover every vertex (face), and its colours kept
  // as they are. False, mesh unchanged, when the sum is too large or memory
  // runs out.
  bool Append(const ON_Mesh& mesh);

  // Merges vertices at exactly the same float location (-0 equal to +0; a
  // vertex with a NaN coordinate equals none) and, unless
  // ignore_vertex_normals, with the same normal, and with the same colour
  // where m_C has one per vertex. Each merged vertex keeps the place of its
  // lowest index among the survivors, in the old order; faces are renumbered
  // (and may become degenerate); normals and per-vertex colours follow
  // their vertices. This subset keeps no texture coordinates, so
  // ignore_texture_coordinates changes nothing. True when vertices were
  // merged; false, mesh unchanged, when none were or memory runs out.
  bool CombineIdenticalVertices(bool ignore_vertex_normals = false, bool ignore_texture_coordinates = false);

  int Dimension() const override { return 3; }
  // At least 3 vertices and 1 face, all coordinates finite, every face valid
  // (ON_MeshFace::IsValid), and m_N, m_FN empty or of full length. The
  // colours are not checked. The text log is ignored.
  bool IsValid(ON_TextLog* text_log = nullptr) const override;
  // The box of the vertices.
  bool GetBBox(double* boxmin, double* boxmax, bool grow_box = false) const override;

  // Vertices are transformed in double and stored as float; normals by the
  // cofactor matrix of the linear part (det * inverse transpose), unitised,
  // which keeps them consistent with the right-hand rule of the unchanged
  // face winding (for a mirror as well). Drops the cached topology.
  bool Transform(const ON_Xform& xform) override;

  // The topology, built on first use and cached. When it cannot be built
  // (a mesh too large for int counts or for memory) it is empty, its m_mesh
  // is null and its IsValid() false, and nothing is cached: the next call
  // tries again.
  const ON_MeshTopology& Topology() const;
  void DestroyTopology();

  // Empties everything and frees the memory.
  void Destroy();

 private:
  mutable ON_MeshTopology m_top;
};
