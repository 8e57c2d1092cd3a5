// A body's mesh from faces that give what no honest host gives: degenerate
// triangles, faces whose triangles cannot be read, no faces at all.
#include <gtest/gtest.h>

#include "VLMSWON.h"
#include "fail_each_allocation.h"
#include "mesh_read_back.h"

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

namespace {

struct Triangle {
  float corners[9];
};

// Faces chained by NextFace, each counting its references.
class ListFace final : public IHostFace {
 public:
  std::vector<Triangle> triangles;
  HRESULT countResult = S_OK, dataResult = S_OK, nextResult = S_OK;
  ListFace* next = nullptr;
  long refs = 0;

  STDMETHODIMP QueryInterface(REFIID, void** object) override {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++refs); }
  STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(--refs); }
  STDMETHODIMP TriangleCount(LONG* count) override {
    *count = countResult == S_OK ? static_cast<LONG>(triangles.size()) : 0;
    return countResult;
  }
  STDMETHODIMP TriangleData(LONG option, float* data) override {
    if (option != 0) return E_INVALIDARG;
    if (dataResult != S_OK) return dataResult;
    for (const Triangle& t : triangles) data = std::copy(t.corners, t.corners + 9, data);
    return S_OK;
  }
  STDMETHODIMP NextFace(IHostFace** face) override {
    *face = nullptr;
    if (nextResult != S_OK) return nextResult;
    *face = next;
    if (next) next->AddRef();
    return next ? S_OK : S_FALSE;
  }
};

