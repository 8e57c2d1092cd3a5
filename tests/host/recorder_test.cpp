// The recorder, planted faults and reference accounting.
#include "fixture.h"

#include <objbase.h>

#include <functional>
#include <stdexcept>
#include <string>

using stand_in::Call;
using stand_in::FaultSpan;

namespace {
const char kUnit[] = "IHostDocument::SetLengthUnit";
const char kQuery[] = "IUnknown::QueryInterface";
}  // namespace

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
  stand_in::Host own;  // its own host: the last call is a use after release
  IHostPartDocument* p = nullptr;
  ASSERT_EQ(own.Application()->NewPartDocument(&p), S_OK);
  p->Release();
  EXPECT_EQ(p->Release(), 0u);
  EXPECT_EQ(own.OverReleases(), 1);
  own.Application()->Release();  // the borrowed application
  EXPECT_EQ(own.OverReleases(), 2);
  EXPECT_EQ(own.HeldReferences(), 0);
  EXPECT_EQ(own.UseAfterRelease(), 0) << "a release is not a use";
  // The model still holds the part, so the call is safe here; it is refused.
  CComPtr<IHostBody> body;
  EXPECT_EQ(p->NewBody(&body), E_UNEXPECTED);
  EXPECT_FALSE(body);
  EXPECT_EQ(own.UseAfterRelease(), 1);
  EXPECT_EQ(own.HeldReferences(), 0);
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

TEST_F(HostTest, QueryInterfaceAndReleaseAreRecordedWhenAsked) {
  OpenPart();
  EXPECT_EQ(host.Operations(), std::vector<std::string>{"IHostApplication::NewPartDocument"}) << "off by default";
  host.ClearCalls();
  host.RecordUnknownCalls(true);
  CComPtr<IHostBody> body = NewBody();
  CComPtr<IHostApplication> notADocument;
  EXPECT_EQ(part.QueryInterface(&notADocument), E_NOINTERFACE);
  void* unknown = nullptr;
  const GUID other = stand_in::GuidFromText("12345678-1234-1234-1234-123456789012");
  EXPECT_EQ(doc->QueryInterface(other, &unknown), E_NOINTERFACE);
  CComPtr<IHostPartDocument> again;
  ASSERT_EQ(doc.QueryInterface(&again), S_OK);
  again.Release();
  body.Release();
  doc.Release();
  part.Release();

  const std::vector<Call> calls = host.Calls();
  std::vector<std::string> seen;
  for (const Call& c : calls) seen.push_back(c.op + " " + c.args);
  EXPECT_EQ(seen, (std::vector<std::string>{
                      "IHostPartDocument::NewBody ",
                      "IUnknown::QueryInterface Part1 as IHostPartDocument, IHostApplication",
                      "IUnknown::QueryInterface Part1 as IHostDocument, {12345678-1234-1234-1234-123456789012}",
                      "IUnknown::QueryInterface Part1 as IHostDocument, IHostPartDocument",
                      "IUnknown::Release Part1 as IHostPartDocument",
                      "IUnknown::Release Part1 collector 1 as IHostBody",
                      "IUnknown::Release Part1 as IHostDocument",
                      "IUnknown::Release Part1 as IHostPartDocument",
                  }));
  EXPECT_EQ(calls[1].result, E_NOINTERFACE);
  EXPECT_EQ(calls[1].error, "Part1 has no IHostApplication");
  EXPECT_EQ(calls[3].result, S_OK);

  // An over-release is recorded with what is wrong with it.
  IHostFrame* frame = nullptr;
  ASSERT_EQ(app()->Frame(&frame), S_OK);
  frame->Release();
  frame->Release();
  EXPECT_EQ(host.Calls().back().args, "main frame as IHostFrame");
  EXPECT_EQ(host.Calls().back().error, "released more often than it was handed out");

  host.RecordUnknownCalls(false);
  host.ClearCalls();
  OpenPart();
  EXPECT_EQ(host.Operations(), std::vector<std::string>{"IHostApplication::NewPartDocument"});
}

