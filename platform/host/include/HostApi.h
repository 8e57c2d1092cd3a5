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
struct IHostAssemblyDocument;
struct IHostDrawingDocument;
struct IHostBody;
struct IHostBodyEnumerator;
struct IHostFace;
struct IHostSurface;
struct IHostConfiguration;
struct IHostComponent;
struct IHostSketch;
struct IHostCommandManager;
struct IHostCommandGroup;
struct IHostCommandTab;
struct IHostCommandTabBox;

// The add-in's side: the host creates the class named under
// HKEY_LOCAL_MACHINE\SOFTWARE\SolidWorks\AddIns, connects it with a cookie
// of its own and disconnects it before it lets it go.
namespace SWPublished {
struct ISwAddin : IUnknown {
  // `ThisSW` is the host application as IDispatch; `Cookie` names the add-in
  // in every host call that takes one.
  STDMETHOD(ConnectToSW)(IDispatch* ThisSW, LONG Cookie, VARIANT_BOOL* IsConnected) PURE;
  STDMETHOD(DisconnectFromSW)(VARIANT_BOOL* IsDisconnected) PURE;

 protected:
  ~ISwAddin() = default;
};
}  // namespace SWPublished
STAND_IN_INTERFACE_ID(SWPublished::ISwAddin, "DA306A0D-EAC5-4406-8610-B1DA805D9270");

// The host's type library, which describes the application's events, and the
// events' dispinterface. The library is registered at the running host's
// major revision (21.0 for "21.0.0"). Events, by DISPID:
//   4  DocumentOpened([in] BSTR path)
//   5  HostClosing()
//   11 ActiveDocumentChanged()
//   12 DocumentCreated([in] IDispatch* document, [in] long type)
namespace SldWorks {
extern const GUID LIBID_SldWorks;
}
extern const IID DIID_IHostApplicationEvents;

// Document-type codes of the command manager's tabs.
enum HostDocumentType {
  hostDocPART = 1,
  hostDocASSEMBLY = 2,
  hostDocDRAWING = 3,
};

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

// The arrays of doubles the host fills: IHostPartDocument::MaterialValues
// and IHostComponent::MaterialValues fill kHostMaterialValues (red, green,
// blue, ambient, diffuse, specular, shininess, transparency, emission, each
// 0 to 1); IHostComponent::TransformValues fills kHostTransformValues (the
// rotation column by column at 0 to 8, the translation in metres at 9 to
// 11, the scale at 12, then 0, 0, 0). The caller gives room for them all.
enum { kHostMaterialValues = 9, kHostTransformValues = 16 };

// The body kinds IHostPartDocument::BodyEnumerator and
// IHostComponent::BodyEnumerator list.
enum HostBodyKind {
  hostSolidBody = 0,
  hostSheetBody = 1,
};

// Paper sizes of IHostApplication::NewDrawingDocument, the sheet lying
// landscape unless named portrait: the ANSI sizes A (11 x 8.5 in), B, C, D
// and E (44 x 34 in), the ISO sizes A4 to A0 (297 x 210 to 1189 x 841 mm),
// and a custom size given in metres.
enum HostPaperSize {
  hostPaperA = 0,
  hostPaperAPortrait = 1,
  hostPaperB = 2,
  hostPaperC = 3,
  hostPaperD = 4,
  hostPaperE = 5,
  hostPaperA4 = 6,
  hostPaperA4Portrait = 7,
  hostPaperA3 = 8,
  hostPaperA2 = 9,
  hostPaperA1 = 10,
  hostPaperA0 = 11,
  hostPaperCustom = 12,
};

// Sheet formats of IHostApplication::NewDrawingDocument: 0 to 11 the
// standard format of that paper size, or one of these.
enum HostSheetFormat {
  hostFormatFromFile = 12,  // the template file named by `templateName`
  hostFormatNone = 13,      // a blank sheet
};

