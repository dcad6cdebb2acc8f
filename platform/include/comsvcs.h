#pragma once
#include <windows.h>
#include "platform/context/ObjectContext.h"
