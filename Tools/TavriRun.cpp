#include <EmulatedBoard.h>
#include <cstdio>
int main() { Emu::EmulatedBoard B; auto Boots = B.RunBoots(); for (auto &b: Boots) { std::printf("boot %u: %s\n%s", b.Number, Emu::BootEndName(b.End).c_str(), B.FormatTrace(b.TraceBegin, b.TraceEnd).c_str()); } }
