#pragma once

#include "cxx/misc/PresetParams.h"

#include <memory>
#include <string>

namespace Cxx::Misc {

class IOpenInDefaultBrowser {
public:
    virtual ~IOpenInDefaultBrowser() = default;
    // Fills the url's placeholders from params and opens it in the user's
    // browser. True when the shell or a browser process took it.
    virtual bool Open(const std::wstring& url, const CPresetParams& params) = 0;
};

// The system calls the opener makes, so that tests can stand in for them.
class IBrowserLaunchSystem {
public:
    virtual ~IBrowserLaunchSystem() = default;
    // ShellExecuteW "open"; true when the shell took the target.
    virtual bool ShellOpen(const std::wstring& target) = 0;
    // The SID text of the user logged on to this session; empty when unknown.
    virtual std::wstring SessionUserSid() = 0;
    // Starts a complete command line without waiting; true when the process was created.
    virtual bool StartProcess(const std::wstring& commandLine) = 0;
};

class CBrowserLaunchSystem : public IBrowserLaunchSystem {
public:
    bool ShellOpen(const std::wstring& target) override;
    std::wstring SessionUserSid() override;
    bool StartProcess(const std::wstring& commandLine) override;
};

// Puts each value in for its "{{name}}" (URL-escaped, query delimiters
// included) and drops the query pieces whose placeholders stay unfilled.
std::wstring FillUrlTemplate(const std::wstring& url, const CPresetParams& params);

class COpenInDefaultBrowser : public IOpenInDefaultBrowser {
public:
    COpenInDefaultBrowser();
    explicit COpenInDefaultBrowser(std::shared_ptr<IBrowserLaunchSystem> system);

    // Opens http and https links only (one without a scheme as http, and so
    // one that starts with a host and port), with blanks, quotes and trailing
    // backslashes escaped, of at most 2,083 characters; false for any other.
    // Tries the shell first;
    // when it refuses, starts the browser that the session's user chose for
    // the scheme (or the scheme's handler, or Internet Explorer) with the URL.
    bool Open(const std::wstring& url, const CPresetParams& params) override;

private:
    bool Launch(const std::wstring& url);
    std::wstring BrowserCommand(const std::wstring& scheme);

    std::shared_ptr<IBrowserLaunchSystem> m_system;
};

} // namespace Cxx::Misc
