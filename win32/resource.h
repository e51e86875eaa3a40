#pragma once

// Shared by the resource script and the code that loads its resources.
#define IDI_PORTAUTH 1