// The application also answers QueryInterface for IDispatch (as which the
// host hands it to ConnectToSW) and for IConnectionPointContainer, with one
// connection point: DIID_IHostApplicationEvents.
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
  // The command manager of the add-in `cookie` names: one per add-in, the
  // same object on every call. An unknown cookie is E_INVALIDARG.
  STDMETHOD(GetCommandManager)(LONG cookie, IHostCommandManager** manager) PURE;
  // The dispatch object the host calls the add-in back through, by method
  // name (menu callbacks, the Open dialog). One per cookie: a second call
  // replaces the first. The host holds it until the add-in is unloaded.
  STDMETHOD(RegisterCallbackObject)(LONG instance, IDispatch* callbacks, LONG cookie, VARIANT_BOOL* ok) PURE;
  // An entry of the host's Open dialog: files with `extension` (no dot) are
  // opened by calling the method `callback` of the callback object with the
  // path. `a` and `b` are kept but mean nothing here. An entry with the same
  // callback, description and extension is refused (E_FAIL).
  STDMETHOD(AddFileOpenItem)(LONG cookie, BSTR callback, BSTR description, BSTR extension, BSTR a, BSTR b,
                             VARIANT_BOOL* ok) PURE;
  // Removes the entry the add-in added with these texts; none: E_FAIL.
  STDMETHOD(RemoveFileOpenItem)(LONG cookie, BSTR callback, BSTR description, BSTR extension, VARIANT_BOOL* ok) PURE;
  // The active document as the read side asks for it; null (and S_OK) when
  // there is none.
  STDMETHOD(ActiveModel)(IHostDocument** document) PURE;
  // A new assembly document, which becomes the active document; null on
  // failure.
  STDMETHOD(NewAssemblyDocument)(IHostAssemblyDocument** assembly) PURE;
  // A new drawing document, which becomes the active document; null on
  // failure. `paperSize` is a HostPaperSize and `templateIndex` a
  // HostSheetFormat; `templateName` names the template file of
  // hostFormatFromFile, which must exist, and is not read otherwise (it may
  // be null). `width` and `height` are the sheet of hostPaperCustom in
  // metres, both above 0; a standard size ignores them. An unknown code, a
  // size that is negative or not finite, a custom size without both sides
  // or hostFormatFromFile without a name is refused (E_INVALIDARG), a
  // template file that cannot be read fails (E_FAIL).
  // The drawing has one sketch, its sheet, open from the start.
  STDMETHOD(NewDrawingDocument)(LONG paperSize, BSTR templateName, LONG templateIndex, double width, double height,
                                IHostDrawingDocument** drawing) PURE;

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
  // otherwise. A drawing has no 3D sketch (E_FAIL): its entities go on its
  // sheet, open from its creation on.
  STDMETHOD(Toggle3DSketch)(LONG value) PURE;
  // A line in the open sketch; `segment` receives the new entity. Fails
  // (E_FAIL) with no open sketch and for a line whose ends coincide.
  STDMETHOD(CreateSketchLine)(double x1, double y1, double z1, double x2, double y2, double z2,
                              IUnknown** segment) PURE;
  // Saves the document under `path`. The call itself answers S_OK; whether
  // the file was written is in `code`: hostFileOK or hostFileError.
  STDMETHOD(SaveToPath)(BSTR path, LONG version, VARIANT_BOOL silent, VARIANT_BOOL copy, LONG* code) PURE;

  // Sketch entities, into the open sketch (see CreateSketchLine); each out
  // value receives the new entity. Arcs and circles lie in the plane
  // parallel to world XY through their centre. The host refuses (E_FAIL)
  // non-finite numbers, null arrays, a radius of the host's resolution
  // (1e-8 m) or less, arc ends that lie off that plane, at two distances
  // from the centre (beyond a millionth of the radius, or the resolution)
  // or at one point, fewer than 2 spline points or two in a row that
  // coincide, and NURBS data that do not agree: a dimension other than 3,
  // an order outside 2 to 32, fewer control points than the order, a
  // periodic flag other than 0 or 1, knots that decrease, repeat more often
  // than the order or leave no domain, and control points that all
  // coincide.
  STDMETHOD(CreateSketchPoint)(double x, double y, double z, IUnknown** point) PURE;
  STDMETHOD(CreateSketchCircle)(double cx, double cy, double cz, double radius, IUnknown** segment) PURE;
  // From start to end about the centre: `direction` +1 turns
  // counter-clockwise seen from +z, -1 clockwise.
  STDMETHOD(CreateSketchArc)(double cx, double cy, double cz, double sx, double sy, double sz, double ex, double ey,
                             double ez, short direction, IUnknown** segment) PURE;
  // A spline through `count` points (x, y, z each), in order.
  STDMETHOD(CreateSketchSplineByPoints)(LONG count, const double* points, IUnknown** segment) PURE;
  // A non-rational spline: `properties` holds the dimension (3), the order,
  // the control-point count and the periodic flag (0 or 1); `knots` the
  // whole knot vector (order + count values); `controlPoints` x, y, z of
  // each control point.
  STDMETHOD(CreateSketchSplineByNurbs)(const LONG* properties, const double* knots, const double* controlPoints,
                                       IUnknown** segment) PURE;

  // The read side. The title (the caller frees it).
  STDMETHOD(Title)(BSTR* title) PURE;
  // The active configuration, null (and S_OK) for a drawing.
  STDMETHOD(ActiveConfiguration)(IHostConfiguration** configuration) PURE;
  // The length unit, one of HostLengthUnit.
  STDMETHOD(GetLengthUnit)(LONG* unit) PURE;
  // The document's sketch at `index` (0 for the first made; a drawing's
  // sheet), null (and S_FALSE) past the last.
  STDMETHOD(GetSketch)(LONG index, IHostSketch** sketch) PURE;

 protected:
  ~IHostDocument() = default;
};
STAND_IN_INTERFACE_ID(IHostDocument, "B90793FB-EF3D-4B80-A5C4-99959CDB6CEB");

