// The plug-in's front door: the exported entry point F_ApiClientInit, the
// notifications object through which the host drives the plug-in, and the
// client description built from the library's version resource.
//
// Start-up obtains the host's fifteen interfaces (the API interface among
// them), creates the one notifications object with one reference, attaches it
// to the host and drops that reference: from then on only the host's
// references keep it alive, and the last Release runs the shutdown, which
// releases every host interface (after which every host operation fails).
#ifndef GRIDWRIGHT_HOST_CLIENT_ENTRY_H
#define GRIDWRIGHT_HOST_CLIENT_ENTRY_H

#include "host/client_hooks.h"
#include "host/fm_api.h"

#if defined(_WIN32)
// Exported by the module definition file (exports.def) under its decorated name.
#define GW_CLIENT_EXPORT
#else
#define GW_CLIENT_EXPORT __attribute__((visibility("default")))
#endif

// ---- The entry point ------------------------------------------------------------------

// The library's only export. Returns 0 when the plug-in is attached to the
// host, -1 when hostObject is NULL, does not yield the API interface, or kept
// no reference to the notifications object (which then shut down at once).
// description is handed to the host unchanged; when it is NULL (and the
// module handle is not) the plug-in builds the description itself. A second
// call while a notifications object exists returns -1 and changes nothing.
extern "C" GW_CLIENT_EXPORT int32_t GW_STDCALL F_ApiClientInit(void* moduleHandle, IUnknown* hostObject,
                                                              IUnknown* lifetimeObject,
                                                              const PropertyList* description);

// ---- The notifications object -----------------------------------------------------------

// A reference-counted COM object. The count is a plain integer (one thread).
// Release at 0 adds 100 before it destroys the object, so that a Release made
// during destruction cannot reach 0 again; CanRelease may veto destruction.
class ComUltraliteC : public IUnknown {
 public:
  ComUltraliteC();
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // Sets *object (adding a reference) and returns 1 for an interface the
  // object answers to; leaves *object alone and returns 0 otherwise. This
  // base answers IUnknown only.
  virtual int32_t FindInterface(REFIID iid, void** object);
  // 1 when the object may be destroyed now.
  virtual int32_t CanRelease();
  virtual ~ComUltraliteC();

 protected:
  int32_t referenceCount_;
};

// Adds the two host notification interfaces; their IUnknown methods all act
// on the one object.
class FmApiInterfacesC : public ComUltraliteC,
                         public IFrameMakerCMSNotifications0,
                         public IFrameMakerNotifications0 {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
};

// The plug-in's notifications object. Its methods hand the host's calls to
// the command layer (client_hooks.h) and return S_OK whatever the command
// did; a fatal stop raised inside them passes through to the host. The
// destructor is the shutdown.
class FrameMakerNotificationsC : public FmApiInterfacesC {
 public:
  int32_t FindInterface(REFIID iid, void** object) override;
  ~FrameMakerNotificationsC() override;

  HRESULT STDMETHODCALLTYPE Initialize(int32_t initializationCode) override;
  HRESULT STDMETHODCALLTYPE Quit() override;
  HRESULT STDMETHODCALLTYPE Command(int32_t commandNumber) override;
  HRESULT STDMETHODCALLTYPE Message(uint32_t a, uint32_t b, uint32_t c) override;
  HRESULT STDMETHODCALLTYPE DialogEvent(uint32_t a, uint32_t b, uint32_t c) override;
  HRESULT STDMETHODCALLTYPE Notify(int32_t notification, ObjectId document, const char* text,
                                   int32_t value) override;
  // Type 0: the library's full file name with its zero byte; other types: the
  // library's resource of that type and name. The answer block comes from
  // CoTaskMemAlloc and is the host's. E_FAIL when there is nothing to send
  // (answer untouched), E_OUTOFMEMORY when the block cannot be allocated,
  // E_POINTER for a NULL answer record.
  HRESULT STDMETHODCALLTYPE GetResource(int32_t resourceType, const char* resourceName,
                                        ResourceData* answer) override;
  HRESULT STDMETHODCALLTYPE CMSCommand(uint32_t a, uint32_t b, uint32_t c, uint32_t d,
                                       void* commandRecord) override;
};

// The notifications object while one exists (no reference is added), else NULL.
IUnknown* ClientNotificationsObject(void);

// ---- The client description -----------------------------------------------------------------

// A property list of string values, one per version-resource key found
// (codes 2 "ClientName" to 11 "ClientOutFormat"). Empty when the library's file
// name or version resource cannot be read. The caller frees it with
// FreePropertyList.
PropertyList ClientBuildDescription(void);

// ---- Notify code 75 ------------------------------------------------------------------------

// Splits text at each byte 0x1E into fresh strings: the first six fill the
// slots, the rest go to fields->more in order ("a\x1E" gives "a" and ""). A
// NULL text gives no fields. Allocations must succeed (a shortage is fatal).
void SplitNotifyFields(const char* text, NotifyFields* fields);
// Frees every string and the list array; leaves the record zeroed.
void FreeNotifyFields(NotifyFields* fields);

#endif  // GRIDWRIGHT_HOST_CLIENT_ENTRY_H
