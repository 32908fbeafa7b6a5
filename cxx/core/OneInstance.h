#pragma once

#include <memory>
#include <string>

namespace Cxx::Core {

// One copy of the program per machine (global scope) or per session (local
// scope), kept by holding a named mutex until Release or the end of the process.
class COneInstance {
public:
    // Makes the mutex names specific to one product.
    class IMNSuffixGenerator {
    public:
        virtual ~IMNSuffixGenerator() = default;
        virtual std::wstring GetSuffix() = 0;
    };

    // True when this process holds, or now takes, the mutex of the chosen
    // scope. False when another process holds it, or it cannot be created.
    // The generator is called once for each scope's name and then freed.
    static bool IsFirstInstance(bool local, std::unique_ptr<IMNSuffixGenerator> generator = nullptr);

    // Gives up both mutexes.
    static void Release();

    COneInstance() = delete;
};

} // namespace Cxx::Core
