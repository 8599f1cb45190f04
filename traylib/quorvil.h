// quorvil: the tray icon component. This is the whole surface a client compiles against; it
// binds to the library only through the component object model (CoCreateInstance with
// CLSID_SysTray, IDispatch, the connection point of the event interface).
//
// The type library "quorvil" (language 0x409) holds seven types:
//   _SysTray    dual interface     the tray icon
//   SysTray     class              creatable; default interface _SysTray, events __SysTray
//   __SysTray   dispatch interface the events, dispatch ids 1 to 6
//   _MenuItems  dual interface     the popup menu model, an ordered collection with keys
//   MenuItems   class              not creatable by clients; reached through _SysTray::Menu
//   _MenuItem   dual interface     one menu entry
//   MenuItem    class              not creatable by clients; made by _MenuItems::Add
// The identifiers below are fixed for good: clients and registrations depend on them.
//
// Type information. Every object answers IDispatch::GetTypeInfo with the type information of
// its interface, from the same description that its GetIDsOfNames and Invoke answer from;
// ITypeInfo::GetContainingTypeLib leads to the library (ITypeLib, language 0x409, version
// 1.0, the seven types above). SysTray offers IProvideClassInfo and IProvideClassInfo2 (the
// class with its default interface and its default source, __SysTray), and its connection
// point container enumerates its one connection point, which enumerates its connections.
// A dual interface is described as COM describes one: its TKIND_DISPATCH information
// (TYPEFLAG_FDUAL, implementing IDispatch) is the dispatch interface that Invoke serves, one
// function per accessor or method in vtable order, with dispatch ids, invoke kinds, parameter
// names, types, flags and default values, result types, NewEnum hidden; its
// GetRefTypeOfImplType(-1) hands over the TKIND_INTERFACE view of the vtable (the same
// functions in their slots after IDispatch's seven, returning HRESULT, a result as a last
// retval parameter), whose own GetRefTypeOfImplType(-1) leads back. The event interface
// implements IDispatch too. A client that holds any ITypeInfo or the ITypeLib keeps the
// library loaded (DllCanUnloadNow). Not provided: ITypeInfo::GetTypeComp and
// ITypeLib::GetTypeComp (E_NOTIMPL), descriptions of IDispatch's and IUnknown's own functions
// and their library, documentation strings and help files (empty), module entry points
// (GetDllEntry, AddressOfMember: TYPE_E_BADMODULEKIND), variables (there are none).
//
// Threads. The objects live on a GUI thread, where the icon and the menu are shown:
//   - in a Qt GUI program (one that runs a QApplication, constructed before its first object):
//     the thread of that application, which must run its event loop;
//   - in any other host, when an X display accepts connections (DISPLAY; Qt's xcb platform): a
//     GUI thread of the library's own, whose Qt application runs from the first object until
//     the last is released;
//   - otherwise (no display, a Qt application without widgets) there is none: the icon and the
//     menu cannot be shown, yet every property keeps its value, ShowMenu returns at once
//     without MenuClick, SendEvent raises its events, and everything runs on the calling thread.
// Any thread may call any object: a call from another thread is carried to the GUI thread and
// waits until it has run there, as a call into a single-threaded apartment does; ShowMenu
// waits until the menu has closed.
//
// Events. Every event (icon clicks, MenuClick, SendEvent's) reaches a sink on the thread that
// advised it, as COM's apartments deliver them:
//   - a sink advised on the GUI thread gets it at once, raised synchronously from the
//     window-message dispatch or inside the call (in a Qt GUI program, its own thread);
//   - a sink advised on any other thread (a plain host's thread, a Qt program's worker) gets it
//     posted to that thread, in the order raised, when the thread pumps (platform/com/
//     com_api.h, Apartments): while it is inside any call into the library, so that events
//     raised during a call arrive before the call returns (MenuClick before ShowMenu returns),
//     and whenever it calls CoPumpCalls, a plain host's stand-in for its message loop. A host
//     whose thread waits for user actions must pump so (a thread that never does gets the
//     events at its next call). The library does not wait for such a handler: the event's
//     arguments are copies (an argument by reference refers to the copy), and the handler may
//     call the library, or release its last reference, freely.
// A thread that waits for another one without pumping must not be needed by it: in a Qt GUI
// program, the GUI thread that waits for a worker (joins it, blocks on a lock or a condition)
// without running its event loop deadlocks as soon as that worker calls the library, whose
// calls are carried to the GUI thread; that is COM's own rule for a single-threaded
// apartment. Releasing the last object from another thread returns once the object, and the
// library's own Qt application with it, has gone, so a host may end right after.
#pragma once

#include "platform/com/com_interfaces.h"
#include "platform/com/com_types.h"

