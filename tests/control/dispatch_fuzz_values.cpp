#include "dispatch_fuzz_values.h"

#include "dispatch_fuzz_support.h"

#include <climits>
#include <cstdint>
#include <set>

namespace fuzz {

std::unique_ptr<CValue> Text(std::string label, std::wstring text)
{
    std::unique_ptr<CValue> v(new CValue);
    v->label = std::move(label);
    v->text = std::move(text);
    v->ansi = Ansi(v->text);
    return v;
}

std::unique_ptr<CValue> Number(long n)
{
    std::unique_ptr<CValue> v(new CValue);
    v->label = std::to_string(n);
    v->isLong = true;
    v->number = n;
    return v;
}

std::string Shown(const CValue& v)
{
    return v.isLong ? v.label : "[" + v.label + "]";
}

namespace {

// A value with fields beyond its text set by `set`.
template <class F>
std::unique_ptr<CValue> Made(std::string label, std::wstring text, F set)
{
    std::unique_ptr<CValue> v = Text(std::move(label), std::move(text));
    set(*v);
    return v;
}

std::unique_ptr<CValue> Refused(const std::wstring& text)
{
    return Made(Ansi(text), text, [](CValue& v) { v.path = PathClass::Refused; });
}

}  // namespace

void CValues::Build()
{
    const CFixtureKey zhang("zhangsan-a");
    const std::string pemA = PemOf("zhangsan-a");

    // Seed files.
    for (int i = 0; i < 250; ++i)
        m_sealedPlain += static_cast<char>('a' + i % 26);
    std::string sealed;
    for (const std::string& block : zhang.EncryptPieces(m_sealedPlain))
        sealed += block;
    m_seeds = {{"abc.txt", "abc"}, {"plain.txt", m_sealedPlain + "\r\n"}, {"empty.bin", ""},
               {"zero.bin", std::string("ab\0cd", 5)}, {"cipher.gue", sealed}};
    CreateDirectoryW(BoxPath("sub").c_str(), nullptr);
    // Files whose full paths are 259, 260, 261 and 300 characters long, in a
    // directory whose path is about 205 characters long.
    const size_t pad = m_sandbox.Box().size() < 190 ? 199 - m_sandbox.Box().size() : 1;
    const std::wstring longDir = m_sandbox.Box() + L"long-" + std::wstring(pad, L'd') + L"\\";
    CreateDirectoryW(Long(longDir).c_str(), nullptr);
    for (size_t length : {259u, 260u, 261u, 300u}) {
        const std::wstring name = std::wstring(length - longDir.size() - 4, L'f') + L".txt";
        m_seeds[Ansi((longDir + name).substr(m_sandbox.Box().size()))] = "abc";
    }
    for (const auto& seed : m_seeds)
        WriteWholeFile(BoxPath(seed.first), seed.second);

    // Texts for every parameter.
    AddTo(m_generic, Text("empty", L""));
    AddTo(m_generic, Made("NULL", L"", [](CValue& v) { v.null = true; }));
    for (size_t n : {1u, 63u, 64u, 65u, 259u, 260u, 261u, 511u, 512u, 513u, 1023u, 1024u, 1025u, 2047u, 2048u,
                     2049u, 10239u, 16384u, 65536u})
        AddTo(m_generic, Text(std::to_string(n) + " chars", Filler(n)));
    AddTo(m_generic, Text("embedded NUL", std::wstring(L"abc\0def", 7)));
    AddTo(m_generic, Text("leading NUL", std::wstring(L"\0abc", 4)));
    std::wstring percentN, percentS;
    for (int i = 0; i < 30; ++i) {
        percentN += L"%n";
        percentS += L"%s";
    }
    AddTo(m_generic, Text("%n x30", percentN));
    AddTo(m_generic, Text("%s x30", percentS));
    AddTo(m_generic, Text("invalid Base64", L"@@@@!!!!****~~~~"));
    AddTo(m_generic, Text("Base64 padding inside", L"Zm9v=YmFy====QUJD"));
    std::string random;
    uint32_t x = 0x9E3779B9u;
    for (int i = 0; i < 300; ++i) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        random += static_cast<char>(x & 0xff);
    }
    AddTo(m_generic, Text("Base64 of random bytes",
                          Wide(Base64(reinterpret_cast<const BYTE*>(random.data()), static_cast<DWORD>(random.size())))));
    AddTo(m_generic, Made("PEM", Wide(pemA), [](CValue& v) { v.certOf = "zhangsan-a"; }));
    AddTo(m_generic, Text("truncated PEM", Wide(pemA.substr(0, pemA.size() / 2))));
    AddTo(m_generic, Text("Chinese", L"\u4e2d\u6587\u6d4b\u8bd5\uff1a\u674e\u56db\uff0c\u6280\u672f\u90e8"));
    AddTo(m_generic, Text("outside the code page", L"\U0001F600\u0e01\u20ac"));
    m_genericHuge = m_generic;
    AddTo(m_genericHuge, Text("1 MiB", Filler(1u << 20)));

