// The read side of sketches: IHostSketch records of every kind, written
// exactly into the room their counts promised, and a document's sketches as
// a list to walk.
#include "sketch_fixture.h"

#include <cmath>

using namespace stand_in;  // the record kinds

namespace {

const double kPi = 3.141592653589793;
const double kGuard = -12345.5;  // in the room past what a count promised

// Room for `size` doubles and a few more, the rest filled with kGuard.
std::vector<double> Room(LONG size) { return std::vector<double>(static_cast<size_t>(size) + 4, kGuard); }

void ExpectGuarded(const std::vector<double>& room, LONG size) {
  for (size_t i = static_cast<size_t>(size); i < room.size(); ++i) EXPECT_EQ(room[i], kGuard) << "written at " << i;
}

std::vector<double> Slice(const std::vector<double>& v, size_t at, size_t n) {
  return std::vector<double>(v.begin() + static_cast<std::ptrdiff_t>(at),
                             v.begin() + static_cast<std::ptrdiff_t>(at + n));
}

}  // namespace

class SketchReadTest : public SketchTest {
 protected:
  // Two lines, an arc and a circle, a spline through points, a NURBS
  // spline and a point; then a second sketch, open and empty.
  void SetUp() override {
    SketchTest::SetUp();
    CComPtr<IUnknown> out;
    auto made = [&](HRESULT hr) {
      EXPECT_EQ(hr, S_OK) << host.Calls().back().error;
      out.Release();
    };
    made(doc->CreateSketchLine(0, 0, 0, 3, 4, 0, &out));
    made(doc->CreateSketchArc(0, 0, 1, 2, 0, 1, 0, -2, 1, -1, &out));
    made(doc->CreateSketchLine(1, 1, 1, 1, 1, -1, &out));
    made(doc->CreateSketchCircle(1, 2, 3, 0.5, &out));
    const double through[9] = {0, 0, 0, 1, 1, 0, 2, 0, 0};
    made(doc->CreateSketchSplineByPoints(3, through, &out));
    const LONG props[4] = {3, 3, 4, 0};
    const double knots[7] = {0, 0, 0, 1, 2, 2, 2}, cps[12] = {0, 0, 0, 1, 1, 0, 2, -1, 0, 3, 0, 0};
    made(doc->CreateSketchSplineByNurbs(props, knots, cps, &out));
    made(doc->CreateSketchPoint(9, 9, 9, &out));
    ASSERT_EQ(doc->Toggle3DSketch(0), S_OK);
    ASSERT_EQ(doc->Toggle3DSketch(0), S_OK);
    ASSERT_EQ(doc->GetSketch(0, &first), S_OK);
    ASSERT_TRUE(first);
  }
  void TearDown() override {
    first.Release();
    EXPECT_EQ(host.HeldReferences(), 2) << host.DescribeHeld();  // the part and the document
    EXPECT_EQ(host.OverReleases(), 0);
    SketchTest::TearDown();
  }
  CComPtr<IHostSketch> first;
};

TEST_F(SketchReadTest, LinesAsTwelveDoubles) {
  LONG count = -1;
  ASSERT_EQ(first->LineCount(&count), S_OK);
  ASSERT_EQ(count, 2);
  std::vector<double> room = Room(12 * count);
  ASSERT_EQ(first->LineData(room.data()), S_OK);
  EXPECT_EQ(Slice(room, 0, 12), (std::vector<double>{kSketchRecordLine, 0, 5, 0.6, 0.8, 0, 0, 0, 0, 3, 4, 0}));
  EXPECT_EQ(Slice(room, 12, 12), (std::vector<double>{kSketchRecordLine, 1, 2, 0, 0, -1, 1, 1, 1, 1, 1, -1}));
  ExpectGuarded(room, 12 * count);
}

