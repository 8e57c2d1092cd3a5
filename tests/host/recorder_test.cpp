// The recorder, planted faults and reference accounting.
#include "fixture.h"

#include <stdexcept>
#include <string>

using stand_in::Call;

TEST_F(HostTest, RecordsEveryCallInOrderWithItsArguments) {
  OpenPart();  // NewPartDocument; the QueryInterface is not recorded
  CComPtr<IHostDocument> active;
  app()->ActiveDocument(&active);
  active->PreGeometrySettingA(1);
  active->PreGeometrySettingB(0);
  active->SetLengthUnit(hostINCHES);
  CComPtr<IHostBody> body = NewBody();
  const double tri[9] = {0, 0, 0, 0.5, 0, 0, 0, 0.25, 0}, normal[3] = {0, 0, 1};
  body->CreatePlanarFace(3, tri, normal);
  body->CreatePlanarFace(7, tri, normal);  // a count the host cannot read by
  body->CreatePlanarFace(3, nullptr, normal);
  CComPtr<IHostBody> sewn;
  body->CreateBodyFromSurfaces(&sewn);
  active->PostGeometryStepA();
  active->PostGeometryStepB();
  LONG code;
  active->SaveToPath(CComBSTR(L"Q:\\no\\such\\dir\\a.obj"), 0, VARIANT_TRUE, VARIANT_FALSE, &code);
  LONG status;
  app()->LoadFile(CComBSTR(L"Q:\\no\\a.dxf"), nullptr, &status);

  EXPECT_EQ(host.Operations(), (std::vector<std::string>{
                                   "IHostApplication::NewPartDocument",
                                   "IHostApplication::ActiveDocument",
                                   "IHostDocument::PreGeometrySettingA",
                                   "IHostDocument::PreGeometrySettingB",
                                   "IHostDocument::SetLengthUnit",
                                   "IHostPartDocument::NewBody",
                                   "IHostBody::CreatePlanarFace",
                                   "IHostBody::CreatePlanarFace",
                                   "IHostBody::CreatePlanarFace",
                                   "IHostBody::CreateBodyFromSurfaces",
                                   "IHostDocument::PostGeometryStepA",
                                   "IHostDocument::PostGeometryStepB",
                                   "IHostDocument::SaveToPath",
                                   "IHostApplication::LoadFile",
                               }));
  const std::vector<Call> calls = host.Calls();
  ASSERT_EQ(calls.size(), 14u);
  EXPECT_EQ(calls[0].args, "");
  EXPECT_EQ(calls[2].args, "1");
  EXPECT_EQ(calls[4].args, "3");
  EXPECT_EQ(calls[6].args, "3, [0, 0, 0, 0.5, 0, 0, 0, 0.25, 0], [0, 0, 1]");
  EXPECT_EQ(calls[6].result, S_OK);
  EXPECT_EQ(calls[7].args, "7, [not read], [0, 0, 1]");
  EXPECT_EQ(calls[7].result, E_FAIL);
  EXPECT_EQ(calls[7].error, "count is 7; a planar face has 3 or 4 points");
  EXPECT_EQ(calls[8].args, "3, null, [0, 0, 1]");
  EXPECT_EQ(calls[12].args, "\"Q:\\no\\such\\dir\\a.obj\", 0, VARIANT_TRUE, VARIANT_FALSE");
  EXPECT_EQ(calls[12].result, S_OK);  // the failure is in the code
  EXPECT_FALSE(calls[12].error.empty());
  EXPECT_EQ(calls[13].args, "\"Q:\\no\\a.dxf\", null");
  EXPECT_EQ(calls[13].result, E_FAIL);

  host.ClearCalls();
  active->PostSketchStep();
  ASSERT_EQ(host.Calls().size(), 1u);
  EXPECT_EQ(host.Calls()[0].op, "IHostDocument::PostSketchStep");
}

TEST_F(HostTest, SketchLinesRecordTheirSixCoordinates) {
  OpenPart();
  doc->Toggle3DSketch(0);
  CComPtr<IUnknown> line;
  doc->CreateSketchLine(0.001, -2, 0, 1e-5, 0.1, 3.5, &line);
  EXPECT_EQ(host.Calls().back().args, "0.001, -2, 0, 1e-05, 0.1, 3.5");
}

TEST_F(HostTest, RecordingOffKeepsNothingButTheModelStillChanges) {
  host.SetRecording(false);
  OpenPart();
  doc->SetLengthUnit(hostCM);
  EXPECT_TRUE(host.Calls().empty());
  EXPECT_EQ(model().lengthUnit, hostCM);
  host.SetRecording(true);
  doc->SetLengthUnit(hostMETER);
  EXPECT_EQ(host.Operations(), std::vector<std::string>{"IHostDocument::SetLengthUnit"});
}

