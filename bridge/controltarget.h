// The host's Target: one QelCrypt control created in-process through COM
// (CoCreateInstance by CLSID, so the registration the installer made is
// what runs), called by name through its IDispatch with the parameter types
// its type information declares. Lives on the host's single STA thread.
#ifndef QEL_BRIDGE_CONTROLTARGET_H
#define QEL_BRIDGE_CONTROLTARGET_H

#include "comutil.h"
#include "session.h"

#include <windows.h>
#include <oaidl.h>

#include <map>
#include <string>
#include <vector>

namespace bridge {

class CControlTarget : public Target {
public:
    CControlTarget() = default;
    CControlTarget(const CControlTarget&) = delete;
    CControlTarget& operator=(const CControlTarget&) = delete;

    // The control is created on the first Find, so that a connection that
    // is refused never loads it.
    Lookup Find(const std::string& name, MethodInfo* method, std::string* why) override;
    bool Call(const MethodInfo& method, const std::vector<Argument>& args, json::Value* result,
              std::string* why) override;

    // Releases the control (before COM is uninitialised).
    void Release();

private:
    bool Ensure();
    bool LoadMethods(ITypeInfo* info);

    fw::CComPtr<IDispatch> m_disp;
    bool m_tried = false;
    std::string m_failure;
    std::map<DISPID, MethodInfo> m_methods;  // the methods callable with our argument types
};

}  // namespace bridge

#endif
