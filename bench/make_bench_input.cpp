// Writes the benchmark inputs as files: make_bench_input largest|typical OUTPUT.dat
#include <cstdio>
#include <cstring>
#include <fstream>

#include "benchinputs.h"

int main(int argc, char** argv) {
    if (argc != 3 || (std::strcmp(argv[1], "largest") != 0 && std::strcmp(argv[1], "typical") != 0)) {
        std::fprintf(stderr, "usage: make_bench_input largest|typical OUTPUT.dat\n");
        return 2;
    }
    const std::string bytes = std::strcmp(argv[1], "largest") == 0 ? varnolt::bench::LargestInput()
                                                                   : varnolt::bench::TypicalInput();
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out << bytes;
    out.close();
    if (!out) {
        std::fprintf(stderr, "make_bench_input: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
