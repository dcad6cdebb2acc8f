#pragma once
#include <windows.h>
#include "platform/system/Seh.h"