    // Certificate names.
    for (const wchar_t* cn : {L"Zhang San", L"zhang san", L"", L"Big Key", L"Sign Only", L"Unplugged", L"Soft Key",
                              L"No Key", L"Large Cert", L"Li", L"Li, Si", L"Wang Wu", L"\u674e\u56db"})
        AddExtra(Role::Cn, Text("CN " + Ansi(cn), cn));
    AddExtra(Role::Cn, Text("CN Zhang San NUL junk", std::wstring(L"Zhang San\0junk", 14)));
    AddExtra(Role::Cn, Text("CN Zhang San + blank", L"Zhang San "));
    for (const wchar_t* ou : {L"Dept A", L"Dept B", L"Unit A", L"Unit B", L"dept a", L"\u6280\u672f\u90e8"})
        AddExtra(Role::Ou, Text("OU " + Ansi(ou), ou));

    // Signatures, certificates, cipher texts and keys.
    const std::string sigAbc = zhang.SignMd5("abc");
    AddExtra(Role::Sig, Made("signature of abc", Wide(sigAbc), [](CValue& v) { v.signsAbc = true; }));
    AddExtra(Role::Sig, Text("signature of abc less its first character", Wide(sigAbc.substr(1))));
    std::string bare;
    for (size_t i = pemA.find('\n') + 1; i < pemA.find("-----END"); ++i)
        if (pemA[i] != '\r' && pemA[i] != '\n')
            bare += pemA[i];
    AddExtra(Role::Cert, Made("PEM of zhangsan-a", Wide(pemA), [](CValue& v) { v.certOf = "zhangsan-a"; }));
    AddExtra(Role::Cert, Made("bare Base64 of zhangsan-a", Wide(bare), [](CValue& v) { v.certOf = "zhangsan-a"; }));
    AddExtra(Role::Cert, Made("PEM of zhangsan-b", Wide(PemOf("zhangsan-b")), [](CValue& v) { v.certOf = "zhangsan-b"; }));
    const auto cipherText = [&](const std::string& plain) {
        std::string text;
        for (const std::string& block : zhang.EncryptPieces(plain))
            text += Base64(reinterpret_cast<const BYTE*>(block.data()), static_cast<DWORD>(block.size()));
        return text;
    };
    const auto cipher = [&](const std::string& label, const std::string& text, const std::string& plain) {
        return AddExtra(Role::Cipher, Made(label, Wide(text), [&](CValue& v) {
                            v.cipherFor = plain.empty() ? nullptr : "zhangsan-a";
                            v.plain = plain;
                        }));
    };
    const std::string abcCipher = cipherText("abc");
    const CValue* abcCipherValue = cipher("cipher of abc", abcCipher, "abc");
    cipher("cipher of 250 bytes", cipherText(m_sealedPlain), m_sealedPlain);
    cipher("cipher of abc + 1 character", abcCipher + "A", "abc");
    cipher("cipher of abc less its last character", abcCipher.substr(0, abcCipher.size() - 1), "");
    AddExtra(Role::Key, Text("key", L"AAECAwQFBgc="));
    AddExtra(Role::Key, Text("key with trailing text", L"AAECAwQFBgcICQoLDA0ODw=="));

