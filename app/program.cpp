#include "app/program.h"

char BaseDirectory[kMaxPath];
char ProgramName[256];