struct IHostPartDocument : IUnknown {
  // A new empty body that collects faces (not yet a body of the part).
  STDMETHOD(NewBody)(IHostBody** body) PURE;
  // The part's material: kHostMaterialValues doubles into `values`.
  STDMETHOD(MaterialValues)(double* values) PURE;
  // The part's bodies of one HostBodyKind, in the order they were made, as
  // they are when it is called; `visibleOnly` VARIANT_FALSE lists hidden
  // bodies too. Another kind is E_INVALIDARG. A body from NewBody is not
  // one of them until it is sewn.
  STDMETHOD(BodyEnumerator)(LONG kind, VARIANT_BOOL visibleOnly, IHostBodyEnumerator** enumerator) PURE;

 protected:
  ~IHostPartDocument() = default;
};
STAND_IN_INTERFACE_ID(IHostPartDocument, "83A33D32-27C5-11CE-BFD4-00400513BB57");

// An assembly document (it answers IHostDocument too).
struct IHostAssemblyDocument : IUnknown {
  // Makes the components' geometry ready to read; `value` 0 (another is
  // E_INVALIDARG). `result` receives a status the caller need not read.
  STDMETHOD(PreReadStep)(LONG value, LONG* result) PURE;

 protected:
  ~IHostAssemblyDocument() = default;
};
STAND_IN_INTERFACE_ID(IHostAssemblyDocument, "83A33D35-27C5-11CE-BFD4-00400513BB57");

// A drawing document (it answers IHostDocument too).
struct IHostDrawingDocument : IUnknown {
 protected:
  ~IHostDrawingDocument() = default;
};
STAND_IN_INTERFACE_ID(IHostDrawingDocument, "6851BFEF-CECD-4E66-9BB3-BDE2216AFFDB");

