// Second process for the process and mutex tests.
//   exit N                   ends with N
//   sleep MS                 sleeps, then ends with 0
//   mutex global|local [S]   tries the single-instance mutex (suffix S); ends with
//                            1 when the first try held it, plus 2 when a second try did
// Anything else ends with 99, which marks a wrongly started program.
#include "cxx/core/OneInstance.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

class CFixedSuffix : public Cxx::Core::COneInstance::IMNSuffixGenerator {
public:
    explicit CFixedSuffix(std::wstring suffix) : m_suffix(std::move(suffix)) {}
    std::wstring GetSuffix() override { return m_suffix; }

private:
    std::wstring m_suffix;
};

std::unique_ptr<Cxx::Core::COneInstance::IMNSuffixGenerator> Generator(int argc, char** argv)
{
    if (argc < 4) {
        return nullptr;
    }
    const std::string narrow = argv[3];
    return std::make_unique<CFixedSuffix>(std::wstring(narrow.begin(), narrow.end()));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "exit") == 0) {
        return std::atoi(argv[2]);
    }
    if (argc >= 3 && std::strcmp(argv[1], "sleep") == 0) {
        ::Sleep(static_cast<DWORD>(std::atoi(argv[2])));
        return 0;
    }
    if (argc >= 3 && std::strcmp(argv[1], "mutex") == 0) {
        using Cxx::Core::COneInstance;
        const bool local = std::strcmp(argv[2], "local") == 0;
        const bool first = COneInstance::IsFirstInstance(local, Generator(argc, argv));
        const bool second = COneInstance::IsFirstInstance(local, Generator(argc, argv));
        return (first ? 1 : 0) + (second ? 2 : 0);
    }
    return 99;
}
