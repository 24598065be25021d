// The dispatch fuzzer's hostile values: texts around the working buffers
// up to 1 MiB, NULL and embedded NULs, format directives, damaged Base64
// and PEM, Chinese text, boundary numbers, and paths of every form (long,
// relative, UNC, device, stream, trailing dot), with seed files in the
// sandbox; for each parameter role its pool, a reduced set and a working
// value.
#ifndef QEL_TESTS_CONTROL_DISPATCH_FUZZ_VALUES_H
#define QEL_TESTS_CONTROL_DISPATCH_FUZZ_VALUES_H

#include "dispatch_fuzz_sandbox.h"
#include "dispatch_fuzz_support.h"
#include "methods.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace fuzz {

using methods::Role;

const size_t kMaxPath = MAX_PATH;  // path buffer of the file methods, NUL included

enum class PathClass {
    Missing,  // names no file: the file methods refuse it
    Refused,  // names something that is no file to work on (device, directory, too long)
    File,     // a seed file
    Either,   // the seed file on some systems, refused on others
};

struct CValue {
    std::string label;
    bool isLong = false;
    long number = 0;
    bool null = false;        // a NULL BSTR
    std::wstring text;
    std::string ansi;         // what the method receives
    // As a path.
    PathClass path = PathClass::Missing;
    std::string content;      // the seed file's bytes
    bool outputIsInput = false;  // the name less its extension is the file itself
    // As a certificate, signature or cipher text.
    const char* certOf = nullptr;    // a certificate text of this fixture
    bool signsAbc = false;           // MD5 signature of "abc" by zhangsan-a
    const char* cipherFor = nullptr; // cipher text for this fixture's key ...
    std::string plain;               // ... of this text
};

std::unique_ptr<CValue> Text(std::string label, std::wstring text);
std::unique_ptr<CValue> Number(long n);
// The value as a call is shown: a number, or a text's label in brackets.
std::string Shown(const CValue& v);

// The values of the sweeps, made once for the program (the seed files in the
// sandbox's box, the certificate texts, signatures and cipher texts from the
// fixtures); none when the fixtures are missing.
class CValues {
public:
    CValues(const CSandbox& sandbox, bool ok) : m_sandbox(sandbox) { if (ok) Build(); }

    std::vector<const CValue*> Generic(bool huge) const { return huge ? m_genericHuge : m_generic; }
    const std::vector<const CValue*>& Extra(Role r) const
    {
        static const std::vector<const CValue*> none;
        const auto it = m_extra.find(r);
        return it == m_extra.end() ? none : it->second;
    }
    // Every value a parameter of role `r` is swept with.
    std::vector<const CValue*> Pool(Role r, bool huge) const
    {
        if (methods::TypeOf(r) == VT_I4)
            return m_numbers;
        std::vector<const CValue*> pool = Generic(huge);
        const std::vector<const CValue*>& extra = Extra(r);
        pool.insert(pool.end(), extra.begin(), extra.end());
        return pool;
    }
    // The reduced set of the combination sweep: the role's working value and
    // five texts (or five numbers).
    std::vector<const CValue*> Reduced(Role r) const
    {
        if (r == Role::Length)
            return m_reducedNumbers;
        std::vector<const CValue*> pool = {Baseline(r)};
        pool.insert(pool.end(), m_reduced.begin(), m_reduced.end());
        return pool;
    }
    // The working argument of a role; DecryptFilePriKey gets the cipher file.
    const CValue* Baseline(Role r) const { return m_baseline.at(r); }
    std::vector<const CValue*> Baselines(const methods::Method& m) const
    {
        std::vector<const CValue*> args;
        for (const methods::Param& p : m.params)
            args.push_back(Baseline(p.role));
        if (m.id == 24)
            args[0] = m_cipherFile;
        return args;
    }
    const std::string& SealedPlain() const { return m_sealedPlain; }

private:
    const CValue* Add(std::unique_ptr<CValue> v)
    {
        m_all.push_back(std::move(v));
        return m_all.back().get();
    }
    const CValue* AddTo(std::vector<const CValue*>& list, std::unique_ptr<CValue> v)
    {
        const CValue* p = Add(std::move(v));
        list.push_back(p);
        return p;
    }
    const CValue* AddExtra(Role r, std::unique_ptr<CValue> v) { return AddTo(m_extra[r], std::move(v)); }

    std::wstring BoxPath(const std::string& name) const { return m_sandbox.Box() + Wide(name); }

    // A seed file in the box and the value naming it by `text`.
    std::unique_ptr<CValue> Seed(const std::string& label, const std::wstring& text, const std::string& file,
                                 PathClass cls = PathClass::File)
    {
        std::unique_ptr<CValue> v = Text(label, text);
        v->path = cls;
        v->content = m_seeds.at(file);
        if (file == "cipher.gue") {
            v->cipherFor = "zhangsan-a";
            v->plain = m_sealedPlain;
        }
        return v;
    }

    void Build();

    const CSandbox& m_sandbox;
    std::vector<std::unique_ptr<CValue>> m_all;
    std::vector<const CValue*> m_generic, m_genericHuge, m_numbers, m_reduced, m_reducedNumbers;
    std::map<Role, std::vector<const CValue*>> m_extra;
    std::map<Role, const CValue*> m_baseline;
    std::map<std::string, std::string> m_seeds;  // box name -> bytes
    const CValue* m_cipherFile = nullptr;
    std::string m_sealedPlain;
};

}  // namespace fuzz

#endif
