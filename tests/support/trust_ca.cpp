// Adds one DER certificate to the local machine's "Root" store of the Wine
// prefix it runs in, so that the test prefix trusts a throwaway CA; with
// --user, to the current user's "Root" store only, as the player's own
// session could. Never used outside the tests' own prefix.
//   trust_ca [--user] CERT.der
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <string>

#include "files.h"

int wmain(int argc, wchar_t** argv) {
    const bool user = argc == 3 && std::wstring(argv[1]) == L"--user";
    if (argc != 2 && !user) {
        std::fprintf(stderr, "usage: trust_ca [--user] CERT.der\n");
        return 2;
    }
    const std::string der = ReadTextFile(argv[argc - 1]);
    if (der.empty()) {
        std::fprintf(stderr, "trust_ca: cannot read the certificate\n");
        return 1;
    }
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                                     user ? CERT_SYSTEM_STORE_CURRENT_USER : CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
    if (store == nullptr) {
        std::fprintf(stderr, "trust_ca: cannot open the Root store (%lu)\n", GetLastError());
        return 1;
    }
    const BOOL added =
        CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                         static_cast<DWORD>(der.size()), CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    if (!added) {
        std::fprintf(stderr, "trust_ca: cannot add the certificate (%lu)\n", GetLastError());
    }
    CertCloseStore(store, 0);
    return added ? 0 : 1;
}
