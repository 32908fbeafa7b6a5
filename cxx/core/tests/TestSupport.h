#pragma once

#include <windows.h>

#include <filesystem>
#include <string>

namespace KvTest {

// The helper program built beside the tests.
std::wstring ChildPath();

// Starts a command line directly (no quoting of ours) and returns its exit code,
// or -1 when it cannot be started.
long RunAndWait(const std::wstring& commandLine);

// A fresh folder in the temporary folder, removed with its contents.
class CTempFolder {
public:
    explicit CTempFolder(const std::wstring& name);
    ~CTempFolder();
    CTempFolder(const CTempFolder&) = delete;
    CTempFolder& operator=(const CTempFolder&) = delete;

    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

// Text unique to this test process, for names shared across processes.
std::wstring ProcessTag();

// A copy of a program at "<folder>\kv blank\<its name>", with a decoy copy at
// "<folder>\kv.exe", where an unquoted command line of the copy would look first.
class CBlankPathProgram {
public:
    explicit CBlankPathProgram(const std::filesystem::path& program);
    std::wstring Path() const { return m_path.wstring(); }

private:
    CTempFolder m_folder;
    std::filesystem::path m_path;
};

} // namespace KvTest
