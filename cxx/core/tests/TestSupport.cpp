#include "cxx/core/tests/TestSupport.h"

#include "cxx/core/Handle.h"
#include "cxx/core/TextUtils.h"

#include <system_error>

namespace KvTest {

std::wstring ChildPath()
{
    return Cxx::Core::Utils::GetModuleDirectory() + L"\\kv_test_child.exe";
}

long RunAndWait(const std::wstring& commandLine)
{
    std::wstring writable = commandLine;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        return -1;
    }
    Cxx::Core::CHandle process(info.hProcess);
    Cxx::Core::CHandle thread(info.hThread);
    ::WaitForSingleObject(process.Get(), INFINITE);
    DWORD code = 0;
    return ::GetExitCodeProcess(process.Get(), &code) ? static_cast<long>(code) : -1;
}

CTempFolder::CTempFolder(const std::wstring& name)
    : m_path(std::filesystem::temp_directory_path() / (name + L"-" + ProcessTag()))
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
    std::filesystem::create_directories(m_path);
}

CTempFolder::~CTempFolder()
{
    // Best effort: a folder left behind in the test prefix harms nothing.
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::wstring ProcessTag()
{
    return std::to_wstring(::GetCurrentProcessId());
}

CBlankPathProgram::CBlankPathProgram(const std::filesystem::path& program)
    : m_folder(L"kv-quote"), m_path(m_folder.Path() / L"kv blank" / program.filename())
{
    std::filesystem::create_directory(m_path.parent_path());
    std::filesystem::copy_file(program, m_path);
    std::filesystem::copy_file(program, m_folder.Path() / L"kv.exe");
}

} // namespace KvTest
