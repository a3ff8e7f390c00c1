// The program's version, written in this one place. The command line prints
// it, the metrics carry it and the Windows version resource includes this
// file (plain macros, so the resource compiler reads it too).
#pragma once

#define STAVRION_VERSION_MAJOR 0
#define STAVRION_VERSION_MINOR 1
#define STAVRION_VERSION_PATCH 0
#define STAVRION_VERSION_TEXT "0.1.0"
