// Sketches in the host: a part with a 3D sketch open, a drawing with its
// sheet, and one valid call per kind of entity.
#pragma once

#include "fixture.h"

#include "state.h"

#include <functional>
#include <string>
#include <vector>

// One entity call on a document, by the name of its operation.
struct EntityCall {
  const char* op;
  std::function<HRESULT(IHostDocument*, IUnknown**)> make;
};

// A valid call of each kind, in the order of the interface.
inline const std::vector<EntityCall>& ValidEntityCalls() {
  static const std::vector<EntityCall> calls = {
      {"IHostDocument::CreateSketchLine",
       [](IHostDocument* d, IUnknown** out) { return d->CreateSketchLine(0, 0, 0, 1, 0, 0, out); }},
      {"IHostDocument::CreateSketchPoint",
       [](IHostDocument* d, IUnknown** out) { return d->CreateSketchPoint(1, 2, 3, out); }},
      {"IHostDocument::CreateSketchCircle",
       [](IHostDocument* d, IUnknown** out) { return d->CreateSketchCircle(0, 0, 0, 0.5, out); }},
      {"IHostDocument::CreateSketchArc",
       [](IHostDocument* d, IUnknown** out) { return d->CreateSketchArc(0, 0, 0, 1, 0, 0, 0, 1, 0, 1, out); }},
      {"IHostDocument::CreateSketchSplineByPoints",
       [](IHostDocument* d, IUnknown** out) {
         const double p[6] = {0, 0, 0, 1, 1, 0};
         return d->CreateSketchSplineByPoints(2, p, out);
       }},
      {"IHostDocument::CreateSketchSplineByNurbs",
       [](IHostDocument* d, IUnknown** out) {
         const LONG props[4] = {3, 2, 2, 0};
         const double knots[4] = {0, 0, 1, 1}, cps[6] = {0, 0, 0, 0, 0, 1};
         return d->CreateSketchSplineByNurbs(props, knots, cps, out);
       }},
  };
  return calls;
}

inline size_t EntityCount(const stand_in::Sketch& s) {
  return s.points.size() + s.lines.size() + s.arcs.size() + s.splines.size();
}

// A part whose 3D sketch is open.
class SketchTest : public HostTest {
 protected:
  void SetUp() override {
    OpenPart();
    ASSERT_EQ(doc->Toggle3DSketch(0), S_OK);
  }
  const stand_in::Sketch& sketch() const { return model().sketches.back(); }
};

// A drawing as the host keeps one, its sheet open from its creation, in a
// host state of its own.
class DrawingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    state.documents.emplace_back();
    stand_in::Document& drawing = state.documents.back();
    drawing.kind = stand_in::DocumentKind::Drawing;
    drawing.title = "Drawing1";
    drawing.sketches.emplace_back();
    auto* object = state.Make<stand_in::DocumentObject>(drawing);
    state.documentObjects.push_back(object);
    doc.Attach(stand_in::HandOut<IHostDocument>(object));
  }
  void TearDown() override {
    doc.Release();
    EXPECT_EQ(state.held, 0);
    EXPECT_EQ(state.overReleases, 0);
    EXPECT_EQ(state.useAfterRelease, 0);
  }
  const stand_in::Document& drawing() const { return state.documents.front(); }

  stand_in::HostState state;
  CComPtr<IHostDocument> doc;
};