// Calls made before the fault is planted do not count towards it.
TEST_F(HostTest, TheNthCallFailsOnceAndChangesNothing) {
  for (HRESULT failure : {E_FAIL, S_FALSE}) {
    stand_in::Host fresh;
    IHostApplication* a = fresh.Application();
    CComPtr<IHostPartDocument> p;
    ASSERT_EQ(a->NewPartDocument(&p), S_OK);
    fresh.InjectFault("IHostApplication::NewPartDocument", 2, failure);
    for (HRESULT expected : {S_OK, failure, S_OK}) {
      CComPtr<IHostPartDocument> q;
      EXPECT_EQ(a->NewPartDocument(&q), expected);
      EXPECT_EQ(!q, expected != S_OK);
    }
    EXPECT_EQ(fresh.Documents().size(), 3u);
    EXPECT_EQ(fresh.Documents()[2].title, "Part3");
    EXPECT_EQ(fresh.Calls()[2].result, failure);
  }
}

TEST_F(HostTest, AFaultCanSucceedWithANullResult) {
  OpenPart();
  for (const char* op : {"IHostApplication::ActiveDocument", "IHostApplication::Frame",
                         "IHostApplication::RevisionNumber", "IHostFrame::MainWindowHandle",
                         "IHostPartDocument::NewBody"})
    host.InjectFault(op, 1, S_OK);
  CComPtr<IHostDocument> active;
  EXPECT_EQ(app()->ActiveDocument(&active), S_OK);
  EXPECT_FALSE(active);
  CComPtr<IHostFrame> frame;
  EXPECT_EQ(app()->Frame(&frame), S_OK);
  EXPECT_FALSE(frame);
  CComBSTR revision;
  EXPECT_EQ(app()->RevisionNumber(&revision), S_OK);
  EXPECT_FALSE(revision.m_str);
  ASSERT_EQ(app()->Frame(&frame), S_OK);  // that fault has fired
  LONG handle = 7;
  EXPECT_EQ(frame->MainWindowHandle(&handle), S_OK);
  EXPECT_EQ(handle, 0);
  CComPtr<IHostBody> body;
  EXPECT_EQ(part->NewBody(&body), S_OK);
  EXPECT_FALSE(body);
  EXPECT_TRUE(model().collectors.empty());
}

TEST_F(HostTest, AMisreportDoesTheWorkAndReturnsTheCodeGiven) {
  host.InjectMisreport("IHostApplication::NewPartDocument", 1, S_FALSE);
  CComPtr<IHostPartDocument> misreported;
  EXPECT_EQ(app()->NewPartDocument(&misreported), S_FALSE);
  EXPECT_TRUE(misreported) << "the part is handed out all the same";
  EXPECT_EQ(host.Documents().size(), 1u);
  EXPECT_EQ(host.Calls().back().result, S_FALSE);
  CComPtr<IHostPartDocument> next;
  EXPECT_EQ(app()->NewPartDocument(&next), S_OK) << "it fires once";
  EXPECT_THROW(host.InjectMisreport("IHostPartDocument::NoSuchCall", 1, S_FALSE), std::invalid_argument);
}

TEST_F(HostTest, AFaultedCallHasNoEffect) {
  OpenPart();
  host.InjectFault("IHostDocument::SetLengthUnit", 1, E_FAIL);
  host.InjectFault("IHostDocument::Toggle3DSketch", 1, S_FALSE);
  host.InjectFault("IHostBody::CreatePlanarFace", 2, E_FAIL);
  host.InjectFault("IHostBody::CreateBodyFromSurfaces", 1, E_FAIL);
  EXPECT_EQ(doc->SetLengthUnit(hostFEET), E_FAIL);
  EXPECT_EQ(model().lengthUnit, hostMM);
  EXPECT_EQ(doc->Toggle3DSketch(0), S_FALSE);
  EXPECT_TRUE(model().sketches.empty());

  CComPtr<IHostBody> body = NewBody();
  const double normal[3] = {0, 0, 1};
  const double faces[3][9] = {{0, 0, 0, 1, 0, 0, 0, 1, 0}, {0, 0, 1, 1, 0, 1, 0, 1, 1}, {0, 0, 2, 1, 0, 2, 0, 1, 2}};
  for (const auto& f : faces) body->CreatePlanarFace(3, f, normal);
  EXPECT_EQ(model().collectors[0].faces.Count(), 2u);
  CComPtr<IHostBody> sewn;
  EXPECT_EQ(body->CreateBodyFromSurfaces(&sewn), E_FAIL);
  EXPECT_FALSE(sewn);
  EXPECT_TRUE(model().bodies.empty());
  EXPECT_EQ(model().collectors[0].faces.Count(), 2u);  // kept for a second try
  EXPECT_EQ(body->CreateBodyFromSurfaces(&sewn), S_OK);
}

