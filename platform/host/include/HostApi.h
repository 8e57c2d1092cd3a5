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

 protected:
  ~IHostBody() = default;
};
STAND_IN_INTERFACE_ID(IHostBody, "05FFF422-A588-4D18-A2B8-B4A188029E5C");

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