// Arcs and circles in the order made; a circle starts and ends at angle 0.
TEST_F(SketchReadTest, ArcsAndCirclesAsSixteenDoubles) {
  LONG count = -1;
  ASSERT_EQ(first->ArcCount(&count), S_OK);
  ASSERT_EQ(count, 2);
  std::vector<double> room = Room(16 * count);
  ASSERT_EQ(first->ArcData(room.data()), S_OK);
  // A quarter turn clockwise from angle 0, radius 2.
  EXPECT_EQ(Slice(room, 0, 3), (std::vector<double>{kSketchRecordArc, 0, 2}));
  EXPECT_EQ(room[3], 0);
  EXPECT_NEAR(room[4], kPi / 2, 1e-15);
  EXPECT_NEAR(room[5], kPi, 1e-15);
  EXPECT_EQ(Slice(room, 6, 10), (std::vector<double>{2, 0, 1, 0, -2, 1, 0, 0, 1, -1}));
  EXPECT_EQ(Slice(room, 16, 4), (std::vector<double>{kSketchRecordCircle, 1, 0.5, 0}));
  EXPECT_NEAR(room[20], 2 * kPi, 1e-15);
  EXPECT_NEAR(room[21], kPi, 1e-15);
  EXPECT_EQ(Slice(room, 22, 10), (std::vector<double>{1.5, 2, 3, 1.5, 2, 3, 1, 2, 3, 1}));
  ExpectGuarded(room, 16 * count);
}

// A spline through points gives its points; a NURBS spline its control
// points, with its order and knot count in the values not read.
TEST_F(SketchReadTest, SplinesAsTheirPoints) {
  LONG size = -1, count = -1;
  ASSERT_EQ(first->SplineDataSize(&size, &count), S_OK);
  ASSERT_EQ(count, 2);
  ASSERT_EQ(size, (7 + 9) + (7 + 12));
  std::vector<double> room = Room(size);
  ASSERT_EQ(first->SplineData(room.data()), S_OK);
  EXPECT_EQ(Slice(room, 0, 16),
            (std::vector<double>{kSketchRecordSplineThroughPoints, 0, 0, 0, 0, 0, 3, 0, 0, 0, 1, 1, 0, 2, 0, 0}));
  EXPECT_EQ(Slice(room, 16, 19), (std::vector<double>{kSketchRecordNurbsSpline, 1, 3, 0, 7, 0, 4, 0, 0, 0, 1, 1, 0,
                                                      2, -1, 0, 3, 0, 0}));
  ExpectGuarded(room, size);
}

TEST_F(SketchReadTest, TheHostHasNoPolylines) {
  LONG size = -1, count = -1;
  ASSERT_EQ(first->PolylineDataSize(&size, &count), S_OK);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(count, 0);
  std::vector<double> room = Room(0);
  EXPECT_EQ(first->PolylineData(room.data()), S_OK);
  ExpectGuarded(room, 0);
}

