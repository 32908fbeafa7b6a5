#pragma once

#include <string>

namespace CustomInstaller::Core {

// Answers of IInstaller::Prepare. Only PR_Ready lets the file run.
enum EPrepareResult : int {
    PR_Ready = 0,
    // The file was missing and has been written from the download.
    PR_Written = 1,
    // The file failed the signer check and has been written again.
    PR_Rewritten = 2,
    // The file's signer could not be read or checked.
    PR_SignerUnreadable = 3,
    PR_WriteFailed = 4,
};

// The downloaded installer as a file on disk.
class IInstaller {
public:
    virtual ~IInstaller() = default;

    virtual std::wstring GetPath() const = 0;
    // Makes sure the file is present and signed by the maker (EPrepareResult).
    // On PR_Ready the file stays open so that nobody can write, rename or
    // delete it until the next Prepare or Write or the object's end: the file
    // that passed the check is the file that is then started.
    virtual int Prepare() = 0;
    // Writes the downloaded bytes to the file; true when every step succeeded.
    virtual bool Write() = 0;
};

} // namespace CustomInstaller::Core
