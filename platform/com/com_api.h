// The runtime functions of the component object model that this layer provides: strings,
// variants, error information, identifiers and class creation. They live in one shared
// library that every component of a process uses, so a BSTR allocated by one component can be
// freed by another and error information set by a library reaches its client.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/com/com_interfaces.h"

namespace platform::com {

// --- BSTR ---------------------------------------------------------------------------------

// A new BSTR holding the NUL-terminated text; nullptr for a null text or when out of memory.
KCOM_API BSTR SysAllocString(const OLECHAR* psz);
// A new BSTR holding len characters from pch (which may be null: the characters are then
// zero). nullptr when out of memory.
KCOM_API BSTR SysAllocStringLen(const OLECHAR* pch, UINT len);
// Frees a BSTR; nullptr is allowed.
KCOM_API void SysFreeString(BSTR bstr);
// The length in characters (0 for nullptr).
KCOM_API UINT SysStringLen(BSTR bstr);
// The length in bytes (0 for nullptr).
KCOM_API UINT SysStringByteLen(BSTR bstr);

// --- VARIANT ------------------------------------------------------------------------------

KCOM_API void VariantInit(VARIANT* pvarg);
// Releases what the variant owns and leaves it VT_EMPTY.
KCOM_API HRESULT VariantClear(VARIANT* pvarg);
// Clears dest, then makes it a copy of src (a new BSTR, a new reference).
KCOM_API HRESULT VariantCopy(VARIANT* pvargDest, const VARIANT* pvargSrc);
// Like VariantCopy, but a VT_BYREF source is copied as the value it points at.
KCOM_API HRESULT VariantCopyInd(VARIANT* pvarDest, const VARIANT* pvargSrc);
// Converts src (a reference is followed) to the type vt and stores it in dest, which may be
// src itself. Supports the empty, numeric, Boolean, string, error and interface types.
// DISP_E_TYPEMISMATCH when the value has no such form, DISP_E_OVERFLOW when it does not fit.
KCOM_API HRESULT VariantChangeType(VARIANT* pvargDest, const VARIANT* pvarSrc, WORD wFlags,
                                   VARTYPE vt);

// --- Error information --------------------------------------------------------------------

// Sets (or, with nullptr, clears) the error information of the calling thread. dwReserved
// must be 0.
KCOM_API HRESULT SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo);
// Takes the error information of the calling thread: *pperrinfo receives it (S_OK) and the
// thread's slot is emptied, or *pperrinfo is nullptr and S_FALSE when there is none.
KCOM_API HRESULT GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo);
// A new, empty error information object.
KCOM_API HRESULT CreateErrorInfo(ICreateErrorInfo** pperrinfo);

// Sets the thread's error information to (source, description) and returns hr, so that a
// failing method can end with `return ReportError(hr, u"Source", u"Text");`.
KCOM_API HRESULT ReportError(HRESULT hr, std::u16string_view source,
                             std::u16string_view description, REFGUID iid = GUID_NULL);

// Error information as plain data.
struct ErrorDetails {
    HRESULT hr = S_OK;
    std::u16string source;
    std::u16string description;
};
// Takes the thread's error information (emptying the slot) together with hr; empty source and
// description when there is none.
KCOM_API ErrorDetails TakeErrorDetails(HRESULT hr);

// --- Identifiers --------------------------------------------------------------------------

// A new random identifier (version 4).
KCOM_API HRESULT CoCreateGuid(GUID* pguid);
// Writes "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" with its NUL into lpsz; returns the number
// of characters written including the NUL, or 0 when cchMax is too small.
KCOM_API int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax);
// Reads the braced form above (hex digits in either case); CO_E_CLASSSTRING when malformed.
KCOM_API HRESULT CLSIDFromString(LPCOLESTR lpsz, CLSID* pclsid);
// The braced upper-case form as bytes, for registry keys.
KCOM_API std::string GuidToString(REFGUID guid);
// The braced form read from bytes; false when malformed.
KCOM_API bool GuidFromString(std::string_view text, GUID* guid);

