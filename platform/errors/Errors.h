// Errors.h: placeholder until its service lands.
#pragma once
#include "../types/WinTypes.h"
