#pragma once
#include "windows.h"
#include "../context/ObjectContext.h"
