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

#include <cstddef>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

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
    const char* source;  // the object's name in EXCEPINFO (8-bit text); null: none

    const DispMethod* Find(DISPID id) const;
    const DispMethod* Find(const wchar_t* name) const;  // case-insensitive
};

// ---- Rows derived from a member function's signature ----
//
// DispRow<Self, &Class::Method>(name, id, {parameter names}) builds the table
// row of a method whose parameters are `const char*` (Text), `long` (Long)
// or `short` (Short) and whose result is void, short, long or std::string:
// the types, the count and the call are read off the signature, so a row
// states them once. The handler turns `self` into Class* through Self*
// (the type the object's Invoke passes as void*).

template <class T>
struct DispTypeOf;
template <> struct DispTypeOf<void> { static constexpr DispType value = DispType::Void; };
template <> struct DispTypeOf<short> { static constexpr DispType value = DispType::Short; };
template <> struct DispTypeOf<long> { static constexpr DispType value = DispType::Long; };
template <> struct DispTypeOf<const char*> { static constexpr DispType value = DispType::Text; };
template <> struct DispTypeOf<std::string> { static constexpr DispType value = DispType::Text; };

template <class M>
struct DispSignature;
template <class C, class R, class... A>
struct DispSignature<R (C::*)(A...)> {
    using Class = C;
    using Result = R;
    using Args = std::tuple<A...>;
    static constexpr int arity = sizeof...(A);
};

namespace dispdetail {

template <class A>
A Arg(const DispArgs& args, int i)
{
    if constexpr (std::is_same<A, const char*>::value)
        return args.Text(i);
    else
        return static_cast<A>(args.Long(i));
}

inline void Store(DispResult& result, std::string value) { result.SetText(std::move(value)); }
inline void Store(DispResult& result, short value) { result.SetShort(value); }
inline void Store(DispResult& result, long value) { result.SetLong(value); }

template <class Self, auto M, size_t... I>
void Call(void* self, const DispArgs& args, DispResult& result, std::index_sequence<I...>)
{
    using Sig = DispSignature<decltype(M)>;
    auto* object = static_cast<typename Sig::Class*>(static_cast<Self*>(self));
    (void)args;
    if constexpr (std::is_void<typename Sig::Result>::value) {
        (void)result;
        (object->*M)(Arg<typename std::tuple_element<I, typename Sig::Args>::type>(args, I)...);
    } else {
        Store(result, (object->*M)(Arg<typename std::tuple_element<I, typename Sig::Args>::type>(args, I)...));
    }
}

template <class Self, auto M>
void Thunk(void* self, const DispArgs& args, DispResult& result)
{
    Call<Self, M>(self, args, result, std::make_index_sequence<DispSignature<decltype(M)>::arity>());
}

}  // namespace dispdetail

template <class... A>
void SetArgTypes(DispMethod& row, std::tuple<A...>*)
{
    const DispType types[] = {DispTypeOf<A>::value..., DispType::Void};
    for (size_t i = 0; i < sizeof...(A); ++i)
        row.argTypes[i] = types[i];
}

template <class Self, auto M, size_t N>
DispMethod DispRow(const wchar_t* name, DISPID id, const wchar_t* const (&argNames)[N])
{
    using Sig = DispSignature<decltype(M)>;
    static_assert(N == static_cast<size_t>(Sig::arity), "one parameter name for each parameter");
    static_assert(N <= static_cast<size_t>(kMaxDispArgs), "too many parameters for a dispatch row");
    DispMethod row = {name, id, DispTypeOf<typename Sig::Result>::value, Sig::arity, {}, {},
                      &dispdetail::Thunk<Self, M>};
    SetArgTypes(row, static_cast<typename Sig::Args*>(nullptr));
    for (size_t i = 0; i < N; ++i)
        row.argNames[i] = argNames[i];
    return row;
}

template <class Self, auto M>
DispMethod DispRow(const wchar_t* name, DISPID id)
{
    static_assert(DispSignature<decltype(M)>::arity == 0, "name the parameters");
    return {name, id, DispTypeOf<typename DispSignature<decltype(M)>::Result>::value, 0, {}, {},
            &dispdetail::Thunk<Self, M>};
}

HRESULT DispGetIDsOfNames(const DispTable& table, LPOLESTR* names, UINT count, DISPID* ids);

HRESULT DispInvoke(const DispTable& table, void* self, DISPID id, WORD flags, DISPPARAMS* params,
                   VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr);

// Conversions between BSTR and 8-bit text in the ANSI code page.
std::string BstrToAnsi(BSTR text);
BSTR AnsiToBstr(const std::string& text);

}  // namespace fw

#endif
