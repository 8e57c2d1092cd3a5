// What a read costs and what it says: only the main chunk is read, however
// much follows it; object names in texts are decoded as their exporter wrote
// them; and running out of memory anywhere in a read leaves nothing behind.
#include "ombra_fixture.h"

#include "alloc_limit.h"
#include "stand_in/text.h"
#include "stand_in/three_ds.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <utility>

using test_support::AllocationLimit;
using three_ds::Chunk;
using three_ds::Mesh;

namespace {

const Mesh kTri{"Tri", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}};

class OmbraHardening : public OmbraTest {};

// Sparse padding: the file is long, its blocks are not on disk.
void Pad(const std::string& native_path, off_t size) {
  const int fd = ::open(native_path.c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(::ftruncate(fd, size), 0);
  ::close(fd);
}

TEST_F(OmbraHardening, OnlyTheMainChunkIsReadHoweverMuchFollowsIt) {
  const std::vector<std::uint8_t> bytes = three_ds::FileOf({kTri});
  const CString path = Put("padded.3ds", bytes);
  constexpr off_t kGigabyte = off_t{1} << 30;
  Pad(Folder() + "/padded.3ds", kGigabyte);
  // Reading the padding would take a gigabyte; the file's content needs
  // far less than this budget.
  AllocationLimit limit(AllocationLimit::Budget(1 << 20));
  const ReadResult result = Read(path);
  limit.End();
  if (!AllocationLimit::Available()) std::puts("no allocation hook in this build: the budget is not enforced");
  EXPECT_NE(result.read, 0) << result.error.GetString();
  EXPECT_EQ(result.error, CString());
  ExpectMeshes(result, {kTri});
}

TEST_F(OmbraHardening, AMainChunkClaimingMoreThanTheFileHoldsIsRefusedBeforeReading) {
  std::vector<std::uint8_t> bytes = three_ds::FileOf({kTri});
  const std::uint32_t claim = 0x7FFFFFF0;
  for (int i = 0; i < 4; ++i) bytes[2 + i] = static_cast<std::uint8_t>(claim >> (8 * i));
  const CString path = Put("claims.3ds", bytes);
  AllocationLimit limit(AllocationLimit::Budget(1 << 20));
  const ReadResult result = Read(path);
  limit.End();
  EXPECT_EQ(result.read, 0);
  CString what;
  what.Format(L"the file is truncated: the main chunk 0x4D4D at offset 0 claims %u bytes, but the file has only %u.",
              claim, unsigned(bytes.size()));
  EXPECT_EQ(result.error, Prefix(path) + what);
  ExpectCallersMeshKept(result);
}

TEST_F(OmbraHardening, ObjectNamesAreUtf8WhereValidElseWindows1252) {
  struct Case {
    const char* what;
    std::string name;  // the bytes in the file
    const wchar_t* shown;
  } cases[] = {
      {"UTF-8", "Stuhl gr\xC3\xB6\xC3\x9F" "er", L"Stuhl gr\u00F6\u00DFer"},
      {"UTF-8, three bytes", "\xE6\xA4\x85\xE5\xAD\x90", L"\u6905\u5B50"},
      {"UTF-8, four bytes", "\xF0\x9F\xAA\x91", L"\U0001FA91"},
      {"Windows-1252", "Gr\xF6\xDF" "e \x80 \x93x\x94", L"Gr\u00F6\u00DFe \u20AC \u201Cx\u201D"},
      {"a lone lead byte", "Caf\xC3", L"Caf\u00C3"},
      {"an overlong form is not UTF-8", "\xC0\xAF", L"\u00C0\u00AF"},
      {"a surrogate is not UTF-8", "\xED\xA0\x80", L"\u00ED\u00A0\u20AC"},
      {"beyond U+10FFFF is not UTF-8", "\xF4\x90\x80\x80", L"\u00F4?\u20AC\u20AC"},
      {"bytes Windows-1252 leaves undefined", "a\x81" "b\x9D\xE9", L"a?b?\u00E9"},
      {"controls, in either", "\x01" "a\x7F\xC2\x85", L"?a??"},
      {"40 characters shown, not 40 bytes", std::string(45 * 2, '\0'), nullptr},
  };
  std::string long_name;
  for (int i = 0; i < 45; ++i) long_name += "\xC3\xA4";
  cases[10].name = long_name;
  std::wstring long_shown(40, L'\u00E4');
  long_shown += L"...";
  cases[10].shown = long_shown.c_str();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Chunk object = Chunk(three_ds::kObject)
                             .Name(c.name)
                             .Add(Chunk(three_ds::kTriMesh)
                                      .Add(three_ds::VertexList(kTri.vertices))
                                      .Add(three_ds::FaceList({{0, 1, 9}})));
    const CString path = Put("named.3ds", three_ds::File({object}).Bytes());
    const ReadResult result = Read(path);
    EXPECT_EQ(result.read, 0);
    const CString expected = Prefix(path) + L"object \"" + c.shown + L"\": face 0 of the face list";
    EXPECT_EQ(result.error.Find(expected), 0) << "expected " << stand_in::ToUtf8(expected.str());
    ExpectCallersMeshKept(result);
  }
}