struct IHostConfiguration : IUnknown {
  // The component at the root of the assembly's tree; a part's
  // configuration has none (null and S_FALSE).
  STDMETHOD(RootComponent)(IHostComponent** component) PURE;

 protected:
  ~IHostConfiguration() = default;
};
STAND_IN_INTERFACE_ID(IHostConfiguration, "5D4972F2-4444-406F-AB16-945156868417");

// A component of an assembly: the root, a sub-assembly, or a part placed
// with a transform. The components of a placed sub-assembly are the
// children of the component that places it.
struct IHostComponent : IUnknown {
  // The root's name is the assembly's title.
  STDMETHOD(Name)(BSTR* name) PURE;
  // The visible bodies of one HostBodyKind of the placed part, in the order
  // they were made, in the part's own coordinates; none for the root or a
  // sub-assembly.
  STDMETHOD(BodyEnumerator)(LONG kind, IHostBodyEnumerator** enumerator) PURE;
  // The component's own document (null and S_FALSE for the root component).
  STDMETHOD(Document)(IHostDocument** document) PURE;
  // kHostTransformValues doubles into `values`: the placement in the
  // assembly at the root of the tree (the identity for the root).
  STDMETHOD(TransformValues)(double* values) PURE;
  // The component's own material, kHostMaterialValues doubles; S_FALSE
  // when it has none of its own (its part's then applies).
  STDMETHOD(MaterialValues)(double* values) PURE;
  STDMETHOD(ChildCount)(LONG* count) PURE;
  // The direct children into `children`, room for ChildCount pointers.
  STDMETHOD(Children)(IHostComponent** children) PURE;

 protected:
  ~IHostComponent() = default;
};
STAND_IN_INTERFACE_ID(IHostComponent, "C9FEF9F6-2684-4058-9E20-5F73C6D8A814");

struct IHostBodyEnumerator : IUnknown {
  // The next `count` bodies: one at a time, another count is E_INVALIDARG.
  // S_FALSE with a null body after the last. `fetched` may be null.
  STDMETHOD(Next)(LONG count, IHostBody** body, LONG* fetched) PURE;

 protected:
  ~IHostBodyEnumerator() = default;
};
STAND_IN_INTERFACE_ID(IHostBodyEnumerator, "E34C9AA0-920E-4E63-A182-20FB1771CF2B");

struct IHostBody : IUnknown {
  // Adds one planar face bounded by the polygon of `count` points (x, y, z
  // each), with the unit normal `normal` (three doubles). The host refuses
  // (E_FAIL) a count other than 3 or 4, null or non-finite arguments and a
  // degenerate, non-planar or self-crossing polygon. The polygon's winding
  // orients the face, so a zero normal is accepted. Tolerances are relative
  // to the polygon's size (its largest corner-to-corner distance), with the
  // host's resolution of 1e-8 m as their floor: corners closer than 1e-9 of
  // the size coincide, a corner that close to the line through its
  // neighbours is collinear with them, and a quadrilateral is planar when
  // its corners lie within 1e-6 of the size of their mean plane.
  STDMETHOD(CreatePlanarFace)(LONG count, const double* points, const double* normal) PURE;
  // Sews the faces added so far into a body of the part, along the edges
  // whose ends are exactly equal. As a modeller's sewing does, it turns
  // round every face wound against its neighbours: the faces of each
  // connected piece agree with its first face, and a closed piece faces
  // outward. A solid when the faces close manifold shells that enclose a
  // volume: every edge shared by exactly two faces, the faces around each
  // vertex one fan, the faces orientable, and each shell's volume more than
  // its area times the coincidence tolerance of its size. A sheet
  // otherwise. No faces: E_FAIL.
  STDMETHOD(CreateBodyFromSurfaces)(IHostBody** body) PURE;