// A data call writes the records its count call promised on this object:
// none before a count, none after a failed count, and no more for entities
// drawn since.
TEST_F(SketchReadTest, DataCallsWriteOnlyWhatACountPromised) {
  std::vector<double> room = Room(64);
  std::fill(room.begin(), room.end(), kGuard);
  EXPECT_EQ(first->LineData(room.data()), E_FAIL);
  EXPECT_EQ(host.Calls().back().error,
            "LineCount has answered nothing on this sketch object, so the host knows no room to write into");
  EXPECT_EQ(first->ArcData(room.data()), E_FAIL);
  EXPECT_EQ(first->SplineData(room.data()), E_FAIL);
  EXPECT_EQ(first->PolylineData(room.data()), E_FAIL);
  ExpectGuarded(room, 0);

  // Over the open sketch: lines drawn after the count stay unwritten.
  CComPtr<IHostSketch> second;
  ASSERT_EQ(doc->GetSketch(1, &second), S_OK);
  ASSERT_TRUE(second);
  LONG count = -1;
  ASSERT_EQ(second->LineCount(&count), S_OK);
  ASSERT_EQ(count, 0);
  CComPtr<IUnknown> line;
  ASSERT_EQ(doc->CreateSketchLine(0, 0, 0, 1, 0, 0, &line), S_OK);
  line.Release();
  EXPECT_EQ(second->LineData(room.data()), S_OK);
  ExpectGuarded(room, 0);
  CComPtr<IHostSketch> third;
  ASSERT_EQ(doc->GetSketch(1, &third), S_OK);
  ASSERT_EQ(third->LineCount(&count), S_OK);
  ASSERT_EQ(count, 1);
  ASSERT_EQ(doc->CreateSketchLine(0, 0, 0, 2, 0, 0, &line), S_OK);
  EXPECT_EQ(third->LineData(room.data()), S_OK);
  EXPECT_EQ(room[9], 1);
  ExpectGuarded(room, 12);

  // A failed count answers nothing, whatever it answered before.
  host.InjectFault("IHostSketch::LineCount", 1, E_FAIL);
  count = -1;
  EXPECT_EQ(third->LineCount(&count), E_FAIL);
  EXPECT_EQ(count, 0);
  std::fill(room.begin(), room.end(), kGuard);
  EXPECT_EQ(third->LineData(room.data()), E_FAIL);
  host.InjectFaultLeavingOutputs("IHostSketch::SplineDataSize", 1, E_FAIL);
  LONG size = 99;
  count = 99;
  EXPECT_EQ(first->SplineDataSize(&size, &count), E_FAIL);
  EXPECT_EQ(size, 99);
  EXPECT_EQ(first->SplineData(room.data()), E_FAIL);
  ExpectGuarded(room, 0);
}

TEST_F(SketchReadTest, NullPointersAndFaults) {
  LONG n = 0;
  EXPECT_EQ(first->LineCount(nullptr), E_POINTER);
  EXPECT_EQ(first->ArcCount(nullptr), E_POINTER);
  EXPECT_EQ(first->SplineDataSize(nullptr, &n), E_POINTER);
  EXPECT_EQ(first->SplineDataSize(&n, nullptr), E_POINTER);
  EXPECT_EQ(first->PolylineDataSize(&n, nullptr), E_POINTER);
  ASSERT_EQ(first->ArcCount(&n), S_OK);
  EXPECT_EQ(first->ArcData(nullptr), E_POINTER);

  host.InjectFault("IHostSketch::ArcData", 1, E_FAIL);
  std::vector<double> room = Room(16 * n);
  EXPECT_EQ(first->ArcData(room.data()), E_FAIL);
  ExpectGuarded(room, 0);
  host.InjectMisreport("IHostSketch::ArcData", 1, S_FALSE);
  EXPECT_EQ(first->ArcData(room.data()), S_FALSE);
  EXPECT_EQ(room[6], 2) << "misreported, but written";
}

TEST_F(SketchReadTest, GetSketchGivesEachSketchAndNullPastTheLast) {
  IHostSketch* none = first;  // the host must set it to null
  EXPECT_EQ(doc->GetSketch(2, &none), S_FALSE);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(host.Calls().back().error, "Part1 has 2 sketches");
  EXPECT_EQ(doc->GetSketch(-1, &none), E_INVALIDARG);
  EXPECT_EQ(doc->GetSketch(0, nullptr), E_POINTER);
  CComPtr<IHostSketch> again;
  ASSERT_EQ(doc->GetSketch(0, &again), S_OK);
  EXPECT_EQ(host.Calls().back().args, "0");
  LONG count = 0;
  ASSERT_EQ(again->ArcCount(&count), S_OK);
  EXPECT_EQ(count, 2);
  host.InjectFault("IHostDocument::GetSketch", 1, S_OK);
  CComPtr<IHostSketch> faulted;
  EXPECT_EQ(doc->GetSketch(0, &faulted), S_OK);
  EXPECT_FALSE(faulted);
}

