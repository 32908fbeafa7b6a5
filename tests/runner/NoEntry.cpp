// Linked into a stand-in that imports a function kernel32.dll does not have:
// Windows refuses to start it, Wine calls a stub that raises an exception.
extern "C" __declspec(dllimport) int KvStandInAbsentEntry();

namespace {
const int absent = KvStandInAbsentEntry();
}
