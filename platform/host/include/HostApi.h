// The CAD host's COM interfaces, by role: one method per host operation.
// Out pointers are set by the host (null when it has nothing to give);
// interface pointers handed out are the caller's to release, texts the
// caller's to free. Lengths are in metres. Calls are synchronous, on the
// host's thread. A null out pointer is refused with E_POINTER, and a call
// the host refuses changes nothing.
#pragma once

#include <oleauto.h>

struct IHostApplication;
struct IHostFrame;
struct IHostDocument;
struct IHostPartDocument;
struct IHostBody;

// Length-unit codes of IHostDocument::SetLengthUnit.
enum HostLengthUnit {
  hostMM = 0,
  hostCM = 1,
  hostMETER = 2,
  hostINCHES = 3,
  hostFEET = 4,
};

// The host's own codes, as IHostDocument::SaveToPath gives them in `code`
// and IHostApplication::LoadFile in `status`.
enum HostFileStatus {
  hostFileOK = 0,
  hostFileError = 1,     // could not be written or read
  hostFileNotFound = 2,  // no such file to load
};

struct IHostApplication : IUnknown {
  // The active document, null (and S_OK) when there is none.
  STDMETHOD(ActiveDocument)(IHostDocument** document) PURE;
  // A new part document, which becomes the active document; null on failure.
  STDMETHOD(NewPartDocument)(IHostPartDocument** part) PURE;
  // The running host's revision text, such as "21.0.0"; the major revision
  // is the number before the first ".". May be null.
  STDMETHOD(RevisionNumber)(BSTR* revision) PURE;
  // The host's main frame.
  STDMETHOD(Frame)(IHostFrame** frame) PURE;
  // Loads a DXF file into the host. A file that is missing or cannot be
  // read fails (E_FAIL, `status` hostFileNotFound or hostFileError);
  // otherwise S_OK and hostFileOK.
  STDMETHOD(LoadFile)(BSTR path, BSTR arguments, LONG* status) PURE;

 protected:
  ~IHostApplication() = default;
};
STAND_IN_INTERFACE_ID(IHostApplication, "83A33D22-27C5-11CE-BFD4-00400513BB57");

struct IHostFrame : IUnknown {
  // The main window's handle as a 32-bit integer (sign-extend it to get
  // the 64-bit handle).
  STDMETHOD(MainWindowHandle)(LONG* handle) PURE;

 protected:
  ~IHostFrame() = default;
};
STAND_IN_INTERFACE_ID(IHostFrame, "55599023-CA1B-402F-8E5A-B7AABA96D6BE");

struct IHostDocument : IUnknown {
  // Settings the bridge makes before and after adding geometry in bulk;
  // they change nothing the system relies on.
  STDMETHOD(PreGeometrySettingA)(LONG value) PURE;
  STDMETHOD(PreGeometrySettingB)(LONG value) PURE;
  STDMETHOD(PostGeometryStepA)() PURE;
  STDMETHOD(PostGeometryStepB)() PURE;
  STDMETHOD(PostSketchStep)() PURE;
  // Length unit, one of HostLengthUnit; any other code is E_INVALIDARG.
  STDMETHOD(SetLengthUnit)(LONG unit) PURE;
  // With 0: opens a 3D sketch when none is open, closes the open one
  // otherwise.
  STDMETHOD(Toggle3DSketch)(LONG value) PURE;
  // A line in the open sketch; `segment` receives the new entity. Fails
  // (E_FAIL) with no open sketch and for a line whose ends coincide.
  STDMETHOD(CreateSketchLine)(double x1, double y1, double z1, double x2, double y2, double z2,
                              IUnknown** segment) PURE;
  // Saves the document under `path`. The call itself answers S_OK; whether
  // the file was written is in `code`: hostFileOK or hostFileError.
  STDMETHOD(SaveToPath)(BSTR path, LONG version, VARIANT_BOOL silent, VARIANT_BOOL copy, LONG* code) PURE;

 protected:
  ~IHostDocument() = default;
};
STAND_IN_INTERFACE_ID(IHostDocument, "B90793FB-EF3D-4B80-A5C4-99959CDB6CEB");

struct IHostPartDocument : IUnknown {
  // A new empty body that collects faces (not yet a body of the part).
  STDMETHOD(NewBody)(IHostBody** body) PURE;

 protected:
  ~IHostPartDocument() = default;
};
STAND_IN_INTERFACE_ID(IHostPartDocument, "83A33D32-27C5-11CE-BFD4-00400513BB57");

struct IHostBody : IUnknown {
  // Adds one planar face bounded by the polygon of `count` points (x, y, z
  // each), with the unit normal `normal` (three doubles). The host refuses
  // (E_FAIL) a count other than 3 or 4, null or non-finite arguments and a
  // degenerate, non-planar or self-crossing polygon. The polygon's winding
  // orients the face, so a zero normal is accepted.
  STDMETHOD(CreatePlanarFace)(LONG count, const double* points, const double* normal) PURE;
  // Sews the faces added so far into a body of the part: a solid when every
  // edge is shared by exactly two faces, a sheet otherwise. No faces: E_FAIL.
  STDMETHOD(CreateBodyFromSurfaces)(IHostBody** body) PURE;

 protected:
  ~IHostBody() = default;
};
STAND_IN_INTERFACE_ID(IHostBody, "05FFF422-A588-4D18-A2B8-B4A188029E5C");