TEST_F(HostTest, FaultsNameARealOperationAndCountFromOne) {
  EXPECT_THROW(host.InjectFault("IHostDocument::SetLengthUnits", 1, E_FAIL), std::invalid_argument);
  EXPECT_THROW(host.InjectFault("IHostDocument::SetLengthUnit", 0, E_FAIL), std::invalid_argument);
  host.InjectFault("IHostApplication::NewPartDocument", 1, E_FAIL);
  host.ClearFaults();
  OpenPart();
}

TEST_F(HostTest, ReferencesStillHeldAreSeen) {
  IHostPartDocument* leaked = nullptr;
  ASSERT_EQ(app()->NewPartDocument(&leaked), S_OK);
  EXPECT_EQ(host.HeldReferences(), 1);
  IHostDocument* asDocument = nullptr;
  ASSERT_EQ(leaked->QueryInterface(__uuidof(IHostDocument), reinterpret_cast<void**>(&asDocument)), S_OK);
  EXPECT_EQ(host.HeldReferences(), 2);
  EXPECT_EQ(host.DescribeHeld(), "Part1: 2 held\n");
  asDocument->Release();
  leaked->Release();
  EXPECT_EQ(host.HeldReferences(), 0);
  EXPECT_EQ(host.OverReleases(), 0);
  EXPECT_EQ(host.DescribeHeld(), "");
}

TEST_F(HostTest, AnOverReleaseIsCountedAndFreesNothing) {
  IHostPartDocument* p = nullptr;
  ASSERT_EQ(app()->NewPartDocument(&p), S_OK);
  p->Release();
  EXPECT_EQ(p->Release(), 0u);
  EXPECT_EQ(host.OverReleases(), 1);
  app()->Release();  // the borrowed application
  EXPECT_EQ(host.OverReleases(), 2);
  EXPECT_EQ(host.HeldReferences(), 0);
  // The model still holds the part, so the object is still good.
  CComPtr<IHostBody> body;
  EXPECT_EQ(p->NewBody(&body), S_OK);
  EXPECT_EQ(host.HeldReferences(), 1);
}

// Sketch segments are counted like every other object, though the views
// behind them are reused once released.
TEST_F(HostTest, SketchSegmentsAreCountedWhileHeld) {
  OpenPart();
  doc->Toggle3DSketch(0);
  const long base = host.HeldReferences();
  IUnknown* a = nullptr;
  IUnknown* b = nullptr;
  ASSERT_EQ(doc->CreateSketchLine(0, 0, 0, 1, 0, 0, &a), S_OK);
  ASSERT_EQ(doc->CreateSketchLine(0, 0, 0, 0, 1, 0, &b), S_OK);
  EXPECT_NE(a, b);
  EXPECT_EQ(host.HeldReferences(), base + 2);
  EXPECT_EQ(host.DescribeHeld(), "Part1: 2 held\nPart1 sketch 1 line 1: 1 held\nPart1 sketch 1 line 2: 1 held\n");
  a->Release();
  b->Release();
  b->Release();
  EXPECT_EQ(host.HeldReferences(), base);
  EXPECT_EQ(host.OverReleases(), 1);
  for (int i = 0; i < 100; ++i) {
    CComPtr<IUnknown> line;
    ASSERT_EQ(doc->CreateSketchLine(i, 0, 0, i, 1, 0, &line), S_OK);
  }
  EXPECT_EQ(host.HeldReferences(), base);
  EXPECT_EQ(model().sketches[0].lines.size(), 102u);
}

// The host frees everything it made, held or not (LeakSanitizer watches).
TEST(HostLifetime, ReferencesLeftHeldDoNotOutliveTheHost) {
  auto host = std::make_unique<stand_in::Host>();
  IHostPartDocument* part = nullptr;
  ASSERT_EQ(host->Application()->NewPartDocument(&part), S_OK);
  IHostBody* body = nullptr;
  ASSERT_EQ(part->NewBody(&body), S_OK);
  EXPECT_EQ(host->HeldReferences(), 2);
  host.reset();
}
