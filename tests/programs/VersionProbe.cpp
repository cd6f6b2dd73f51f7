// Answers, as its exit code, whether the module takes this process for the browser: 1 when
// IsIexploreProcess(nullptr) is true, 0 when false. Tests start copies under other names.
#include "env/SystemQueries.h"

int main() {
    return IsIexploreProcess(nullptr) ? 1 : 0;
}
