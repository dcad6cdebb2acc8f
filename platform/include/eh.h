#pragma once
#include "windows.h"
#include "../system/Seh.h"