  // Surfaces, each made on the body and turned into one of its faces by
  // CreateTrimmedSurface or CreateBoundedSurface, which act on the surface
  // made last. `properties`: order in u, order in v, control points in v,
  // control points in u, periodic in u, periodic in v, 3, 0; the knot
  // vectors whole (order + count values each); the control points x, y, z
  // each, u running fastest. Refused (E_FAIL) on a sewn body, and for null
  // or non-finite arguments, an order below 2 (or above 32), fewer control
  // points than the order, a knot less than the one before it or repeated
  // more than the order (inside the domain, more than the order less one),
  // an empty domain, a dimension other than 3 or a last property other
  // than 0, control points that all coincide, or a periodic direction
  // whose control points do not repeat their first order - 1 at the end.
  STDMETHOD(CreateBSplineSurface)(const LONG* properties, const double* uKnots, const double* vKnots,
                                  const double* controlPoints, IHostSurface** surface) PURE;
  // The plane through `rootPoint` with the `normal` (three doubles each),
  // of any length but zero.
  STDMETHOD(CreatePlaneSurface)(const double* rootPoint, const double* normal, IHostSurface** surface) PURE;
  // The last surface, a plane cut to its trimming loop, becomes a face.
  // No surface, one that is a face already or has no loop: E_FAIL and
  // VARIANT_FALSE.
  STDMETHOD(CreateTrimmedSurface)(VARIANT_BOOL* ok) PURE;
  // The last surface, a B-spline surface bounded by its parameter `range`
  // (u start, u end, v start, v end), becomes a face; `uBounded` and
  // `vBounded` 1. A plane, a face already, or a range that is empty or
  // leaves the domain: E_FAIL.
  STDMETHOD(CreateBoundedSurface)(LONG uBounded, LONG vBounded, const double* range) PURE;

  // The read side: the first face (then IHostFace::NextFace), the name
  // ("Body1", "Body2", ... in the order sewn, unless renamed). A body from
  // NewBody has neither until it is sewn (E_FAIL).
  STDMETHOD(FirstFace)(IHostFace** face) PURE;
  STDMETHOD(Name)(BSTR* name) PURE;

 protected:
  ~IHostBody() = default;
};
STAND_IN_INTERFACE_ID(IHostBody, "05FFF422-A588-4D18-A2B8-B4A188029E5C");

struct IHostSurface : IUnknown {
  // One closed loop of `count` NURBS curves, joined end to end. Per curve:
  // its order, its dimension (-3 for the first, 3 for the others), its
  // periodic flag, its knot count (order + control points) and its
  // control-point count; then all knots and all control points (x, y, z),
  // curve after curve. `reserved` is null. The host trims planes only, one
  // loop each, before they are faces. Refused (E_FAIL): arrays that are
  // null or disagree, curves refused as a B-spline surface's directions
  // would be, curves that do not join end to end (each either way round,
  // in the order given) into one closed loop within the sewing tolerance,
  // a loop off its plane by more than that, or one that crosses or
  // touches itself or encloses no area.
  STDMETHOD(AddTrimmingLoop)(LONG count, const LONG* orders, const LONG* dimensions, const LONG* periodic,
                             const LONG* knotCounts, const LONG* controlPointCounts, const double* knots,
                             const double* controlPoints, const double* reserved) PURE;

 protected:
  ~IHostSurface() = default;
};
STAND_IN_INTERFACE_ID(IHostSurface, "4C7766C0-15D6-4A27-A2D8-BC55056502DA");

struct IHostFace : IUnknown {
  // The face's tessellation: `count` triangles; TriangleData (`option` 0,
  // another is E_INVALIDARG) fills 9 floats a triangle, the corners x, y, z
  // in metres, each triangle wound as the face (outward on a solid).
  STDMETHOD(TriangleCount)(LONG* count) PURE;
  STDMETHOD(TriangleData)(LONG option, float* data) PURE;
  // The next face of the body, null (and S_FALSE) after the last.
  STDMETHOD(NextFace)(IHostFace** next) PURE;