// A file of four meshes; each allocation of a read is made to fail in turn.
TEST_F(OmbraHardening, AnAllocationFailingAnywhereLeavesTheCallersArrayAsItWas) {
  const std::vector<Mesh> meshes = {
      kTri,
      {"Quad", {{0, 0, 5}, {2, 0, 5}, {2, 3, 5}, {0, 3, 5}}, {{0, 1, 2}, {2, 3, 0}}},
      {"Fan", {{0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}, {-1, 1, 1}}, {{0, 1, 2}, {0, 2, 3}, {0, 3, 4}}},
      {"Last", {{9, 9, 9}, {8, 9, 9}, {9, 8, 9}}, {{2, 1, 0}}},
  };
  if (!AllocationLimit::Available()) GTEST_SKIP() << "no allocation hook in this build";
  const CString path = Put("four.3ds", three_ds::FileOf(meshes));
  long long total = 0;
  {
    ReadResult result;
    result.meshes.Append(ON_Mesh());
    CString argument = path;
    AllocationLimit count;
    result.read = Ombra3DS::_3DSToMesh(std::move(argument), result.meshes);
    total = count.Allocations();
    count.End();
    ASSERT_NE(result.read, 0);
    ASSERT_EQ(result.meshes.Count(), 5);
  }
  ASSERT_GT(total, 8);  // the file, the mesh list and two arrays a mesh at least

  int halfway = 0;  // failures met after some meshes were built
  for (const bool rest_fail_too : {false, true}) {
    for (long long n = 1; n <= total; ++n) {
      SCOPED_TRACE("allocation " + std::to_string(n) + (rest_fail_too ? " and all after it" : " alone") + " fails");
      ReadResult result;
      result.meshes.Reserve(8);  // the caller's, made before the cap
      {
        ReadResult& r = result;
        ON_Mesh& callers = r.meshes.AppendNew();
        callers.m_V.Append(ON_3fPoint(7, 8, 9));
        ON_MeshFace face;
        face.vi[0] = face.vi[1] = face.vi[2] = face.vi[3] = 0;
        callers.m_F.Append(face);
        CString argument = path;  // moved in, so the caller's copy is made before the cap
        AllocationLimit limit(rest_fail_too ? AllocationLimit::FailFrom(n) : AllocationLimit::FailOnly(n));
        r.read = Ombra3DS::_3DSToMesh(std::move(argument), r.meshes);
        limit.End();
        r.error = Ombra3DS::GetError();
      }
      if (result.read) {
        // A failure the reader could absorb: the read is still whole.
        ExpectMeshes(result, meshes);
        continue;
      }
      EXPECT_EQ(result.meshes.Count(), 1);
      ExpectCallersMeshKept(result);
      if (!rest_fail_too) {
        EXPECT_EQ(result.error.Find(Prefix(path)), 0) << result.error.GetString();
        EXPECT_NE(result.error.Find(L"not enough memory"), -1) << result.error.GetString();
        if (result.error.Find(L"for its 4 meshes") != -1) ++halfway;
      }
    }
  }
  // At least one failure per mesh built is among them.
  EXPECT_GE(halfway, 4);
  // Nothing stays broken once memory comes back.
  ExpectMeshes(Read(path), meshes);
}

}  // namespace