    // Paths.
    const std::wstring box = m_sandbox.Box();
    const auto path = [&](std::unique_ptr<CValue> v) { return AddExtra(Role::File, std::move(v)); };
    const CValue* abcFile = path(Seed("abc.txt", L"abc.txt", "abc.txt"));
    path(Seed("plain.txt", L"plain.txt", "plain.txt"));
    path(Seed("empty.bin", L"empty.bin", "empty.bin"));
    path(Seed("zero.bin", L"zero.bin", "zero.bin"));
    m_cipherFile = path(Seed("cipher.gue", L"cipher.gue", "cipher.gue"));
    path(Seed("absolute abc.txt", box + L"abc.txt", "abc.txt"));
    path(Seed("ABC.TXT", L"ABC.TXT", "abc.txt"));
    path(Seed(".\\sub\\..\\abc.txt", L".\\sub\\..\\abc.txt", "abc.txt"));
    path(Seed("./sub/../abc.txt", L"./sub/../abc.txt", "abc.txt"));
    path(Seed("..\\box\\abc.txt", L"..\\box\\abc.txt", "abc.txt"));
    path(Seed("\\\\?\\ abc.txt", L"\\\\?\\" + box + L"abc.txt", "abc.txt"));
    for (const auto& seed : m_seeds) {
        if (seed.first.compare(0, 5, "long-") != 0)
            continue;
        const std::wstring full = box + Wide(seed.first);
        const PathClass cls = full.size() < kMaxPath ? PathClass::File : PathClass::Refused;
        path(Seed(std::to_string(full.size()) + " characters", full, seed.first, cls));
        if (full.size() > 260)
            path(Seed("\\\\?\\ " + std::to_string(full.size()) + " characters", L"\\\\?\\" + full, seed.first,
                      PathClass::Refused));
    }
    std::wstring deep = box;
    while (deep.size() < 32767)
        deep += L"dir\\";
    deep.resize(32767 - 8);
    path(Text("32,767 characters", deep + L"\\abc.txt"));
    path(Text("..\\missing.txt", L"..\\missing.txt"));
    path(Text("..\\ x8 missing.txt", L"..\\..\\..\\..\\..\\..\\..\\..\\qelfuzz-missing.txt"));
    path(Text("..\\missing dir\\missing.txt", L"..\\no-such-dir\\missing.txt"));
    path(Text("UNC", L"\\\\localhost\\share\\missing.txt"));
    path(Text("UNC \\\\?\\", L"\\\\?\\UNC\\localhost\\share\\missing.txt"));
    path(Text("pipe", L"\\\\.\\pipe\\qelfuzz-missing"));
    for (const wchar_t* device : {L"CON", L"NUL", L"COM1", L"AUX", L"PRN", L"LPT1", L"CONIN$", L"nul.txt",
                                  L"\\\\.\\NUL", L"sub\\COM1", L"sub", L"sub\\", L".", L"..\\"})
        path(Refused(device));
    path(Text("missing stream", L"abc.txt:stream"));
    path(Text("stream of a missing file", L"missing.txt:stream"));
    const auto either = [&](const std::wstring& text, const char* seed, bool outputIsInput) {
        std::unique_ptr<CValue> v = Seed(Ansi(text), text, seed, PathClass::Either);
        v->outputIsInput = outputIsInput;
        return path(std::move(v));
    };
    either(L"abc.txt::$DATA", "abc.txt", false);
    either(L"abc.txt.", "abc.txt", true);
    either(L"abc.txt ", "abc.txt", false);
    either(L"abc.txt. . ", "abc.txt", false);
    either(L"empty.bin.", "empty.bin", true);
    either(L"cipher.gue.", "cipher.gue", true);
    path(Text("wildcard", L"*.txt"));
    path(Text("reserved characters", L"a<b>c|d\"e?.txt"));

    // Numbers.
    std::set<long> numbers = {0, -1, 1, LONG_MAX, -LONG_MAX, LONG_MIN, 3, 6, 7};
    for (int k = 1; k < 31; ++k)
        numbers.insert({(1L << k) - 1, (1L << k) + 1});
    for (long n : numbers)
        AddTo(m_numbers, Number(n));
    const auto number = [&](long n) {
        for (const CValue* v : m_numbers)
            if (v->number == n)
                return v;
        return static_cast<const CValue*>(nullptr);
    };
    for (long n : {0L, 3L, 7L, -1L, LONG_MIN})
        m_reducedNumbers.push_back(number(n));

    // The reduced set and the working arguments.
    for (const CValue* v : m_generic)
        if (v->label == "empty" || v->label == "NULL" || v->label == "2049 chars" || v->label == "%n x30" ||
            v->label == "Chinese")
            m_reduced.push_back(v);
    m_baseline = {{Role::Data, Add(Text("abc", L"abc"))},
                  {Role::Cn, Extra(Role::Cn)[0]},
                  {Role::Ou, Extra(Role::Ou)[0]},
                  {Role::File, abcFile},
                  {Role::Key, Extra(Role::Key)[0]},
                  {Role::Sig, Extra(Role::Sig)[0]},
                  {Role::Cert, Extra(Role::Cert)[0]},
                  {Role::Cipher, abcCipherValue},
                  {Role::Any, Add(Text("text", L"text"))},
                  {Role::Length, number(3)},
                  {Role::Type, number(1)}};
}

}  // namespace fuzz
