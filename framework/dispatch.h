// Table-driven IDispatch: one static table describes every method of a
// dispatch interface (name, DISPID, result and parameter types, parameter
// names, handler), and two functions answer GetIDsOfNames and Invoke from it.
//
// Contract of DispInvoke, in the order the checks run, before any handler:
//   - an unknown DISPID gives DISP_E_MEMBERNOTFOUND; so does a property put
//     (all members are methods; DISPATCH_METHOD and DISPATCH_PROPERTYGET call);
//   - an argument count other than the method's gives DISP_E_BADPARAMCOUNT;
//   - named arguments are honoured when each names a parameter (its position,
//     as GetIDsOfNames gives it) that no other argument fills; otherwise
//     DISP_E_PARAMNOTFOUND with *puArgErr the offending rgvarg index;
//   - each argument is coerced (VariantChangeType, by-reference arguments
//     followed) to its parameter's type; failure gives DISP_E_TYPEMISMATCH
//     with *puArgErr the rgvarg index of the argument.
// Text parameters reach handlers as 8-bit text in the ANSI code page
// (CP_ACP), NUL-terminated; a NULL BSTR arrives as "". Text results go back
// as a new BSTR converted the same way; long results as VT_I4, short as VT_I2.
// A C++ exception leaving a handler becomes DISP_E_EXCEPTION (E_OUTOFMEMORY
// for std::bad_alloc) with the exception's text in EXCEPINFO; nothing throws
// across the COM boundary.
//
// DispGetIDsOfNames matches the member name (first name) case-insensitively
// and the remaining names against the member's parameter names, which get
// DISPIDs 0, 1, ... by position. Unknown names give DISPID_UNKNOWN and
// DISP_E_UNKNOWNNAME.
#ifndef QEL_FRAMEWORK_DISPATCH_H
#define QEL_FRAMEWORK_DISPATCH_H

#include <windows.h>
#include <oleauto.h>

#include <string>

namespace fw {

enum class DispType : unsigned char {
    Void,   // results only
    Short,  // VT_I2
    Long,   // VT_I4
    Text,   // VT_BSTR, 8-bit text inside
};

const int kMaxDispArgs = 4;

// The coerced arguments of one call, in declaration order.
class DispArgs {
public:
    const char* Text(int i) const { return m_text[i].c_str(); }
    size_t TextLength(int i) const { return m_text[i].size(); }
    long Long(int i) const { return m_long[i]; }

    std::string m_text[kMaxDispArgs];
    long m_long[kMaxDispArgs] = {};
};

// What a handler returns; Set the kind its table entry declares.
class DispResult {
public:
    void SetLong(long v) { m_long = v; }
    void SetShort(short v) { m_long = v; }
    void SetText(std::string v) { m_text = std::move(v); }

    long m_long = 0;
    std::string m_text;
};

// `self` is the object whose table is used (the control passes itself).
using DispHandler = void (*)(void* self, const DispArgs& args, DispResult& result);

struct DispMethod {
    const wchar_t* name;
    DISPID id;
    DispType result;
    int argCount;
    DispType argTypes[kMaxDispArgs];
    const wchar_t* argNames[kMaxDispArgs];
    DispHandler handler;
};

struct DispTable {
    const DispMethod* methods;
    size_t count;

    const DispMethod* Find(DISPID id) const;
    const DispMethod* Find(const wchar_t* name) const;  // case-insensitive
};

HRESULT DispGetIDsOfNames(const DispTable& table, LPOLESTR* names, UINT count, DISPID* ids);

HRESULT DispInvoke(const DispTable& table, void* self, DISPID id, WORD flags, DISPPARAMS* params,
                   VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr);

// Conversions between BSTR and 8-bit text in the ANSI code page.
std::string BstrToAnsi(BSTR text);
BSTR AnsiToBstr(const std::string& text);

}  // namespace fw

#endif
