#pragma once

// fixedHelpText() now reads tests/help-page.txt and is declared with the rest of the rig;
// this name stays for the tests that include it.
#include "Harness.h"