class ListBody final : public IHostBody {
 public:
  ListFace* first = nullptr;
  HRESULT firstResult = S_OK;
  STDMETHODIMP QueryInterface(REFIID, void** object) override {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 1; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP CreatePlanarFace(LONG, const double*, const double*) override { return E_NOTIMPL; }
  STDMETHODIMP CreateBodyFromSurfaces(IHostBody**) override { return E_NOTIMPL; }
  STDMETHODIMP CreateBSplineSurface(const LONG*, const double*, const double*, const double*,
                                    IHostSurface**) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP CreatePlaneSurface(const double*, const double*, IHostSurface**) override { return E_NOTIMPL; }
  STDMETHODIMP CreateTrimmedSurface(VARIANT_BOOL*) override { return E_NOTIMPL; }
  STDMETHODIMP CreateBoundedSurface(LONG, LONG, const double*) override { return E_NOTIMPL; }
  STDMETHODIMP FirstFace(IHostFace** face) override {
    *face = nullptr;
    if (firstResult != S_OK) return firstResult;
    *face = first;
    if (!first) return E_FAIL;
    first->AddRef();
    return S_OK;
  }
  STDMETHODIMP Name(BSTR* name) override {
    *name = nullptr;
    return E_NOTIMPL;
  }
};

// Faces linked in order, with the triangles given.
struct Faces {
  explicit Faces(std::vector<std::vector<Triangle>> triangles) {
    for (auto& t : triangles) {
      list.push_back(std::make_unique<ListFace>());
      list.back()->triangles = std::move(t);
    }
    for (size_t i = 0; i + 1 < list.size(); ++i) list[i]->next = list[i + 1].get();
    body.first = list.empty() ? nullptr : list.front().get();
  }
  long Held() const {
    long held = 0;
    for (const auto& f : list) held += f->refs;
    return held;
  }
  std::vector<std::unique_ptr<ListFace>> list;
  ListBody body;
};

const Triangle kA{{0, 0, 0, 1, 0, 0, 0, 1, 0}};
const Triangle kB{{1, 0, 0, 1, 1, 0, 0, 1, 0}};  // shares two corners with kA
const Triangle kC{{0, 0, 1, 1, 0, 1, 0, 1, 1}};

TEST(MeshFromBody, TrianglesOfEveryFaceWithSharedCornersMerged) {
  Faces faces({{kA, kB}, {kC}});
  ON_Mesh mesh;
  ASSERT_EQ(VLMSWON::GetMeshFromBody(&faces.body, mesh), 1);
  EXPECT_EQ(mesh.m_V.Count(), 7);  // 4 of the first face's square, 3 of the second
  ASSERT_EQ(mesh.m_F.Count(), 3);
  for (int i = 0; i < mesh.m_F.Count(); ++i) EXPECT_EQ(mesh.m_F[i].vi[2], mesh.m_F[i].vi[3]);
  EXPECT_EQ(mesh.m_N.Count(), 0);
  EXPECT_EQ(mesh.m_C.Count(), 0);
  EXPECT_TRUE(mesh.IsValid());
  EXPECT_EQ(faces.Held(), 0);
}

TEST(MeshFromBody, ADegenerateTriangleIsDroppedAndTheRestKept) {
  const Triangle degenerate{{2, 2, 2, 2, 2, 2, 3, 3, 3}};
  Faces faces({{kA, degenerate, kB}});
  ON_Mesh mesh;
  ASSERT_EQ(VLMSWON::GetMeshFromBody(&faces.body, mesh), 1);
  EXPECT_EQ(mesh.m_F.Count(), 2);
  EXPECT_EQ(mesh.m_V.Count(), 4);
}

TEST(MeshFromBody, AFaceThatCannotBeReadContributesNothing) {
  for (bool countFails : {true, false}) {
    Faces faces({{kA}, {kB}, {kC}});
    (countFails ? faces.list[1]->countResult : faces.list[1]->dataResult) = E_FAIL;
    ON_Mesh mesh;
    ASSERT_EQ(VLMSWON::GetMeshFromBody(&faces.body, mesh), 1);
    EXPECT_EQ(mesh.m_F.Count(), 2);
    EXPECT_EQ(faces.Held(), 0);
  }
}

TEST(MeshFromBody, NoTriangleOrNoFaceLeavesTheMeshAndSaysWhy) {
  ON_Mesh mesh;
  {
    Faces faces({{kC}});
    ASSERT_EQ(VLMSWON::GetMeshFromBody(&faces.body, mesh), 1);
  }
  Faces empty({{}, {}});
  EXPECT_EQ(VLMSWON::GetMeshFromBody(&empty.body, mesh), 0);
  EXPECT_EQ(VLMSWON::GetError(), L"[VLMSWON::GetMeshFromBody] Invalid mesh");
  EXPECT_EQ(mesh.m_F.Count(), 1);
  EXPECT_EQ(empty.Held(), 0);

  Faces none({});
  EXPECT_EQ(VLMSWON::GetMeshFromBody(&none.body, mesh), 0);
  EXPECT_EQ(VLMSWON::GetError(), L"Unable to get first face of body");
  EXPECT_EQ(mesh.m_F.Count(), 1);
}

TEST(AppendTriangle, CornersEqualInSinglePrecisionAreRefused) {
  ON_Mesh mesh;
  EXPECT_EQ(AppendTriangle(mesh, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}), 1);
  EXPECT_EQ(AppendTriangle(mesh, {1, 0, 0}, {1 + 1e-12, 0, 0}, {0, 1, 0}), 0);  // equal as floats
  EXPECT_EQ(AppendTriangle(mesh, {0, 0, 0}, {1, 0, 0}, {0, 0, 0}), 0);
  EXPECT_EQ(mesh.m_F.Count(), 1);
  EXPECT_EQ(mesh.m_V.Count(), 3);
}

// The read keeps and refuses exactly the triangles AppendTriangle does: every
// triple of corners drawn from points equal in single precision or not,
// with -0, NaN, infinities and the smallest float among them.
TEST(AppendTriangle, TheReadsTestAcceptsAndRefusesTheSameTriangles) {
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  const float tiny = std::numeric_limits<float>::denorm_min();
  const ON_3fPoint points[] = {{0, 0, 0},   {-0.0f, 0, -0.0f}, {1, 0, 0},    {0, 1, 0},   {0, 0, 1},
                               {tiny, 0, 0}, {nan, 0, 0},       {0, nan, 0}, {inf, 0, 0}, {-inf, 0, 0},
                               {inf, inf, inf}};
  int kept = 0, refused = 0;
  for (const ON_3fPoint& a : points)
    for (const ON_3fPoint& b : points)
      for (const ON_3fPoint& c : points) {
        ON_Mesh mesh;
        const int appended = AppendTriangle(mesh, ON_3dPoint(a), ON_3dPoint(b), ON_3dPoint(c));
        EXPECT_EQ(bridge::IsProperTriangle(a, b, c), appended == 1)
            << "(" << a.x << " " << a.y << " " << a.z << ") (" << b.x << " " << b.y << " " << b.z << ") (" << c.x
            << " " << c.y << " " << c.z << ")";
        EXPECT_EQ(mesh.FaceCount(), appended);
        (appended ? kept : refused) += 1;
      }
  EXPECT_GT(kept, 0);
  EXPECT_GT(refused, 0);
}

