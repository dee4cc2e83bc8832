// IUnknown for the stand-in's objects: counted, created with a count of 1,
// answering QueryInterface for IUnknown and the interfaces listed.
#pragma once

#include <windows.h>

#include "webview/webview2/webview2.h"

namespace standin {

template <class Methods, class... Interfaces>
class ComObject : public Methods {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    const bool listed = (IsEqualIID(iid, kiln::IidOf<Interfaces>()) || ...);
    if (!IsEqualIID(iid, IID_IUnknown) && !(listed && Offers(iid))) return E_NOINTERFACE;
    // Every listed interface lies on one single-inheritance chain, so they
    // all share this one pointer.
    *object = static_cast<Methods*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    return static_cast<ULONG>(InterlockedIncrement(&count_));
  }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG count = InterlockedDecrement(&count_);
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
  }

  LONG ReferenceCount() const { return count_; }

 protected:
  ComObject() = default;
  virtual ~ComObject() = default;
  // Lets an object refuse a listed interface at run time.
  virtual bool Offers(REFIID) const { return true; }

 private:
  LONG count_ = 1;
};

}  // namespace standin