 protected:
  ~IHostFace() = default;
};
STAND_IN_INTERFACE_ID(IHostFace, "F57A4AA6-5DEF-4012-9BDC-1D73D7A6D044");

// A sketch's entities as records of doubles (metres), records back to back;
// the caller gives the room the counts and sizes ask for.
//   line:     6 values the caller need not read, start x y z, end x y z (12)
//   arc:      6 such values, start, end, centre, direction (+1 or -1) (16);
//             circles too, their start and end one point
//   spline:   6 such values, n, then n points (7 + 3n)
//   polyline: 1 such value, k, k such values, 6 such values, n, n points
//             (9 + k + 3n)
// A data call writes the records of the entities its count call last
// answered on the same object; with no count answered it fails (E_FAIL).
struct IHostSketch : IUnknown {
  STDMETHOD(LineCount)(LONG* count) PURE;
  STDMETHOD(LineData)(double* data) PURE;
  STDMETHOD(ArcCount)(LONG* count) PURE;
  STDMETHOD(ArcData)(double* data) PURE;
  // `size`: the doubles of all records; `count`: the records.
  STDMETHOD(SplineDataSize)(LONG* size, LONG* count) PURE;
  STDMETHOD(SplineData)(double* data) PURE;
  STDMETHOD(PolylineDataSize)(LONG* size, LONG* count) PURE;
  STDMETHOD(PolylineData)(double* data) PURE;

 protected:
  ~IHostSketch() = default;
};
STAND_IN_INTERFACE_ID(IHostSketch, "909245D6-604A-4E1D-8B6E-87B78BDAABB7");

// A list of host objects as the read side may walk it: items in order, each
// with an attached object whose inner object counts something.
struct IHostInnerObject : IUnknown {
  STDMETHOD(ItemCount)(LONG* count) PURE;

 protected:
  ~IHostInnerObject() = default;
};
STAND_IN_INTERFACE_ID(IHostInnerObject, "17D6BA30-8612-4242-9C19-158630A9AD7B");

struct IHostAttachedObject : IUnknown {
  STDMETHOD(InnerObject)(IHostInnerObject** inner) PURE;

 protected:
  ~IHostAttachedObject() = default;
};
STAND_IN_INTERFACE_ID(IHostAttachedObject, "B2BD7964-990D-4851-9E25-1F0D2A733870");

struct IHostListItem : IUnknown {
  STDMETHOD(AttachedObject)(IHostAttachedObject** object) PURE;
  STDMETHOD(ExtraObject)(IUnknown** object) PURE;
  // The next item, null (and S_FALSE) after the last.
  STDMETHOD(NextItem)(IHostListItem** next) PURE;

 protected:
  ~IHostListItem() = default;
};
STAND_IN_INTERFACE_ID(IHostListItem, "8B6C981E-DB32-4873-B5BF-15C61AE7C6F2");

struct IHostListOwner : IUnknown {
  // The first item, null (and S_FALSE) when the list is empty.
  STDMETHOD(FirstItem)(IHostListItem** item) PURE;

 protected:
  ~IHostListOwner() = default;
};
STAND_IN_INTERFACE_ID(IHostListOwner, "B7D1E985-D8F6-426B-A210-D5D5577CFFCC");

// An add-in's commands: groups of items by the add-in's user id, and the
// command tabs, which belong to the host (by document type and name) and
// outlive the groups whose commands they show.
struct IHostCommandManager : IUnknown {
  // A new, empty group. A user id the add-in already uses is refused (E_FAIL);
  // `position` -1 puts it last.
  STDMETHOD(CreateCommandGroup)(LONG userId, BSTR title, BSTR tooltip, BSTR hint, LONG position,
                                IHostCommandGroup** group) PURE;
  // `result` is the type code itself for a known HostDocumentType; any other
  // code is E_INVALIDARG.
  STDMETHOD(QueryDocumentType)(LONG documentType, LONG* result) PURE;
  // The tab of that name for the document type; null (and S_OK) when none.
  STDMETHOD(GetCommandTab)(LONG documentType, BSTR name, IHostCommandTab** tab) PURE;
  // A new tab; one of that name already there is refused (E_FAIL).
  STDMETHOD(AddCommandTab)(LONG documentType, BSTR name, IHostCommandTab** tab) PURE;
  // Removes the group and its items (not the tabs and boxes that show
  // them); no such group: E_FAIL.
  STDMETHOD(RemoveCommandGroup)(LONG userId, VARIANT_BOOL* ok) PURE;

