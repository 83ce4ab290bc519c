// Main module of the ledger inquiry program.
#pragma once

namespace basKR430 {
int Main();
}