TEST_F(HostTest, QueryInterfaceCanBeMadeToFail) {
  OpenPart();
  const long held = host.HeldReferences();
  host.InjectFault(kQuery, 1, E_NOINTERFACE);
  host.InjectFaultLeavingOutputs(kQuery, 2, E_FAIL);
  host.InjectMisreport(kQuery, 3, S_FALSE);
  void* const preset = app();
  void* got = preset;
  EXPECT_EQ(part->QueryInterface(__uuidof(IHostDocument), &got), E_NOINTERFACE);
  EXPECT_EQ(got, nullptr);
  got = preset;
  EXPECT_EQ(part->QueryInterface(__uuidof(IHostDocument), &got), E_FAIL);
  EXPECT_EQ(got, preset) << "left as the caller set it";
  EXPECT_EQ(host.HeldReferences(), held);
  got = nullptr;
  EXPECT_EQ(part->QueryInterface(__uuidof(IHostDocument), &got), S_FALSE);
  ASSERT_NE(got, nullptr) << "a misreport hands the interface out";
  EXPECT_EQ(host.HeldReferences(), held + 1);
  static_cast<IHostDocument*>(got)->Release();
  EXPECT_EQ(part->QueryInterface(__uuidof(IHostDocument), &got), S_OK);
  static_cast<IHostDocument*>(got)->Release();
  EXPECT_EQ(host.HeldReferences(), held);
  EXPECT_THROW(host.InjectFault("IUnknown::Release", 1, E_FAIL), std::invalid_argument);
  EXPECT_THROW(host.InjectFault("IUnknown::AddRef", 1, E_FAIL), std::invalid_argument);
}

// Faults on one operation at different calls all fire, a fault from the
// nth call on covers every later call, and each is counted from its planting.
TEST_F(HostTest, SeveralFaultsOnOneOperationAllFire) {
  OpenPart();
  doc->SetLengthUnit(hostMM);  // counts toward no fault
  host.InjectFault(kUnit, 1, E_FAIL);
  host.InjectMisreport(kUnit, 3, S_FALSE);
  host.InjectFault(kUnit, 5, S_FALSE, FaultSpan::FromThenOn);
  host.InjectFault("IHostDocument::Toggle3DSketch", 1, E_FAIL, FaultSpan::FromThenOn);
  struct Step {
    LONG unit;
    HRESULT result;
    LONG after;  // the document's unit after the call
  } steps[] = {{hostCM, E_FAIL, hostMM},      {hostMETER, S_OK, hostMETER}, {hostINCHES, S_FALSE, hostINCHES},
               {hostFEET, S_OK, hostFEET},    {hostMM, S_FALSE, hostFEET},  {hostCM, S_FALSE, hostFEET},
               {hostMETER, S_FALSE, hostFEET}};
  for (const Step& s : steps) {
    EXPECT_EQ(doc->SetLengthUnit(s.unit), s.result) << s.unit;
    EXPECT_EQ(model().lengthUnit, s.after) << s.unit;
  }
  for (int i = 0; i < 3; ++i) EXPECT_EQ(doc->Toggle3DSketch(0), E_FAIL);
  EXPECT_TRUE(model().sketches.empty());
  host.ClearFaults();
  EXPECT_EQ(doc->SetLengthUnit(hostCM), S_OK);
  EXPECT_EQ(doc->Toggle3DSketch(0), S_OK);
}