 protected:
  ~IHostCommandManager() = default;
};
STAND_IN_INTERFACE_ID(IHostCommandManager, "8A65279B-BAAC-472A-8904-BBECD89EDEBC");

struct IHostCommandGroup : IUnknown {
  // The group's images, read from the file during the call: a BMP file,
  // 16 pixels high and a multiple of 16 wide for the small list (one icon
  // per 16 pixels, counted from the left), 24 and a multiple of 24 for the
  // large one, 16 by 16 and 24 by 24 for the main icons. A null path or a
  // file that is not such an image is refused (E_FAIL) and leaves the group
  // without that image.
  STDMETHOD(SetSmallIconList)(BSTR path) PURE;
  STDMETHOD(SetLargeIconList)(BSTR path) PURE;
  STDMETHOD(SetSmallMainIcon)(BSTR path) PURE;
  STDMETHOD(SetLargeMainIcon)(BSTR path) PURE;
  // Settings around adding items; they change nothing the add-in relies on.
  STDMETHOD(PreItemSetting)(LONG value) PURE;
  // Adds an item before Activate (after it: E_FAIL); `index` receives its
  // index in the group, from 0. `callback` names the method of the callback
  // object the item's button calls.
  STDMETHOD(AddCommandItem)(BSTR name, LONG position, BSTR hint, BSTR tooltip, LONG imageIndex, BSTR callback,
                            BSTR enableMethod, LONG userId, LONG options, LONG* index) PURE;
  STDMETHOD(PostItemSettingA)(LONG value) PURE;
  STDMETHOD(PostItemSettingB)(LONG value) PURE;
  // Makes the group's commands: each item gets its command id. Once only.
  STDMETHOD(Activate)(VARIANT_BOOL* ok) PURE;
  // The command id of the item at `index`; before Activate: E_FAIL.
  STDMETHOD(GetCommandId)(LONG index, LONG* id) PURE;

 protected:
  ~IHostCommandGroup() = default;
};
STAND_IN_INTERFACE_ID(IHostCommandGroup, "CDA1D75D-472A-4C95-8F37-091EEAE30EE9");

struct IHostCommandTab : IUnknown {
  // A new, empty box at the end of the tab.
  STDMETHOD(AddTabBox)(IHostCommandTabBox** box) PURE;

 protected:
  ~IHostCommandTab() = default;
};
STAND_IN_INTERFACE_ID(IHostCommandTab, "E1024FDC-09D3-425B-8C74-8FA1B8928156");

// Button text of AddCommands, per command.
enum HostTabButtonText {
  hostTabTextNone = 0,
  hostTabTextBelow = 1,
  hostTabTextBeside = 2,
};

struct IHostCommandTabBox : IUnknown {
  // Buttons for `count` commands (1 to 1024), each a command id of an
  // activated group with its HostTabButtonText. An unknown id or text type
  // refuses the whole call (E_INVALIDARG).
  STDMETHOD(AddCommands)(LONG count, const LONG* commandIds, const LONG* textTypes, VARIANT_BOOL* ok) PURE;

 protected:
  ~IHostCommandTabBox() = default;
};
STAND_IN_INTERFACE_ID(IHostCommandTabBox, "8D61A05C-96D5-408E-BE1C-0BEAE6A7B803");