namespace quorvil {

using namespace platform::com;

// --- Identifiers --------------------------------------------------------------------------

inline constexpr GUID LIBID_quorvil = {
    0xCC87B717, 0x7A27, 0x437B, {0xAD, 0xC1, 0x7C, 0x82, 0x2D, 0x0C, 0x1F, 0xDF}};
inline constexpr IID IID__SysTray = {
    0x727E8364, 0x01D1, 0x41A6, {0xB0, 0x4D, 0x3C, 0xEA, 0x70, 0xF9, 0x65, 0x8F}};
inline constexpr CLSID CLSID_SysTray = {
    0x813EA4EB, 0xF8E1, 0x49AF, {0x92, 0x4D, 0xAB, 0x5F, 0x54, 0xD1, 0xFE, 0x44}};
inline constexpr IID DIID___SysTray = {
    0x7EBCFD32, 0x22B4, 0x406E, {0x98, 0xA7, 0x7C, 0xF6, 0xDE, 0xA1, 0x2C, 0x7E}};
inline constexpr IID IID__MenuItems = {
    0xC7DD35DB, 0xB128, 0x4249, {0xBA, 0xC1, 0xF0, 0xEF, 0xAE, 0xE9, 0x6B, 0xFE}};
inline constexpr CLSID CLSID_MenuItems = {
    0x2DCC5AC0, 0x66C8, 0x48F2, {0xAE, 0xE8, 0x33, 0x7A, 0x88, 0x23, 0x43, 0x6A}};
inline constexpr IID IID__MenuItem = {
    0x7EEC3E81, 0x54A0, 0x4FDF, {0xA7, 0x80, 0x87, 0x3D, 0x3E, 0xE5, 0xCE, 0x1C}};
inline constexpr CLSID CLSID_MenuItem = {
    0xFD370CC5, 0x05C6, 0x4793, {0xAE, 0xE3, 0x3E, 0x13, 0x1C, 0x0E, 0x23, 0x0E}};

inline constexpr LCID kTypeLibLcid = 0x409;

// The program id that DllRegisterServer registers for SysTray.
inline constexpr const char16_t* kSysTrayProgId = u"quorvil.SysTray";

// --- Dispatch ids -------------------------------------------------------------------------

enum : DISPID {
    DISPID_MenuItem_Caption = 0x68030005,
    DISPID_MenuItem_Key = 0x68030004,
    DISPID_MenuItem_Tag = 0x68030003,
    DISPID_MenuItem_ItemData = 0x68030002,
    DISPID_MenuItem_Checked = 0x68030001,
    DISPID_MenuItem_Enabled = 0x68030000,

    DISPID_MenuItems_Item = 0x68030001,
    DISPID_MenuItems_Count = 0x68030000,
    DISPID_MenuItems_Add = 0x60030002,
    DISPID_MenuItems_Remove = 0x60030003,
    DISPID_MenuItems_Clear = 0x60030004,
    DISPID_MenuItems_NewEnum = DISPID_NEWENUM,  // hidden