// Two faults on one call cannot both fire: the second is refused, never lost.
TEST_F(HostTest, AFaultOnACallAlreadyFaultedIsRefused) {
  host.InjectFault(kUnit, 2, E_FAIL);
  const std::function<void()> clashes[] = {
      [&] { host.InjectFault(kUnit, 2, S_FALSE); },
      [&] { host.InjectMisreport(kUnit, 2, S_FALSE); },
      [&] { host.InjectFaultLeavingOutputs(kUnit, 2, S_OK); },
      [&] { host.InjectFault(kUnit, 1, S_FALSE, FaultSpan::FromThenOn); },
  };
  for (const auto& clash : clashes) EXPECT_THROW(clash(), std::invalid_argument);
  try {
    host.InjectFault(kUnit, 2, S_FALSE);
  } catch (const std::invalid_argument& e) {
    EXPECT_STREQ(e.what(), "fault: call 2 from now of IHostDocument::SetLengthUnit already has a fault planted");
  }
  host.InjectFault(kUnit, 1, S_FALSE);
  host.InjectFault(kUnit, 4, E_INVALIDARG, FaultSpan::FromThenOn);
  EXPECT_THROW(host.InjectFault(kUnit, 9, E_FAIL), std::invalid_argument);
  EXPECT_THROW(host.InjectFault(kUnit, 3, E_FAIL, FaultSpan::FromThenOn), std::invalid_argument);
  host.InjectFault("IHostDocument::Toggle3DSketch", 2, E_FAIL);  // another operation
  OpenPart();
  for (HRESULT expected : {S_FALSE, E_FAIL, S_OK, E_INVALIDARG, E_INVALIDARG})
    EXPECT_EQ(doc->SetLengthUnit(hostCM), expected);
}

TEST_F(HostTest, AFaultCanLeaveTheOutputsAsTheCallerSetThem) {
  OpenPart();
  const long held = host.HeldReferences();
  host.InjectFaultLeavingOutputs("IHostApplication::ActiveDocument", 1, S_OK);
  host.InjectFaultLeavingOutputs("IHostApplication::NewPartDocument", 1, E_FAIL);
  host.InjectFaultLeavingOutputs("IHostApplication::LoadFile", 1, S_OK);
  IHostDocument* const preset = reinterpret_cast<IHostDocument*>(app());
  IHostDocument* active = preset;
  EXPECT_EQ(app()->ActiveDocument(&active), S_OK);
  EXPECT_EQ(active, preset);
  IHostPartDocument* newPart = reinterpret_cast<IHostPartDocument*>(app());
  EXPECT_EQ(app()->NewPartDocument(&newPart), E_FAIL);
  EXPECT_EQ(newPart, reinterpret_cast<IHostPartDocument*>(app()));
  EXPECT_EQ(host.Documents().size(), 1u) << "the call did nothing";
  LONG status = 7;
  EXPECT_EQ(app()->LoadFile(CComBSTR(L"Q:\\no\\a.dxf"), nullptr, &status), S_OK);
  EXPECT_EQ(status, 7);
  EXPECT_TRUE(host.LoadedFiles().empty());
  EXPECT_EQ(host.HeldReferences(), held);
}

