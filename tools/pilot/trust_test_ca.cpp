// Adds a PEM certificate to the current user's trusted root store, so that the program's HTTPS
// requests trust the emulator's test authority. Used by the tests, the demo and the benchmark;
// never shipped.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>
#include <windows.h>
#include <wincrypt.h>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: trust_test_ca <certificate.pem>\n");
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
    std::stringstream pem;
    pem << file.rdbuf();
    const std::string text = pem.str();
    DWORD size = 0;
    if (!CryptStringToBinaryA(text.c_str(), static_cast<DWORD>(text.size()), CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr)) {
        std::fprintf(stderr, "not a PEM certificate\n");
        return 1;
    }
    std::vector<BYTE> der(size);
    CryptStringToBinaryA(text.c_str(), static_cast<DWORD>(text.size()), CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr, nullptr);
    if (!CertAddEncodedCertificateToSystemStoreW(L"Root", der.data(), size)) {
        std::fprintf(stderr, "could not add the certificate: %lu\n", GetLastError());
        return 1;
    }
    return 0;
}
