// One class factory for every class of the module, driven by a table of
// classes: DllGetClassObject looks the CLSID up and hands out a factory that
// creates objects through the entry's creator.
#ifndef QEL_FRAMEWORK_CLASSFACTORY_H
#define QEL_FRAMEWORK_CLASSFACTORY_H

#include <windows.h>
#include <unknwn.h>

namespace fw {

// Creates a new object and returns the requested interface of it (one
// reference), or an error with *ppv set to null.
using CreateInstanceFn = HRESULT (*)(REFIID riid, void** ppv);

struct ClassEntry {
    const CLSID* clsid;
    CreateInstanceFn create;
};

// DllGetClassObject over a table of classes. Aggregation is not supported
// (CLASS_E_NOAGGREGATION); an unknown CLSID gives CLASS_E_CLASSNOTAVAILABLE.
HRESULT GetClassObject(const ClassEntry* classes, size_t count, REFCLSID clsid, REFIID riid, void** ppv);

}  // namespace fw

#endif
