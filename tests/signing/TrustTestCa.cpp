// Makes this Wine prefix trust the test certificate authority.
#include "tests/signing/TestSigning.h"

#include <cstdio>

int wmain()
{
    if (!KvTest::TrustTestCertificateAuthority()) {
        std::fputs("could not add the test CA to the ROOT store\n", stderr);
        return 1;
    }
    return 0;
}
