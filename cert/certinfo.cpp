#include "certinfo.h"

#include <cstdio>
#include <string>

#include "certtext.h"

namespace cert {

CCertStoreList::~CCertStoreList() = default;

int CCertStoreList::LoadStore(const char* name)
{
    Clear();
    capi::CStore store;
    if (!name || !capi::OpenSystemStore(name, store))
        return GetCount();
    {
        capi::CStoreWalk walk(store.Get());
        while (PCCERT_CONTEXT cert = walk.Next()) {
            capi::CCert copy;
            if (capi::DuplicateCertificate(cert, copy))
                m_certs.push_back(std::move(copy));
        }
    }
    return GetCount();
}

void CCertStoreList::Clear()
{
    m_certs.clear();
}

int CCertStoreList::GetCount() const
{
    return static_cast<int>(m_certs.size());
}

int CCertStoreList::GetCertInfo(int index, CCertInfo& info) const
{
    if (index < 0 || index >= GetCount())
        return 0;
    PCCERT_CONTEXT cert = m_certs[static_cast<size_t>(index)].Get();

    capi::CKeyProv prov;
    if (!capi::GetKeyProv(cert, prov))
        return 0;
    std::string subject;
    if (!capi::FormatSubject(cert, subject))
        return 0;
    char pem[kCertTextSize];
    ZeroMemory(pem, sizeof(pem));
    uint32_t pemLength = 0;
    if (DerToPem(cert->pbCertEncoded, cert->cbCertEncoded, pem, kCertTextSize, &pemLength, kPemHeader,
                 kPemFooter) != 0)
        return 0;

    info.m_dwKeySpec = prov.m_dwKeySpec;
    info.m_strProvider = prov.m_strProvider;
    info.m_strContainer = prov.m_strContainer;
    info.m_strSubject = subject;
    info.m_strCertPem.assign(pem, pemLength);
    return 1;
}

int ShowCertificate(const CCertInfo& info)
{
    if (info.m_strSubject.empty())
        return 1;

    char directory[MAX_PATH + 1] = "";
    const DWORD length = GetTempPathA(MAX_PATH, directory);
    if (length == 0 || length > MAX_PATH)
        return 1;
    char path[MAX_PATH] = "";
    if (GetTempFileNameA(directory, "Test", 0, path) == 0)
        return 1;

    FILE* file = std::fopen(path, "wb");
    if (!file) {
        DeleteFileA(path);
        return 1;
    }
    unsigned char der[kCertTextSize];
    uint32_t derLength = 0;
    if (PemToDer(info.m_strCertPem.c_str(), static_cast<uint32_t>(info.m_strCertPem.size()), der, sizeof(der),
                 &derLength) != 0)
        derLength = 0;
    std::fwrite(der, 1, derLength, file);
    std::fclose(file);

    // The viewer reads the file while it starts; WinExec returns once the
    // viewer waits for input, and the file is deleted after a pause.
    const std::string command = std::string("rundll32.exe cryptext.dll,CryptExtOpenCER ") + path;
    WinExec(command.c_str(), SW_SHOW);
    Sleep(256);
    DeleteFileA(path);
    return 1;
}

}  // namespace cert