// A call through an object whose last reference the caller released is a
// fault of the caller's: refused, counted and named, on a host of its own.
TEST(HostUseAfterRelease, ACallThroughAReleasedObjectIsRefusedAndNamed) {
  stand_in::Host host;
  IHostApplication* app = host.Application();
  IHostPartDocument* part = nullptr;
  ASSERT_EQ(app->NewPartDocument(&part), S_OK);
  IHostDocument* doc = nullptr;
  ASSERT_EQ(part->QueryInterface(__uuidof(IHostDocument), reinterpret_cast<void**>(&doc)), S_OK);
  IHostBody* body = nullptr;
  ASSERT_EQ(part->NewBody(&body), S_OK);
  IHostFrame* frame = nullptr;
  ASSERT_EQ(app->Frame(&frame), S_OK);
  ASSERT_EQ(doc->Toggle3DSketch(0), S_OK);
  IUnknown* line = nullptr;
  ASSERT_EQ(doc->CreateSketchLine(0, 0, 0, 1, 0, 0, &line), S_OK);
  // One reference left through either role keeps the object in use.
  doc->Release();
  EXPECT_EQ(doc->SetLengthUnit(hostCM), S_OK);
  part->Release();
  body->Release();
  frame->Release();
  line->Release();
  EXPECT_EQ(host.UseAfterRelease(), 0);

  const double tri[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0}, normal[3] = {0, 0, 1};
  IHostBody* newBody = body;
  LONG handle = 7;
  void* queried = frame;
  struct Case {
    const char* text;
    std::function<HRESULT()> call;
  } cases[] = {
      {"IHostDocument::SetLengthUnit on Part1", [&] { return doc->SetLengthUnit(hostINCHES); }},
      {"IHostPartDocument::NewBody on Part1", [&] { return part->NewBody(&newBody); }},
      {"IHostBody::CreatePlanarFace on Part1 collector 1", [&] { return body->CreatePlanarFace(3, tri, normal); }},
      {"IHostFrame::MainWindowHandle on main frame", [&] { return frame->MainWindowHandle(&handle); }},
      {"IUnknown::QueryInterface on Part1", [&] { return part->QueryInterface(__uuidof(IHostDocument), &queried); }},
      {"IUnknown::QueryInterface on Part1 sketch 1 line 1",
       [&] { return line->QueryInterface(__uuidof(IUnknown), &queried); }},
  };
  std::string described;
  long count = 0;
  for (const Case& c : cases) {
    EXPECT_EQ(c.call(), E_UNEXPECTED) << c.text;
    EXPECT_EQ(host.UseAfterRelease(), ++count) << c.text;
    EXPECT_EQ(host.Calls().back().error.rfind("called after the last release of ", 0), 0u) << c.text;
    described += std::string(c.text) + " after its last release\n";
  }
  EXPECT_EQ(host.DescribeUseAfterRelease(), described);
  // Refused calls change nothing and hand nothing out.
  EXPECT_EQ(host.Documents()[0].lengthUnit, hostCM);
  EXPECT_EQ(host.Documents()[0].collectors.size(), 1u);
  EXPECT_EQ(host.Documents()[0].collectors[0].faces.Count(), 0u);
  EXPECT_EQ(newBody, nullptr);
  EXPECT_EQ(handle, 0);
  EXPECT_EQ(queried, nullptr);
  EXPECT_EQ(host.HeldReferences(), 0);

  // Taking a released object up again is one too, and is still counted.
  frame->AddRef();
  EXPECT_EQ(host.UseAfterRelease(), count + 1);
  EXPECT_NE(host.DescribeUseAfterRelease().find("IUnknown::AddRef through IHostFrame on main frame"),
            std::string::npos);
  frame->Release();
  EXPECT_EQ(host.OverReleases(), 0);

  // The application is held by the host for the caller: it has no last release.
  app->AddRef();
  app->Release();
  IHostDocument* active = nullptr;
  EXPECT_EQ(app->ActiveDocument(&active), S_OK);
  ASSERT_NE(active, nullptr);
  active->Release();
  EXPECT_EQ(host.UseAfterRelease(), count + 1);
}

namespace {
std::vector<std::string> g_reported;
void Report(const std::string& what) { g_reported.push_back(what); }
}  // namespace

TEST(HostUseAfterRelease, TheReporterIsToldAtOnce) {
  g_reported.clear();
  const stand_in::UseAfterReleaseReporter before = stand_in::SetUseAfterReleaseReporter(&Report);
  stand_in::Host host;
  IHostFrame* frame = nullptr;
  ASSERT_EQ(host.Application()->Frame(&frame), S_OK);
  frame->Release();
  LONG handle = 0;
  frame->MainWindowHandle(&handle);
  EXPECT_EQ(stand_in::SetUseAfterReleaseReporter(before), &Report);
  EXPECT_EQ(g_reported, std::vector<std::string>{"IHostFrame::MainWindowHandle on main frame after its last release"});
}
