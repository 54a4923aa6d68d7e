// The benchmarks that use the real adapter choice, port 19798 or a lab's addresses run only
// inside a lab's network namespace (scripts/lab), never in this machine's own.
#pragma once

#include <string>

// Empty when this process runs inside a lab: not in the network namespace of process 1 (where
// that can be read), and every adapter but loopback has an address of the labs' segments
// (10.77.0.0/16 and 10.78.0.0/16). Otherwise why not.
std::string WhyNotInsideALab();
