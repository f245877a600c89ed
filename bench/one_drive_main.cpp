// qir-bench-one-drive: one silent run of the tool on a machine with one eligible drive
// that takes firmware at no cost. Linked statically, as qir.exe is, so that the peak
// memory of this process is what the tool holds, not a dynamic loader's or a drive's.
#include "bench/bench_machines.h"
#include "bench/free_download_platform.h"

int main() {
    qir::bench::MachineShape one;
    one.inboxDisks = 1;
    return qir::bench::runWithFreeDownloads(qir::bench::machineDescription(one));
}