// A host out of memory at any call of the body's read fails the read: no
// face goes missing for it. The mesh is kept and every face let go.
TEST(MeshFromBody, AHostOutOfMemoryFailsTheRead) {
  enum Where { kFirstFace, kCount, kData, kNext };
  for (Where where : {kFirstFace, kCount, kData, kNext}) {
    SCOPED_TRACE(where);
    Faces faces({{kA}, {kB}, {kC}});
    if (where == kFirstFace) faces.body.firstResult = E_OUTOFMEMORY;
    if (where == kCount) faces.list[1]->countResult = E_OUTOFMEMORY;
    if (where == kData) faces.list[1]->dataResult = E_OUTOFMEMORY;
    if (where == kNext) faces.list[1]->nextResult = E_OUTOFMEMORY;
    Faces before({{kC}});
    ON_Mesh mesh;
    ASSERT_EQ(VLMSWON::GetMeshFromBody(&before.body, mesh), 1);
    EXPECT_EQ(VLMSWON::GetMeshFromBody(&faces.body, mesh), 0);
    EXPECT_EQ(VLMSWON::GetError(), L"Out of memory while reading the meshes of a document");
    EXPECT_EQ(mesh.m_F.Count(), 1);
    EXPECT_EQ(faces.Held(), 0);
  }
}

// Running out of memory anywhere in the read: either the whole mesh, or 0
// with the text and the mesh as it was. Faces that share corners (merged)
// and faces that share none (nothing to merge) both.
TEST(MeshFromBodyMemory, EachAllocationFailingGivesTheWholeMeshOrAFailure) {
  if (!test_support::AllocationLimit::Available()) GTEST_SKIP() << "no allocation hook under AddressSanitizer";
  const Triangle kD{{5, 5, 5, 6, 5, 5, 5, 6, 5}};
  for (bool shared : {true, false}) {
    SCOPED_TRACE(shared ? "shared corners" : "no shared corner");
    Faces faces(shared ? std::vector<std::vector<Triangle>>{{kA, kB}, {kC}}
                       : std::vector<std::vector<Triangle>>{{kA}, {kD}});
    ON_Mesh whole;
    ASSERT_EQ(VLMSWON::GetMeshFromBody(&faces.body, whole), 1);
    ON_Mesh before;  // what the caller had
    ASSERT_EQ(AppendTriangle(before, {7, 7, 7}, {8, 7, 7}, {7, 8, 7}), 1);
    ON_Mesh mesh;
    int failed = 0;
    const long long allocations = test_support::FailEachAllocation(
        [&] { mesh = before; }, [&] { return VLMSWON::GetMeshFromBody(&faces.body, mesh); },
        [&](int result, long long n) {
          SCOPED_TRACE(::testing::Message() << "allocation " << n);
          EXPECT_EQ(faces.Held(), 0);
          if (result == 1) {
            ASSERT_EQ(mesh.VertexCount(), whole.VertexCount());
            ASSERT_EQ(mesh.FaceCount(), whole.FaceCount());
            for (int v = 0; v < whole.VertexCount(); ++v) EXPECT_EQ(mesh.m_V[v], whole.m_V[v]);
            return;
          }
          ++failed;
          EXPECT_EQ(result, 0);
          EXPECT_EQ(VLMSWON::GetError(), L"Out of memory while reading the meshes of a document");
          EXPECT_EQ(mesh.VertexCount(), 3);
          EXPECT_EQ(mesh.FaceCount(), 1);
        });
    EXPECT_GT(allocations, 0);
    EXPECT_GT(failed, 0);
  }
}

}  // namespace
