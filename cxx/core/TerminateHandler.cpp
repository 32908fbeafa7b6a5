// Linked into the shipped programs only (see kv_shipped_program).

#include <cstdlib>

#if defined(__GLIBCXX__)

// libstdc++'s default terminate handler names the exception's type on stderr,
// which these GUI programs never show, and brings the whole C++ demangler
// (some 49 KB) into each of them. This one ends the same way without the
// message: std::abort, as the default handler does after it.
namespace __gnu_cxx {

void __verbose_terminate_handler()
{
    std::abort();
}

} // namespace __gnu_cxx

#endif
