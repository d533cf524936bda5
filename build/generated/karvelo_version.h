// The program's version, filled in by the build so every log names the build that wrote it.
#pragma once
#define KARVELO_VERSION "0.1.0"
