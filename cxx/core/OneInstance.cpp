#include "cxx/core/OneInstance.h"

#include "cxx/core/Handle.h"

#include <mutex>

namespace Cxx::Core {

namespace {

const wchar_t GlobalBaseName[] = L"Global\\d98c16c8-cd12-45e9-b22f-54a39b5b1fe0";
const wchar_t LocalBaseName[] = L"Local\\68c82283-9090-4178-bfa5-a89db1c54543";

struct CMutexState {
    std::mutex lock;
    CHandle globalMutex;
    CHandle localMutex;
};

CMutexState& State()
{
    static CMutexState state;
    return state;
}

} // namespace

bool COneInstance::IsFirstInstance(bool local, std::unique_ptr<IMNSuffixGenerator> generator)
{
    std::wstring globalName = GlobalBaseName;
    std::wstring localName = LocalBaseName;
    if (generator) {
        globalName += generator->GetSuffix();
        localName += generator->GetSuffix();
    }
    generator.reset();

    CMutexState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    CHandle& mutex = local ? state.localMutex : state.globalMutex;
    if (mutex) {
        return true;
    }
    CHandle created(::CreateMutexW(nullptr, TRUE, (local ? localName : globalName).c_str()));
    if (!created || ::GetLastError() == ERROR_ALREADY_EXISTS) {
        return false;
    }
    mutex = std::move(created);
    return true;
}

void COneInstance::Release()
{
    CMutexState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    state.globalMutex.Reset();
    state.localMutex.Reset();
}

} // namespace Cxx::Core
