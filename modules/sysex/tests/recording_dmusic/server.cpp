// The recorder's in-process server: the class object for CLSID_DirectMusic
// and the two exports COM calls (named by recording_dmusic.def).
#include <initguid.h>
// initguid.h first: the GUIDs the DirectMusic header declares are defined
// in this file.
#include "recorder.h"

namespace {

// Lives as long as the DLL; COM's references do not count.
class Factory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory)) {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    *out = this;
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    IDirectMusic8* music = recorder::createMusic();
    const HRESULT result = music->QueryInterface(iid, out);
    music->Release();
    return result;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock)
      InterlockedIncrement(&recorder::g_liveObjects);
    else
      InterlockedDecrement(&recorder::g_liveObjects);
    return S_OK;
  }
};

Factory g_factory;

}  // namespace

extern "C" HRESULT STDMETHODCALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (!IsEqualCLSID(clsid, CLSID_DirectMusic)) return CLASS_E_CLASSNOTAVAILABLE;
  return g_factory.QueryInterface(iid, out);
}

extern "C" HRESULT STDMETHODCALLTYPE DllCanUnloadNow() {
  return recorder::g_liveObjects == 0 ? S_OK : S_FALSE;
}
