#include <cstdio>

#include "tool/commands.h"

namespace hvtool {

int RunConfig(int, char**) {
    std::fprintf(stderr, "hvtool: this command is not built yet\n");
    return 2;
}

}  // namespace hvtool
