#pragma once

#include <chrono>
#include <string>

namespace CustomInstaller {

// The product code whose stored client id the setup program reuses.
inline constexpr const char* OwnProductCode = "QXPDF";
// Where a copy of the program hands the stored client id back.
inline constexpr const wchar_t* TrackingUidFileName = L"trackingUID.txt";
// How long the copy that reads the stored client id may run.
inline constexpr std::chrono::milliseconds TrackingUidJobLimit{30000};

// True for text the analytics client accepts as a client id.
bool IsClientId(const std::wstring& text);

// The "-extractTrackingUID" job: writes the product's stored client id into
// fileName. False when there is none or the file cannot be written.
bool ExtractTrackingUid(const std::wstring& fileName);

// Runs program with "-extractTrackingUID" and file, waiting at most limit, and
// answers the client id the copy wrote. The file is read, and then deleted,
// only when the copy ended with 0; empty when nothing usable came back.
std::wstring ReadStoredTrackingUid(const std::wstring& program, const std::wstring& file,
                                   std::chrono::milliseconds limit);
// The same with the running program and "trackingUID.txt" beside it.
std::wstring ReadStoredTrackingUid();

// The process's session GUID: 36 lower-case characters, the same text on
// every call once one was made. When none can be made, a random UUID that is
// not kept.
std::wstring GetSessionGuid();

// The client id of options that were given none: the stored one when the
// product is installed and one could be read, else the session GUID. Worked
// out once per process, so every hit and every installer command line agree.
std::wstring ResolveTrackingUid();

} // namespace CustomInstaller
