// Linked into a stand-in that imports from a DLL that exists nowhere.
extern "C" __declspec(dllimport) int KvStandInAbsent();

namespace {
const int absent = KvStandInAbsent();
}