// The walk the read side makes over a document's sketches: each item's
// attached object is its sketch, whose inner object counts its entities.
TEST_F(SketchReadTest, TheDocumentListsItsSketches) {
  first.Release();
  const long base = host.HeldReferences();
  CComPtr<IHostListOwner> owner;
  ASSERT_EQ(doc.QueryInterface(&owner), S_OK);
  CComPtr<IUnknown> a, b;
  ASSERT_EQ(owner.QueryInterface(&a), S_OK);
  ASSERT_EQ(doc.QueryInterface(&b), S_OK);
  EXPECT_EQ(a, b) << "one identity through both roles";
  a.Release();
  b.Release();
  host.ClearCalls();

  std::vector<LONG> counts;
  std::vector<LONG> arcs;
  CComPtr<IHostListItem> item;
  ASSERT_EQ(owner->FirstItem(&item), S_OK);
  while (item) {
    CComPtr<IHostAttachedObject> attached;
    ASSERT_EQ(item->AttachedObject(&attached), S_OK);
    CComPtr<IHostInnerObject> inner;
    ASSERT_EQ(attached->InnerObject(&inner), S_OK);
    LONG count = 0;
    ASSERT_EQ(inner->ItemCount(&count), S_OK);
    counts.push_back(count);
    if (count > 0) {
      CComPtr<IUnknown> extra;
      ASSERT_EQ(item->ExtraObject(&extra), S_OK);
      EXPECT_TRUE(extra);
    }
    CComPtr<IHostSketch> sketch;
    ASSERT_EQ(attached.QueryInterface(&sketch), S_OK);
    LONG n = -1;
    ASSERT_EQ(sketch->ArcCount(&n), S_OK);
    arcs.push_back(n);
    CComPtr<IHostListItem> next;
    item->NextItem(&next);
    item = next;
  }
  EXPECT_EQ(counts, (std::vector<LONG>{7, 0}));
  EXPECT_EQ(arcs, (std::vector<LONG>{2, 0}));
  EXPECT_EQ(host.Calls().back().op, "IHostListItem::NextItem");
  EXPECT_EQ(host.Calls().back().result, S_FALSE);
  EXPECT_EQ(host.HeldReferences(), base + 1) << host.DescribeHeld();  // the owner
}

TEST_F(DrawingTest, TheSheetIsTheDrawingsOneSketch) {
  CComPtr<IUnknown> out;
  ASSERT_EQ(doc->CreateSketchCircle(0, 0, 0, 2, &out), S_OK);
  out.Release();
  CComPtr<IHostSketch> sheet;
  ASSERT_EQ(doc->GetSketch(0, &sheet), S_OK);
  LONG count = 0;
  ASSERT_EQ(sheet->ArcCount(&count), S_OK);
  EXPECT_EQ(count, 1);
  CComPtr<IHostSketch> none;
  EXPECT_EQ(doc->GetSketch(1, &none), S_FALSE);
  EXPECT_FALSE(none);

  CComPtr<IHostListOwner> owner;
  ASSERT_EQ(doc.QueryInterface(&owner), S_OK);
  CComPtr<IHostListItem> item, next;
  ASSERT_EQ(owner->FirstItem(&item), S_OK);
  ASSERT_EQ(item->NextItem(&next), S_FALSE);
  EXPECT_FALSE(next);
  bool named = false;
  for (const auto& object : state.objects)
    if (object->Outside() > 0 && object->Label() == "list item of Drawing1 sheet") named = true;
  EXPECT_TRUE(named);
}

TEST_F(HostTest, AnEmptyListIsOneCall) {
  OpenPart();
  CComPtr<IHostListOwner> owner;
  ASSERT_EQ(part.QueryInterface(&owner), S_OK);
  host.ClearCalls();
  IHostListItem* item = reinterpret_cast<IHostListItem*>(&host);  // the host must set it to null
  EXPECT_EQ(owner->FirstItem(&item), S_FALSE);
  EXPECT_EQ(item, nullptr);
  EXPECT_EQ(host.Operations(), std::vector<std::string>{"IHostListOwner::FirstItem"});
}
