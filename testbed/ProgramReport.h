// Output of the test programs that a crash may end at any moment.
#pragma once

// printf-style, straight to the standard output handle: nothing buffered is lost when the
// process dies. A line longer than 2,047 bytes is cut.
void Report(const char* format, ...);
