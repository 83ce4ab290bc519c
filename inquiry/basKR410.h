// Main module of the journal inquiry program.
#pragma once

namespace basKR410 {
int Main();
}
