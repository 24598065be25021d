// The control's 32 methods as pages know them (resources/qelcrypt.idl and
// the README's table): DISPID, name, result type, and each parameter's name
// and what it holds. The tests' own copy, kept apart from the control's
// dispatch table on purpose: the tests hold the control to it.
#ifndef QEL_TESTS_SUPPORT_METHODS_H
#define QEL_TESTS_SUPPORT_METHODS_H

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

namespace methods {

// What a parameter holds: a text to sign or encrypt, a certificate's CN or
// OU, a file name, a DES key, a signature, a certificate text, a cipher text,
// any text (InitCSP, AddLog, a session), a length, a signature type.
enum class Role { Data, Cn, Ou, File, Key, Sig, Cert, Cipher, Any, Length, Type };

struct Param {
    const char* name;
    Role role;
};

struct Method {
    DISPID id;
    const char* name;
    VARTYPE result;  // VT_EMPTY: the method gives nothing
    std::vector<Param> params;
};

// Every method, by DISPID (1 to 32).
const std::vector<Method>& All();

// The method of a DISPID or of a name (letter case as written); null when none.
const Method* Find(DISPID id);
const Method* Find(const std::string& name);

// The type a parameter of this role is declared with: VT_I4 for lengths and
// types, VT_BSTR for the rest.
VARTYPE TypeOf(Role role);

// A name of the table as UTF-16 (the names are ASCII).
std::wstring Wide(const char* name);

}  // namespace methods

#endif