    DISPID_SysTray_MenuCheck = 0x40030007,
    DISPID_SysTray_Menu = 0x68030005,
    DISPID_SysTray_Visible = 0x68030004,
    DISPID_SysTray_EnableMenu = 0x68030003,
    DISPID_SysTray_ImageList = 0x68030002,
    DISPID_SysTray_Icon = 0x68030001,
    DISPID_SysTray_ToolTipText = 0x68030000,
    DISPID_SysTray_ShowMenu = 0x6003000A,
    DISPID_SysTray_SendEvent = 0x6003000B,
};

// The events of __SysTray, raised on the sinks connected to SysTray's connection point.
// Button is a 32-bit mouse-button code (kButtonLeft, kButtonRight); MenuClick's Item is the
// chosen _MenuItem, passed by reference (VT_BYREF | VT_DISPATCH).
enum : DISPID {
    DISPID_SysTrayEvents_Click = 1,        // Click(Button)
    DISPID_SysTrayEvents_MouseDown = 2,    // MouseDown(Button)
    DISPID_SysTrayEvents_MouseUp = 3,      // MouseUp(Button)
    DISPID_SysTrayEvents_MouseMove = 4,    // MouseMove()
    DISPID_SysTrayEvents_DoubleClick = 5,  // DoubleClick(Button)
    DISPID_SysTrayEvents_MenuClick = 6,    // MenuClick(Item)
};

inline constexpr LONG kButtonLeft = 1;
inline constexpr LONG kButtonRight = 2;

// The window message that the shell sends to SysTray's hidden window for its icon.
inline constexpr UINT TrayCallbackMessage = 1125;

// --- Errors -------------------------------------------------------------------------------
// Reported as HRESULT 0x800A0000 | number, with error information (source, description).

// SysTray: ImageList given an object that is not an image list.
inline constexpr LONG ErrInvalidObject = 35610;
inline constexpr const char16_t* kSysTrayErrorSource = u"SystemTray Class";
inline constexpr const char16_t* kInvalidObjectText = u"Invalid Object";

// MenuItems: Item or Remove with a position outside 1 to Count.
inline constexpr LONG ErrMenuPositionOutOfRange = 9;
inline constexpr const char16_t* kMenuPositionOutOfRangeText =
    u"There is no menu entry at this position";
// MenuItems: Item or Remove with a key that no entry has.
inline constexpr LONG ErrMenuKeyNotFound = 5;
inline constexpr const char16_t* kMenuKeyNotFoundText = u"There is no menu entry with this key";
// MenuItems: Add with a key that another entry has already (letter case aside).
inline constexpr LONG ErrMenuKeyInUse = 457;
inline constexpr const char16_t* kMenuKeyInUseText =
    u"This key already belongs to another menu entry";
// MenuItems: an index that is neither a number (position) nor a string (key) fails with the
// standard DISP_E_TYPEMISMATCH.
inline constexpr const char16_t* kMenuErrorSource = u"MenuItems Class";

// --- Interfaces ---------------------------------------------------------------------------

// One menu entry. Properties in this order, each with its put before its get: Caption
// (string, "-" makes a separator), Key (the key it was filed under; changing it does not
// refile the entry), Tag (free for the client), ItemData (free for the client), Checked,
// Enabled. A new entry has "", "", "" (an empty string), 0, False, True.
struct _MenuItem : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE put_Caption(BSTR value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Caption(BSTR* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Key(BSTR value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Key(BSTR* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Tag(VARIANT value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Tag(VARIANT* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_ItemData(LONG value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ItemData(LONG* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Checked(VARIANT_BOOL value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Checked(VARIANT_BOOL* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Enabled(VARIANT_BOOL value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Enabled(VARIANT_BOOL* value) = 0;

  protected:
    ~_MenuItem() = default;
};

// The menu model: entries at positions 1 to Count, optionally filed under a key that is
// unique without regard to letter case.
struct _MenuItems : IDispatch {
    // Index: a number is a position, a string is a key.
    virtual HRESULT STDMETHODCALLTYPE get_Item(VARIANT Index, _MenuItem** result) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Count(LONG* result) = 0;
    // Caption is required. Through IDispatch the others are optional: Key "" (no key), Tag
    // no value (VT_EMPTY), ItemData 0, Checked False, Enabled True. Through the vtable a
    // null BSTR is "", a Tag of VT_ERROR/DISP_E_PARAMNOTFOUND is "omitted" and a null Checked
    // is False. Checked is passed by reference.
    virtual HRESULT STDMETHODCALLTYPE Add(BSTR Caption, BSTR Key, VARIANT Tag, LONG ItemData,
                                          VARIANT_BOOL* Checked, VARIANT_BOOL Enabled,
                                          _MenuItem** result) = 0;
    // Always returns an empty variant. Later entries move up by one position.
    virtual HRESULT STDMETHODCALLTYPE Remove(VARIANT Index, VARIANT* result) = 0;
    // Always returns an empty variant.
    virtual HRESULT STDMETHODCALLTYPE Clear(VARIANT* result) = 0;
    // An IEnumVARIANT over the entries in order (hidden; dispatch id DISPID_NEWENUM).
    virtual HRESULT STDMETHODCALLTYPE get_NewEnum(IUnknown** result) = 0;

  protected:
    ~_MenuItems() = default;
};

// The tray icon. Members in this order; within each property the accessors stand as listed
// (get before put for MenuCheck, put before get for the others).
struct _SysTray : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_MenuCheck(VARIANT_BOOL* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_MenuCheck(VARIANT_BOOL value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Menu(_MenuItems** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Visible(VARIANT_BOOL value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Visible(VARIANT_BOOL* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_EnableMenu(VARIANT_BOOL value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_EnableMenu(VARIANT_BOOL* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE putref_ImageList(IDispatch* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ImageList(IDispatch** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Icon(VARIANT value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Icon(VARIANT* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_ToolTipText(BSTR value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ToolTipText(BSTR* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE ShowMenu() = 0;
    virtual HRESULT STDMETHODCALLTYPE SendEvent(LONG MouseEvent) = 0;

  protected:
    ~_SysTray() = default;
};

// The event interface: a dispatch interface that the client's sink implements (IDispatch
// only; the events arrive through Invoke with the ids above).
struct __SysTray : IDispatch {
  protected:
    ~__SysTray() = default;
};

}  // namespace quorvil
