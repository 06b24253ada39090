// The COM basics that the host boundary is built from: HRESULT, GUID, IUnknown
// and the calling-convention macro. On Windows these come from the system
// headers; elsewhere this header defines the same names with the same layout.
#ifndef GRIDWRIGHT_PLATFORM_COM_BASE_H
#define GRIDWRIGHT_PLATFORM_COM_BASE_H

#include <stdint.h>

#if defined(_WIN32)
#include <objbase.h>
#define GW_STDCALL __stdcall
#else

// 32-bit Windows methods use __stdcall (above); everywhere else the default applies.
#define GW_STDCALL
#define STDMETHODCALLTYPE GW_STDCALL

typedef int32_t HRESULT;
typedef uint32_t ULONG;

#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_NOINTERFACE ((HRESULT)0x80004002L)
#define E_FAIL ((HRESULT)0x80004005L)
#define E_POINTER ((HRESULT)0x80004003L)
#define E_OUTOFMEMORY ((HRESULT)0x8007000EL)
#define RPC_E_SERVERCALL_RETRYLATER ((HRESULT)0x8001010AL)
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)

typedef struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
} GUID;
typedef GUID IID;
#define REFIID const IID&

#ifdef __cplusplus
inline bool IsEqualIID(const IID& a, const IID& b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i) {
    if (a.Data4[i] != b.Data4[i]) return false;
  }
  return true;
}
#endif

#ifdef __cplusplus
// The root of every COM interface: three methods in this slot order.
struct IUnknown {
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) = 0;
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;
};
#endif

#endif  // !_WIN32

// IID of IUnknown, {00000000-0000-0000-C000-000000000046}.
#ifdef __cplusplus
inline constexpr IID kIidIUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
#endif

#endif  // GRIDWRIGHT_PLATFORM_COM_BASE_H