// --- Class creation -----------------------------------------------------------------------

// The registry keys under which in-process servers register classes and program ids: the
// current user's, read first, and the machine's, read when the user's lacks the value (as the
// machine-wide hive is read after the user's).
inline constexpr std::string_view kClassesRoot = "HKCU\\Software\\Classes";
inline constexpr std::string_view kMachineClassesRoot = "HKLM\\Software\\Classes";

// Where a server's DllRegisterServer and DllUnregisterServer write: the current user's
// classes unless the registering process asked for all users (regsvr --all-users), as an
// installer redirects a server's self-registration. One setting per process.
enum class RegistrationScope { CurrentUser, AllUsers };
KCOM_API void SetRegistrationScope(RegistrationScope scope);
// kClassesRoot or kMachineClassesRoot, after the scope above.
KCOM_API std::string_view RegistrationClassesRoot();

// --- Apartments -------------------------------------------------------------------------
// Every thread is a single-threaded apartment: an object belongs to the thread it lives on,
// a sink to the thread that advised it. A call that another thread makes into it (an event
// raised on an object's own thread for a sink advised elsewhere) is posted to that thread's
// queue and runs there, in the order posted, when the thread pumps:
//   - while it waits for a call it made into an object of another thread (CoWaitForCalls, as
//     a thread blocked in such a call pumps messages), so events raised during the call
//     arrive before it returns;
//   - when it calls CoPumpCalls, a host's stand-in for its message loop.
// A thread that does neither gets its calls at its next call into another thread's object.

class Apartment;  // one thread's queue of posted calls
using ApartmentRef = std::shared_ptr<Apartment>;

// The calling thread's apartment.
KCOM_API ApartmentRef CurrentApartment();
// Posts call to apartment's thread. False (and call dropped on the calling thread) when that
// thread has ended.
KCOM_API bool PostToApartment(const ApartmentRef& apartment, std::function<void()> call);
// Runs the calls posted to the calling thread as they arrive, until done() is true with none
// waiting. done is looked at under the apartment's lock: keep it to reading a flag, and make
// it true, then call WakeApartment for the waiting thread's apartment.
KCOM_API void CoWaitForCalls(const std::function<bool()>& done);
KCOM_API void WakeApartment(const ApartmentRef& apartment);
// Runs the calls posted to the calling thread; when none is waiting, first waits up to
// timeoutMs for one. The number of calls run.
KCOM_API ULONG CoPumpCalls(DWORD timeoutMs);

// Nothing to set up on this platform: every thread is an apartment of its own. Kept so that
// clients read as they do elsewhere.
KCOM_API HRESULT CoInitialize(void* pvReserved);
KCOM_API void CoUninitialize();

// Creates an object of the class registered under Software\Classes\CLSID\{clsid}
// \InprocServer32 of the user's registry, else of the machine's: loads that library once per
// process (it is never unloaded), asks its DllGetClassObject for the class factory and the factory
// for riid.
//   REGDB_E_CLASSNOTREG      no such class registered (or no library path in the key)
//   CO_E_DLLNOTFOUND         the registered library file does not exist
//   HRESULT of ERROR_MOD_NOT_FOUND  the file exists but cannot be loaded
//   CO_E_ERRORINDLL          the library has no DllGetClassObject
//   CLASS_E_NOAGGREGATION    pUnkOuter given
// Failures set error information with the details (the library path, the loader's text).
KCOM_API HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext,
                                  REFIID riid, void** ppv);
// The class factory of a registered class (what CoCreateInstance uses).
KCOM_API HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, void* pvReserved,
                                  REFIID riid, void** ppv);
// The class of a program id ("Library.Class"), from Software\Classes\<progid>\CLSID of the
// user's registry, else of the machine's.
KCOM_API HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, CLSID* lpclsid);

}  // namespace platform::com
