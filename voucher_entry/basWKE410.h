// Main module of the voucher entry program.
#pragma once

namespace basWKE410 {

// The program's entry: start-up, then the first window. Returns the exit code.
int Main();

}  // namespace basWKE410
